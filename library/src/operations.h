// SPDX-License-Identifier: MIT
// The operations that carry out the exports, one for each entry of the export table, below
// the C boundary: each takes the call (the line and the caller state it reports into) first.
// The link and command code call these, never an export, so no step of one call can reach
// another line (or another course) than its own.
#pragma once

#include <cstdint>

#include "CorvexLink.h"
#include "exports/export_table.h"
#include "link/transaction.h"

namespace corvex::ops {

using link::Call;
using link::CallerState;
using link::Line;

#define CORVEXLINK_OP_COMMAND(since, name, lineName, params, args)                                 \
    int name(Call &call CORVEXLINK_AFTER_COMMA params);
#define CORVEXLINK_OP_DEFAULT(since, name, params, args)                                           \
    int name(Call &call CORVEXLINK_AFTER_COMMA params);
#define CORVEXLINK_OP_READ(since, type, fallback, name, lineName, params, args)                    \
    type name(const CallerState &state CORVEXLINK_AFTER_COMMA params);
#define CORVEXLINK_OP_LOCKED(since, type, fallback, name, lineName, params, args)                  \
    type name(Line &line CORVEXLINK_AFTER_COMMA params);
#define CORVEXLINK_OP_LOCKED_DEFAULT(since, type, fallback, name, params, args)                    \
    type name(Line &line CORVEXLINK_AFTER_COMMA params);
#define CORVEXLINK_OP_NONE(...)

CORVEXLINK_EXPORT_TABLE(CORVEXLINK_OP_COMMAND, CORVEXLINK_OP_COMMAND, CORVEXLINK_OP_DEFAULT,
                        CORVEXLINK_OP_READ, CORVEXLINK_OP_LOCKED, CORVEXLINK_OP_LOCKED_DEFAULT,
                        CORVEXLINK_OP_NONE, CORVEXLINK_OP_NONE)

#undef CORVEXLINK_OP_COMMAND
#undef CORVEXLINK_OP_DEFAULT
#undef CORVEXLINK_OP_READ
#undef CORVEXLINK_OP_LOCKED
#undef CORVEXLINK_OP_LOCKED_DEFAULT
#undef CORVEXLINK_OP_NONE

}  // namespace corvex::ops
