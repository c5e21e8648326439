// SPDX-License-Identifier: MIT
// CorvexLinkGetExports: the export table as a text, one export a line, for programs that
// bind the library at run time. Written out by the preprocessor from export_table.h, so it
// names exactly what the library exports.
#include "CorvexLink.h"
#include "alias.h"
#include "export_table.h"

#define CORVEXLINK_TEXT(...) #__VA_ARGS__
#define CORVEXLINK_AS_TEXT(...) CORVEXLINK_TEXT(__VA_ARGS__)
#define CORVEXLINK_ROW(since, type, name, params) since "|" #type "|" #name "|" #params "\n"
#define CORVEXLINK_LINE_ROW(type, lineName, params)                                                \
    CORVEXLINK_SINCE_LINES "|" #type "|" #lineName                                                 \
                           "|" CORVEXLINK_AS_TEXT(CORVEXLINK_LINE_FIRST params) "\n"

#define CORVEXLINK_ROWS_COMMAND(since, name, lineName, params, args)                               \
    CORVEXLINK_ROW(since, int, name, params) CORVEXLINK_LINE_ROW(int, lineName, params)
#define CORVEXLINK_ROWS_DEFAULT(since, name, params, args) CORVEXLINK_ROW(since, int, name, params)
#define CORVEXLINK_ROWS_READ(since, type, fallback, name, lineName, params, args)                  \
    CORVEXLINK_ROW(since, type, name, params) CORVEXLINK_LINE_ROW(type, lineName, params)
#define CORVEXLINK_ROWS_LOCKED_DEFAULT(since, type, fallback, name, params, args)                  \
    CORVEXLINK_ROW(since, type, name, params)
#define CORVEXLINK_ROWS_OWN(since, type, name, params) CORVEXLINK_ROW(since, type, name, params)
#define CORVEXLINK_ROWS_VARIABLE(since, type, name) since "|" #type "|" #name "|\n"

namespace {

constexpr char kExports[] = CORVEXLINK_EXPORT_TABLE(
    CORVEXLINK_ROWS_COMMAND, CORVEXLINK_ROWS_COMMAND, CORVEXLINK_ROWS_DEFAULT, CORVEXLINK_ROWS_READ,
    CORVEXLINK_ROWS_READ, CORVEXLINK_ROWS_LOCKED_DEFAULT, CORVEXLINK_ROWS_OWN,
    CORVEXLINK_ROWS_VARIABLE);

}  // namespace

extern "C" const char *CorvexLinkGetExports(void) { return kExports; }
CORVEXLINK_ALIAS(CorvexLinkGetExports)
