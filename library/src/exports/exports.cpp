// SPDX-License-Identifier: MIT
// The exports of the export table that follow one of the common courses: each specified
// export acts on the default line, its line form on the line it is given; both hand the work
// to the operation of the same name (operations.h). Written out by the preprocessor from
// export_table.h, so a new export is one line of the table.
#include "../operations.h"
#include "alias.h"
#include "course.h"
#include "export_table.h"

using corvex::exports::defaultTarget;
using corvex::exports::handleTarget;

#define CORVEXLINK_DEFINE_DEFAULT(since, name, params, args)                                       \
    extern "C" int name params {                                                                   \
        return corvex::exports::commandCall(defaultTarget(), [&](corvex::link::Call &call) {       \
            return corvex::ops::name(call CORVEXLINK_AFTER_COMMA args);                            \
        });                                                                                        \
    }                                                                                              \
    CORVEXLINK_ALIAS(name)

#define CORVEXLINK_DEFINE_COURSE(course, since, name, lineName, params, args)                      \
    extern "C" int name params {                                                                   \
        return corvex::exports::course(defaultTarget(), [&](corvex::link::Call &call) {            \
            return corvex::ops::name(call CORVEXLINK_AFTER_COMMA args);                            \
        });                                                                                        \
    }                                                                                              \
    CORVEXLINK_ALIAS(name)                                                                         \
    extern "C" int lineName CORVEXLINK_LINE_FIRST params {                                         \
        return corvex::exports::course(handleTarget(line), [&](corvex::link::Call &call) {         \
            return corvex::ops::name(call CORVEXLINK_AFTER_COMMA args);                            \
        });                                                                                        \
    }                                                                                              \
    CORVEXLINK_ALIAS(lineName)

#define CORVEXLINK_DEFINE_COMMAND(...) CORVEXLINK_DEFINE_COURSE(commandCall, __VA_ARGS__)
#define CORVEXLINK_DEFINE_STOP(...) CORVEXLINK_DEFINE_COURSE(stopCall, __VA_ARGS__)

#define CORVEXLINK_DEFINE_READ(since, type, fallback, name, lineName, params, args)                \
    extern "C" type name params {                                                                  \
        return corvex::exports::readCall<type>(                                                    \
            defaultTarget(), fallback, [&](const corvex::link::CallerState &state) {               \
                return corvex::ops::name(state CORVEXLINK_AFTER_COMMA args);                       \
            });                                                                                    \
    }                                                                                              \
    CORVEXLINK_ALIAS(name)                                                                         \
    extern "C" type lineName CORVEXLINK_LINE_FIRST params {                                        \
        return corvex::exports::readCall<type>(                                                    \
            handleTarget(line), fallback, [&](const corvex::link::CallerState &state) {            \
                return corvex::ops::name(state CORVEXLINK_AFTER_COMMA args);                       \
            });                                                                                    \
    }                                                                                              \
    CORVEXLINK_ALIAS(lineName)

#define CORVEXLINK_DEFINE_LOCKED_DEFAULT(since, type, fallback, name, params, args)                \
    extern "C" type name params {                                                                  \
        return corvex::exports::lockedCall<type>(                                                  \
            defaultTarget(), fallback, [&](corvex::link::Line &l) {                                \
                return corvex::ops::name(l CORVEXLINK_AFTER_COMMA args);                           \
            });                                                                                    \
    }                                                                                              \
    CORVEXLINK_ALIAS(name)

#define CORVEXLINK_DEFINE_LOCKED(since, type, fallback, name, lineName, params, args)              \
    CORVEXLINK_DEFINE_LOCKED_DEFAULT(since, type, fallback, name, params, args)                    \
    extern "C" type lineName CORVEXLINK_LINE_FIRST params {                                        \
        return corvex::exports::lockedCall<type>(                                                  \
            handleTarget(line), fallback, [&](corvex::link::Line &l) {                             \
                return corvex::ops::name(l CORVEXLINK_AFTER_COMMA args);                           \
            });                                                                                    \
    }                                                                                              \
    CORVEXLINK_ALIAS(lineName)

#define CORVEXLINK_DEFINE_VARIABLE(since, type, name)                                              \
    extern "C" {                                                                                   \
    CORVEXLINK_API type name = nullptr;                                                            \
    }                                                                                              \
    extern "C" CORVEXLINK_ALIAS_OF(#name) type _##name;

#define CORVEXLINK_DEFINE_NONE(...)

CORVEXLINK_EXPORT_TABLE(CORVEXLINK_DEFINE_COMMAND, CORVEXLINK_DEFINE_STOP,
                        CORVEXLINK_DEFINE_DEFAULT, CORVEXLINK_DEFINE_READ, CORVEXLINK_DEFINE_LOCKED,
                        CORVEXLINK_DEFINE_LOCKED_DEFAULT, CORVEXLINK_DEFINE_NONE,
                        CORVEXLINK_DEFINE_VARIABLE)
