// SPDX-License-Identifier: MIT
// Every export of the library, declared once. The table is a list of X-macro entries; the
// exports (each also under its name with a leading underscore), their line forms, the
// operations below the exports that carry them out, and the table that the library gives
// at run time (CorvexLinkGetExports: the Python package's prototypes and the Debian symbols
// file are made from it) are all expanded from it. The public header declares and documents
// the same functions; a test holds the two to each other.
//
// The entries, by the course the call takes (see course.h):
//   COMMAND(since, name, lineName, params, args)
//       A command on a line, reporting into the caller state: `name` acts on the default
//       line, `lineName` (CorvexLinkLine<name>) takes the line first. Carried out by
//       corvex::ops::name(Call &, params).
//   STOP(since, name, lineName, params, args)
//       As COMMAND, but served between the transactions of a call already under way.
//   DEFAULT(since, name, params, args)
//       A COMMAND of the default line alone (the port number and its dialog).
//   READ(since, type, fallback, name, lineName, params, args)
//       Reads the caller state of the last call: corvex::ops::name(const CallerState &,
//       params). The line form reads the calling thread's own state on that line.
//   LOCKED(since, type, fallback, name, lineName, params, args)
//       Reads the line under its lock: corvex::ops::name(Line &, params).
//   LOCKED_DEFAULT(since, type, fallback, name, params, args)
//       A LOCKED read of the default line alone.
//   OWN(since, type, name, params)
//       Written out by hand in exports/ (the lines themselves, the machine's devices, the
//       debug handler, this table).
//   VARIABLE(since, type, name)
//       An exported variable.
// `since` is the package version that first carried the export; `params` and `args` are
// the parameter list and the argument list, each in parentheses.
#pragma once

#define CORVEXLINK_SINCE_FIRST "2.1"
#define CORVEXLINK_SINCE_LINES "2.1.1"

// clang-format off
#define CORVEXLINK_EXPORT_TABLE(COMMAND, STOP, DEFAULT, READ, LOCKED, LOCKED_DEFAULT, OWN,         \
                                VARIABLE)                                                          \
    /* port */                                                                                     \
    DEFAULT(CORVEXLINK_SINCE_FIRST, PortOpen, (int port, int baudRate), (port, baudRate))          \
    DEFAULT(CORVEXLINK_SINCE_FIRST, PortClose, (), ())                                             \
    DEFAULT(CORVEXLINK_SINCE_FIRST, PortConfigure, (), ())                                         \
    LOCKED_DEFAULT(CORVEXLINK_SINCE_FIRST, int, 0, ZelmarGetPort, (), ())                          \
    LOCKED(CORVEXLINK_SINCE_FIRST, int, 0, ZelmarGetBaudRate, CorvexLinkLineGetBaudRate, (), ())   \
    VARIABLE(CORVEXLINK_SINCE_FIRST, void *, Form2)                                                \
    /* lines */                                                                                    \
    OWN(CORVEXLINK_SINCE_LINES, int, CorvexLinkLineOpen,                                           \
        (const char *device, int baudRate, CorvexLinkLine **line, CorvexLinkResult *result))       \
    OWN(CORVEXLINK_SINCE_LINES, int, CorvexLinkLineReopen,                                         \
        (CorvexLinkLine *line, CorvexLinkResult *result))                                        \
    OWN(CORVEXLINK_SINCE_LINES, int, CorvexLinkLineClose, (CorvexLinkLine *line))                 \
    OWN(CORVEXLINK_SINCE_LINES, CorvexLinkLine *, CorvexLinkDefaultLine, (void))                   \
    OWN(CORVEXLINK_SINCE_LINES, int, CorvexLinkLineGetState, (CorvexLinkLine *line))              \
    OWN(CORVEXLINK_SINCE_LINES, int, CorvexLinkLineGetDevice,                                      \
        (CorvexLinkLine *line, char *device, int size))                                           \
    OWN(CORVEXLINK_SINCE_LINES, int, CorvexLinkLineKnownControllers,                               \
        (CorvexLinkLine *line, char *buffer))                                                     \
    /* devices of the machine */                                                                   \
    OWN(CORVEXLINK_SINCE_FIRST, int, PortList, (CorvexLinkPortInfo *ports, int capacity))         \
    OWN(CORVEXLINK_SINCE_FIRST, int, PortDevice, (int port, char *device, int size))               \
    /* transaction and error state */                                                              \
    COMMAND(CORVEXLINK_SINCE_FIRST, WriteCommandtoKX4417, CorvexLinkLineWriteCommandtoKX4417,      \
            (const char *command), (command))                                                      \
    READ(CORVEXLINK_SINCE_FIRST, int, 0, ZelmarGetValue, CorvexLinkLineGetValue, (), ())           \
    READ(CORVEXLINK_SINCE_FIRST, int, CORVEXLINK_ERR_NONE, ZelmarGetNumberError,                   \
         CorvexLinkLineGetNumberError, (), ())                                                     \
    READ(CORVEXLINK_SINCE_FIRST, const char *, "", ZelmarGetErrorMessage,                          \
         CorvexLinkLineGetErrorMessage, (), ())                                                    \
    READ(CORVEXLINK_SINCE_FIRST, int, -1, ZelmarGetErrorMessageVb,                                 \
         CorvexLinkLineGetErrorMessageVb, (char *buffer), (buffer))                                \
    READ(CORVEXLINK_SINCE_FIRST, int, -1, GetLastestCommand, CorvexLinkLineGetLastestCommand,      \
         (char *buffer), (buffer))                                                                 \
    COMMAND(CORVEXLINK_SINCE_FIRST, ZelmarChangeBaudRate, CorvexLinkLineChangeBaudRate,            \
            (int baudRate), (baudRate))                                                            \
    /* diagnostics */                                                                              \
    OWN(CORVEXLINK_SINCE_FIRST, int, CorvexLinkSetDebugHandler,                                    \
        (CorvexLinkDebugHandler handler, void *context))                                           \
    OWN(CORVEXLINK_SINCE_FIRST, int, CorvexLinkSetTraceHandler,                                    \
        (CorvexLinkTraceHandler handler, void *context))                                           \
    OWN(CORVEXLINK_SINCE_LINES, int, CorvexLinkLineSetTraceHandler,                                \
        (CorvexLinkLine *line, CorvexLinkTraceHandler handler, void *context))                    \
    OWN(CORVEXLINK_SINCE_LINES, const char *, CorvexLinkGetExports, (void))                        \
    OWN(CORVEXLINK_SINCE_LINES, const char *, CorvexLinkGetConstants, (void))                      \
    /* motion, position, encoder, status and power */                                              \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorSetCurrent, CorvexLinkLineMotorSetCurrent,                \
            (const char *address, int milliamps), (address, milliamps))                            \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorSpeed, CorvexLinkLineMotorSpeed,                          \
            (const char *address, int slewRate, int firstRate, int accel),                         \
            (address, slewRate, firstRate, accel))                                                 \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorConfigureMode, CorvexLinkLineMotorConfigureMode,          \
            (const char *address, int mode), (address, mode))                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, GetMotorDirection, CorvexLinkLineGetMotorDirection,            \
            (const char *address), (address))                                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorDirection, CorvexLinkLineMotorDirection,                  \
            (const char *address, int flag), (address, flag))                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorSlewRate, CorvexLinkLineMotorSlewRate,                    \
            (const char *address, int rate), (address, rate))                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorFirstRate, CorvexLinkLineMotorFirstRate,                  \
            (const char *address, int rate), (address, rate))                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorAccelDecel, CorvexLinkLineMotorAccelDecel,                \
            (const char *address, int accel), (address, accel))                                    \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorChangeJogSpeed, CorvexLinkLineMotorChangeJogSpeed,        \
            (const char *address, int speed), (address, speed))                                    \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorNumberStepRel, CorvexLinkLineMotorNumberStepRel,          \
            (const char *address, int32_t steps), (address, steps))                                \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorGoAbsPos, CorvexLinkLineMotorGoAbsPos,                    \
            (const char *address, int32_t position), (address, position))                          \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorJog, CorvexLinkLineMotorJog,                              \
            (const char *address, int direction), (address, direction))                            \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorRepeat, CorvexLinkLineMotorRepeat, (const char *address), \
            (address))                                                                             \
    STOP(CORVEXLINK_SINCE_FIRST, MotorStop, CorvexLinkLineMotorStop, (const char *address),        \
         (address))                                                                                \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorSoftReset, CorvexLinkLineMotorSoftReset,                  \
            (const char *address), (address))                                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorGetPosition, CorvexLinkLineMotorGetPosition,              \
            (const char *address, int32_t *position), (address, position))                         \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorSetPosition, CorvexLinkLineMotorSetPosition,              \
            (const char *address, int32_t position), (address, position))                          \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorEncoderFailsStep, CorvexLinkLineMotorEncoderFailsStep,    \
            (const char *address, int32_t steps), (address, steps))                                \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorGetStatusRegister, CorvexLinkLineMotorGetStatusRegister,  \
            (const char *address, int32_t *status), (address, status))                             \
    COMMAND(CORVEXLINK_SINCE_FIRST, EncoderSetPosition, CorvexLinkLineEncoderSetPosition,          \
            (const char *address, int32_t count), (address, count))                                \
    COMMAND(CORVEXLINK_SINCE_FIRST, EncoderGetPosition, CorvexLinkLineEncoderGetPosition,          \
            (const char *address, int32_t *count), (address, count))                               \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorPowerON, CorvexLinkLineMotorPowerON,                      \
            (const char *address, int value), (address, value))                                    \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorPowerOFF, CorvexLinkLineMotorPowerOFF,                    \
            (const char *address), (address))                                                      \
    OWN(CORVEXLINK_SINCE_FIRST, int, GetFixedSpeed, (int speed))                                   \
    /* discovery and initialisation */                                                             \
    COMMAND(CORVEXLINK_SINCE_FIRST, GetConnectedControllers,                                       \
            CorvexLinkLineGetConnectedControllers, (char *buffer), (buffer))                       \
    COMMAND(CORVEXLINK_SINCE_FIRST, CheckControllerAddress, CorvexLinkLineCheckControllerAddress,  \
            (const char *address), (address))                                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorStationsInit, CorvexLinkLineMotorStationsInit, (), ())    \
    /* trigger and pause */                                                                        \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorTriggerON, CorvexLinkLineMotorTriggerON,                  \
            (const char *motors), (motors))                                                        \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorTriggerOFF, CorvexLinkLineMotorTriggerOFF,                \
            (const char *motors), (motors))                                                        \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorPauseON, CorvexLinkLineMotorPauseON,                      \
            (const char *motors), (motors))                                                        \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorPauseOFF, CorvexLinkLineMotorPauseOFF,                    \
            (const char *motors), (motors))                                                        \
    /* user I/O, analog inputs and SPI */                                                          \
    COMMAND(CORVEXLINK_SINCE_FIRST, ConfigureSPI, CorvexLinkLineConfigureSPI,                      \
            (const char *address, int config), (address, config))                                  \
    COMMAND(CORVEXLINK_SINCE_FIRST, ReadSPI, CorvexLinkLineReadSPI,                                \
            (const char *address, int32_t *value), (address, value))                               \
    COMMAND(CORVEXLINK_SINCE_FIRST, WriteSPI, CorvexLinkLineWriteSPI,                              \
            (const char *address, int value), (address, value))                                    \
    COMMAND(CORVEXLINK_SINCE_FIRST, ReadDigitalUserIO, CorvexLinkLineReadDigitalUserIO,            \
            (const char *address, int32_t *inputs), (address, inputs))                             \
    COMMAND(CORVEXLINK_SINCE_FIRST, ConfigureDigitalUserIO, CorvexLinkLineConfigureDigitalUserIO,  \
            (const char *addresses, int config), (addresses, config))                              \
    COMMAND(CORVEXLINK_SINCE_FIRST, WriteDigitalUserIO, CorvexLinkLineWriteDigitalUserIO,          \
            (const char *addresses, int value), (addresses, value))                                \
    COMMAND(CORVEXLINK_SINCE_FIRST, GetADCchannel, CorvexLinkLineGetADCchannel,                    \
            (const char *master, int resolution, int channel, int32_t *reading),                   \
            (master, resolution, channel, reading))                                                \
    COMMAND(CORVEXLINK_SINCE_FIRST, ReadAllChannelsADC, CorvexLinkLineReadAllChannelsADC,          \
            (const char *master, int resolution, int32_t *values), (master, resolution, values))   \
    /* stored program and FIFO */                                                                  \
    COMMAND(CORVEXLINK_SINCE_FIRST, EnterProgMode, CorvexLinkLineEnterProgMode,                    \
            (const char *address), (address))                                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, ExecStoredProg, CorvexLinkLineExecStoredProg,                  \
            (const char *address), (address))                                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, ProgramLoop, CorvexLinkLineProgramLoop, (const char *address), \
            (address))                                                                             \
    COMMAND(CORVEXLINK_SINCE_FIRST, MotorWait, CorvexLinkLineMotorWait,                            \
            (const char *address, int wait), (address, wait))                                      \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOReset, CorvexLinkLineFIFOReset, (const char *address),     \
            (address))                                                                             \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOGetIndexCounter, CorvexLinkLineFIFOGetIndexCounter,        \
            (const char *address, int32_t *index), (address, index))                               \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOGetRemainingBytes, CorvexLinkLineFIFOGetRemainingBytes,    \
            (const char *address, int32_t *freeBytes), (address, freeBytes))                       \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOWriteUserIO, CorvexLinkLineFIFOWriteUserIO,                \
            (const char *address, int value, int32_t *freeBytes), (address, value, freeBytes))     \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOWriteSPI, CorvexLinkLineFIFOWriteSPI,                      \
            (const char *address, int value, int32_t *freeBytes), (address, value, freeBytes))     \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOMotorNumberStepRel, CorvexLinkLineFIFOMotorNumberStepRel,  \
            (const char *address, int32_t steps, int32_t *freeBytes), (address, steps, freeBytes)) \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOMotorGoAbsPos, CorvexLinkLineFIFOMotorGoAbsPos,            \
            (const char *address, int32_t position, int32_t *freeBytes),                           \
            (address, position, freeBytes))                                                        \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOMotorSlewRate, CorvexLinkLineFIFOMotorSlewRate,            \
            (const char *address, int rate, int32_t *freeBytes), (address, rate, freeBytes))       \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOMotorFirstRate, CorvexLinkLineFIFOMotorFirstRate,          \
            (const char *address, int rate, int32_t *freeBytes), (address, rate, freeBytes))       \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOMotorSlope, CorvexLinkLineFIFOMotorSlope,                  \
            (const char *address, int slope, int32_t *freeBytes), (address, slope, freeBytes))     \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOMotorRepeat, CorvexLinkLineFIFOMotorRepeat,                \
            (const char *address, int32_t *freeBytes), (address, freeBytes))                       \
    COMMAND(CORVEXLINK_SINCE_FIRST, FIFOMotorWait, CorvexLinkLineFIFOMotorWait,                    \
            (const char *address, int wait, int32_t *freeBytes), (address, wait, freeBytes))

// clang-format on

// Helpers for expanding the entries: a parameter or argument list with the line (or the
// call) put first, and a list's contents after a comma.
#define CORVEXLINK_AFTER_COMMA(...) __VA_OPT__(, ) __VA_ARGS__
#define CORVEXLINK_UNPARENTHESISED(...) __VA_ARGS__
#define CORVEXLINK_LINE_FIRST(...) (CorvexLinkLine * line CORVEXLINK_AFTER_COMMA(__VA_ARGS__))
