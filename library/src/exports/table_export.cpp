// SPDX-License-Identifier: MIT
// CorvexLinkGetExports: the export table as a text, one export a line, for programs that
// bind the library at run time. Written out by the preprocessor from export_table.h, so it
// names exactly what the library exports. CorvexLinkGetConstants: the public header's
// constants with their values, taken from the header itself (a test checks that every
// constant of the header is listed), so a program in another language copies none of them.
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

// "NAME=value\n" for one constant of the header, its value as the header defines it.
#define CORVEXLINK_CONSTANT(name) #name "=" CORVEXLINK_AS_TEXT(name) "\n"

constexpr char kConstants[] = CORVEXLINK_CONSTANT(CORVEXLINK_ADC_CHANNELS) CORVEXLINK_CONSTANT(
    CORVEXLINK_CONTROLLER_LIST_SIZE) CORVEXLINK_CONSTANT(CORVEXLINK_ERROR_MESSAGE_SIZE)
    CORVEXLINK_CONSTANT(CORVEXLINK_PORT_PATH_SIZE) CORVEXLINK_CONSTANT(CORVEXLINK_COMMAND_BUFFER_SIZE) CORVEXLINK_CONSTANT(
        CORVEXLINK_STATUS_TRGD) CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_PSED) CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_ABORTD)
        CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_RUNING) CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_LS_CCW) CORVEXLINK_CONSTANT(
            CORVEXLINK_STATUS_LS_CW) CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_HOME) CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_READY)
            CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_DIR) CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_STALL) CORVEXLINK_CONSTANT(
                CORVEXLINK_ERR_NONE) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_CLEARED) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_UNKNOWN_CODE)
                CORVEXLINK_CONSTANT(CORVEXLINK_ERR_OUT_OF_RANGE) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_SYNTAX) CORVEXLINK_CONSTANT(
                    CORVEXLINK_ERR_FIFO_FULL) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_SPI_NOT_CONFIGURED)
                    CORVEXLINK_CONSTANT(CORVEXLINK_ERR_SPI_NOT_MASTER) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_MOTOR_RUNNING) CORVEXLINK_CONSTANT(
                        CORVEXLINK_ERR_LIMIT_SWITCH) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_RUNNING_DIRECTION)
                        CORVEXLINK_CONSTANT(CORVEXLINK_ERR_CANNOT_EXECUTE) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_NO_PORT) CORVEXLINK_CONSTANT(
                            CORVEXLINK_ERR_NO_ANSWER) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_COMMAND_REJECTED)
                            CORVEXLINK_CONSTANT(CORVEXLINK_ERR_LINE_LOST) CORVEXLINK_CONSTANT(
                                CORVEXLINK_ERR_NO_VALUE) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_BAUD_RATE_CHANGE)
                                CORVEXLINK_CONSTANT(CORVEXLINK_ERR_PORT_NOT_OPEN) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_OPEN_FAILED) CORVEXLINK_CONSTANT(
                                    CORVEXLINK_ERR_LINE_CLOSED) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_INIT_FAILED)
                                    CORVEXLINK_CONSTANT(
                                        CORVEXLINK_ERR_USER_IO_REFUSED) CORVEXLINK_CONSTANT(CORVEXLINK_ERR_FIFO_WAIT_EXPIRED)
                                        CORVEXLINK_CONSTANT(CORVEXLINK_STATUS_BIT_COUNT) CORVEXLINK_CONSTANT(CORVEXLINK_COUNT_SIGN_BIT) CORVEXLINK_CONSTANT(
                                            CORVEXLINK_ADDRESS_MIN) CORVEXLINK_CONSTANT(CORVEXLINK_ADDRESS_MAX)
                                            CORVEXLINK_CONSTANT(CORVEXLINK_RATE_MIN) CORVEXLINK_CONSTANT(CORVEXLINK_RATE_MAX) CORVEXLINK_CONSTANT(
                                                CORVEXLINK_FIXED_SPEED_MAX) CORVEXLINK_CONSTANT(CORVEXLINK_ACCEL_MIN)
                                                CORVEXLINK_CONSTANT(CORVEXLINK_ACCEL_MAX) CORVEXLINK_CONSTANT(
                                                    CORVEXLINK_CURRENT_MIN) CORVEXLINK_CONSTANT(CORVEXLINK_CURRENT_MAX)
                                                    CORVEXLINK_CONSTANT(CORVEXLINK_COUNT_MAX) CORVEXLINK_CONSTANT(
                                                        CORVEXLINK_FIFO_SLOPE_MIN) CORVEXLINK_CONSTANT(CORVEXLINK_FIFO_SLOPE_MAX)
                                                        CORVEXLINK_CONSTANT(CORVEXLINK_FIFO_CAPACITY) CORVEXLINK_CONSTANT(
                                                            CORVEXLINK_ADC_RESOLUTION_MIN)
                                                            CORVEXLINK_CONSTANT(CORVEXLINK_ADC_RESOLUTION_MAX) CORVEXLINK_CONSTANT(
                                                                CORVEXLINK_OPEN_OK) CORVEXLINK_CONSTANT(CORVEXLINK_OPEN_NO_DEVICE)
                                                                CORVEXLINK_CONSTANT(CORVEXLINK_OPEN_PERMISSION_DENIED) CORVEXLINK_CONSTANT(
                                                                    CORVEXLINK_OPEN_IN_USE) CORVEXLINK_CONSTANT(CORVEXLINK_OPEN_REFUSED)
                                                                    CORVEXLINK_CONSTANT(CORVEXLINK_OPEN_TIMED_OUT) CORVEXLINK_CONSTANT(
                                                                        CORVEXLINK_OPEN_MALFORMED_NAME) CORVEXLINK_CONSTANT(CORVEXLINK_OPEN_NOT_SERIAL)
                                                                        CORVEXLINK_CONSTANT(CORVEXLINK_OPEN_OTHER) CORVEXLINK_CONSTANT(
                                                                            CORVEXLINK_LINE_INVALID)
                                                                            CORVEXLINK_CONSTANT(
                                                                                CORVEXLINK_LINE_NOT_OPEN)
                                                                                CORVEXLINK_CONSTANT(
                                                                                    CORVEXLINK_LINE_OPEN)
                                                                                    CORVEXLINK_CONSTANT(
                                                                                        CORVEXLINK_LINE_LOST)
                                                                                        CORVEXLINK_CONSTANT(
                                                                                            CORVEXLINK_PORT_TEXT_SIZE)
                                                                                            CORVEXLINK_CONSTANT(
                                                                                                CORVEXLINK_TRACE_SENT)
                                                                                                CORVEXLINK_CONSTANT(
                                                                                                    CORVEXLINK_TRACE_RECEIVED)
                                                                                                    CORVEXLINK_CONSTANT(
                                                                                                        CORVEXLINK_TRACE_REPEAT)
                                                                                                        CORVEXLINK_CONSTANT(
                                                                                                            CORVEXLINK_TRACE_TIMEOUT);

}  // namespace

extern "C" const char *CorvexLinkGetExports(void) { return kExports; }
CORVEXLINK_ALIAS(CorvexLinkGetExports)

extern "C" const char *CorvexLinkGetConstants(void) { return kConstants; }
CORVEXLINK_ALIAS(CorvexLinkGetConstants)
