// SPDX-License-Identifier: MIT
/**
 * @file CorvexLink.h
 * @brief The C interface of CorvexLink: every export, its arguments, results and errors.
 *
 * This header is the reference of the library: the HTML reference and the manual pages
 * are generated from its comments.
 */
/**
 * @mainpage CorvexLink
 * @copydetails corvexlink
 */
/**
 * @defgroup corvexlink CorvexLink
 * @brief Host library for KX4417 stepper controllers on Corvex-B boards.
 *
 * One RS-232 line is shared by up to sixteen controllers ("stations", addresses 0 to 15,
 * four to a board). Every function below runs on the caller's thread, turns its arguments
 * into one or more short ASCII commands, sends them, waits for the station's answer (a
 * text ending in `>`) and reports the outcome:
 *
 *   - the return value: 1 for success and -1 for failure, unless stated otherwise;
 *   - the library error state, read with ZelmarGetNumberError() and
 *     ZelmarGetErrorMessage(): the number and text of the last failure.
 *
 * Include `<CorvexLink.h>` and link with `-lCorvexLink` (`pkg-config --cflags --libs
 * corvexlink`, or `find_package(CorvexLink)` and the target `CorvexLink::CorvexLink` in
 * CMake).
 *
 * The exports by family:
 *   - @ref corvexlink-port (open, configure and close the serial line);
 *   - @ref corvexlink-lines (several lines in one program, each opened by name) and
 *     @ref corvexlink-line-forms (every command on a line of the caller's choice);
 *   - @ref corvexlink-devices (the serial devices of the machine and their port numbers);
 *   - @ref corvexlink-transaction (raw commands, the error state, the baud-rate change);
 *   - @ref corvexlink-diagnostics (the library's debug lines);
 *   - @ref corvexlink-motion (current, speeds, moves, counters, status register, power);
 *   - @ref corvexlink-discovery (finding the stations and initialising them);
 *   - @ref corvexlink-trigger (the trigger and pause lines of groups of motors);
 *   - @ref corvexlink-io (user I/O, analog inputs and the SPI bus);
 *   - @ref corvexlink-fifo (the stored program and the FIFO of queued commands).
 *
 * @section corvexlink_conventions Conventions
 *
 * Conventions that hold for every function:
 *
 *   - Integers are 32-bit. Texts are NUL-terminated 8-bit strings owned by the caller and
 *     only read during the call. Out-parameters are pointers to 32-bit integers owned by
 *     the caller; a NULL out-parameter, address text or buffer is refused with -1 and
 *     never dereferenced.
 *   - An "address text" names the target (see @ref corvexlink_addresses).
 *   - Transport failures set the error number (see @ref corvexlink_errors).
 *   - Calls on a line are serialised by that line's lock, so several threads may call in;
 *     a call blocks until its own transactions are over. MotorStop() alone does not wait
 *     for another thread's call to end: it goes out between two of that call's
 *     transactions (see MotorStop()). Calls on different lines never wait for each other
 *     (see @ref corvexlink-lines).
 *   - Nothing is kept between runs: each load starts with port 1 at 9600 baud and every
 *     table at its initial value. Unloading the library (or leaving the program) closes a
 *     port that is still open.
 *   - Every function is also exported under its name with a leading underscore
 *     (PortOpen as `_PortOpen`).
 *
 * The header is C99 (the oldest C standard it supports: it uses `stdint.h` and `static
 * inline`) and compiles as C++11 or later, without warnings also under
 * `-Wzero-as-null-pointer-constant`.
 *
 * @section corvexlink_history Names kept from the system's history
 *
 * Some names read oddly and stay as they are, because programs written for earlier
 * versions of the library call them, and scripts and screens match on them:
 *   - the `Zelmar` prefix of the getters of the library state (ZelmarGetErrorMessage(),
 *     ZelmarGetPort(), ZelmarChangeBaudRate(), ...), the maker's name the library has
 *     always carried;
 *   - GetLastestCommand(), misspelt since its first version;
 *   - `Form2`, the exported variable of the port dialog, named after the form it was;
 *   - CORVEXLINK_STATUS_RUNING and the status-bit name "RUNING", spelt as in the stations'
 *     manual.
 *
 * Names added since carry the `CorvexLink` prefix (CorvexLinkSetDebugHandler(),
 * CorvexLinkPortInfo) or describe what they do (PortList(), PortDevice()).
 *
 * @section corvexlink_addresses Address texts
 *
 * The first argument of a command names its target: one decimal address (`"3"`), a
 * comma-separated list (`"0,4,8,12"`; a trailing comma is ignored) or `"ALL"` in any case.
 * One address becomes the prefix `_` and a hexadecimal digit (`_C` for 12); a list or ALL
 * a four-digit hexadecimal mask (`1111`, `FFFF`). Functions marked "single station" refuse
 * a list or ALL.
 *
 * Address errors:
 *   - "Wrong Address in list": a piece that does not start with a digit (empty, a blank, a
 *     minus sign), a list member or single address above 15, a text of more than 63
 *     characters, a NULL text;
 *   - "Broadcasting not allowed in this command": a list or ALL given to a single-station
 *     function.
 *
 * Address and value errors are found before anything is sent. They change only the
 * message: the error number keeps its value.
 *
 * @section corvexlink_errors Errors
 *
 * A command that gets no answer within 200 ms is repeated once (after a lone CR) and
 * waited for again (about 600 ms in all). A station may have executed a command whose
 * answer was lost, so a command whose second execution would act again is never repeated:
 * it is only waited for as long, then fails with error 26 and a message that says it may
 * have been executed (read the position before sending it again).
 *   - Not repeated: a relative move (MotorNumberStepRel(), letter N), a repeat of the last
 *     move (MotorRepeat(), G), running the stored program (ExecStoredProg(), X) or its loop
 *     (ProgramLoop(), L), and every FIFO entry (the FIFO functions, `&`), whichever
 *     function or raw text (WriteCommandtoKX4417()) sends them.
 *   - Repeated: every other command: reads, absolute moves, settings, stops, resets, jogs,
 *     outputs; running them twice leaves the same state as once.
 *
 * Transport and station failures set the error
 * number (named CORVEXLINK_ERR_ in this header) and message; "..." stands for the command
 * and the answer. CORVEXLINK_ERR_NONE (0) is the number after load, CORVEXLINK_ERR_CLEARED
 * (-1) the number while the call under way has found no failure.
 *
 *   - 1 CORVEXLINK_ERR_OUT_OF_RANGE: "Parameters out of Range (...": the station refused a
 *     value.
 *   - 2 CORVEXLINK_ERR_SYNTAX: "Syntax Error: Command Not Found (...": the station does not
 *     know the command.
 *   - 3 CORVEXLINK_ERR_FIFO_FULL: "FIFO FULL (...": no room in the station's FIFO.
 *   - 4 CORVEXLINK_ERR_SPI_NOT_CONFIGURED:
 *     "SPI need to be Configured before Read or Write (...": SPI used before ConfigureSPI().
 *   - 5 CORVEXLINK_ERR_SPI_NOT_MASTER:
 *     "SPI MUST be Configured as MASTER, check USER11 State (...": SPI used as a slave.
 *   - 6 CORVEXLINK_ERR_MOTOR_RUNNING:
 *     "Motor is Running Can NOT Execute the Command Sent (...": the motor is busy.
 *   - 7 CORVEXLINK_ERR_LIMIT_SWITCH: "Limit Switch has been reached (...": a limit switch
 *     stopped the move.
 *   - 8 CORVEXLINK_ERR_RUNNING_DIRECTION: "Motor is Running can not set Direction (...":
 *     MotorDirection() while moving.
 *   - 9 CORVEXLINK_ERR_CANNOT_EXECUTE: "Can Not Execute command (...": for example a move
 *     with the power off.
 *   - -1 CORVEXLINK_ERR_UNKNOWN_CODE: "Returned error code unknown (...": an answer code
 *     the library does not know.
 *   - 25 CORVEXLINK_ERR_NO_PORT: "Commands cannot be sent before a COM port is open": no
 *     port open.
 *   - 26 CORVEXLINK_ERR_NO_ANSWER: "ItcCommand: COM port timed out (command = ...)": no
 *     answer, the station is absent, silent or at another rate;
 *     "WriteSP: COM port timed out" when a probe got no answer.
 *   - 27 CORVEXLINK_ERR_COMMAND_REJECTED: "Command rejected: ...": a NULL or over-long raw
 *     command.
 *   - 28 CORVEXLINK_ERR_LINE_LOST:
 *     "ItcCommand: the line is lost (...), open the port again (command = ...)": the device
 *     went away; every command fails at once until the port is opened again.
 *   - 29 CORVEXLINK_ERR_NO_VALUE: "No value in the answer (command = ..., answer = ...)": a
 *     reading got an answer without a number (a bare prompt); the out-parameter is left as
 *     a failed reading leaves it.
 *   - 30 CORVEXLINK_ERR_BAUD_RATE_CHANGE:
 *     "Can Not Change the Baud Rate to the Address : a": ZelmarChangeBaudRate().
 *   - 35 CORVEXLINK_ERR_PORT_NOT_OPEN: "COM port is NOT open": PortClose().
 *   - 36 CORVEXLINK_ERR_OPEN_FAILED: "Unable to open COM port": PortOpen(),
 *     PortConfigure(); CorvexLinkLineOpen() adds the device and the reason.
 *   - 37 CORVEXLINK_ERR_LINE_CLOSED: "The line is closed": a line form given a closed line.
 *   - 50 CORVEXLINK_ERR_INIT_FAILED: "Can Not ... Address: a": MotorStationsInit().
 *   - 51 CORVEXLINK_ERR_USER_IO_REFUSED:
 *     "... USERIO to the Controller Address: a is not allowed": user I/O lists.
 *   - 60 CORVEXLINK_ERR_FIFO_WAIT_EXPIRED:
 *     "The Delay of 900 Ms has been expired, and Can NOT Write the Command TO FIFO": the FIFO
 *     exports.
 *
 * @par Example
 * @code
 * #include <CorvexLink.h>
 * #include <stdio.h>
 *
 * int main(void) {
 *     if (PortOpen(1, 9600) != 1) {            // COM1
 *         fprintf(stderr, "%s\n", ZelmarGetErrorMessage());
 *         return 1;
 *     }
 *     char found[CORVEXLINK_CONTROLLER_LIST_SIZE];
 *     GetConnectedControllers(found);          // "0,1,2,3,N,N,..."
 *     MotorStationsInit();
 *     MotorSlewRate("0", 2000);
 *     MotorNumberStepRel("0", 3000);
 *     PortClose();
 *     return 0;
 * }
 * @endcode
 */
#ifndef CORVEXLINK_H
#define CORVEXLINK_H

#include <stddef.h>
#include <stdint.h>

/**
 * @def CORVEXLINK_API
 * @brief Marks a function or variable as an export of the library (default visibility,
 * or dllexport/dllimport on Windows).
 */
#if defined(_WIN32) && defined(CORVEXLINK_BUILDING_LIBRARY)
#    define CORVEXLINK_API __declspec(dllexport)
#elif defined(_WIN32)
#    define CORVEXLINK_API __declspec(dllimport)
#else
#    define CORVEXLINK_API __attribute__((visibility("default")))
#endif

#include "CorvexLinkVersion.h"

/** @ingroup corvexlink-io
 * Number of analog channels that ReadAllChannelsADC() fills. */
#define CORVEXLINK_ADC_CHANNELS 11
/** @ingroup corvexlink-discovery
 * Smallest buffer for GetConnectedControllers() (37 characters and the NUL). */
#define CORVEXLINK_CONTROLLER_LIST_SIZE 38
/** @ingroup corvexlink-transaction
 * Smallest buffer for ZelmarGetErrorMessageVb(). */
#define CORVEXLINK_ERROR_MESSAGE_SIZE 512
/** @ingroup corvexlink-devices
 * Size of the path fields of CorvexLinkPortInfo and CorvexLinkResult, terminating NUL
 * included; the smallest buffer that takes every device name of PortDevice() and
 * CorvexLinkLineGetDevice(). */
#define CORVEXLINK_PORT_PATH_SIZE 512
/** @ingroup corvexlink-transaction
 * Smallest buffer for GetLastestCommand(). */
#define CORVEXLINK_COMMAND_BUFFER_SIZE 256

/* Status register bits (MotorGetStatusRegister). */
#define CORVEXLINK_STATUS_TRGD 0x001   /**< Triggered. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_PSED 0x002   /**< Paused. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_ABORTD 0x004 /**< Aborted. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_RUNING 0x008 /**< Running. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_LS_CCW 0x010 /**< CCW limit switch. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_LS_CW 0x020  /**< Clockwise limit switch. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_HOME 0x040   /**< At home. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_READY 0x080  /**< Ready. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_DIR 0x100    /**< Direction. @ingroup corvexlink-motion */
#define CORVEXLINK_STATUS_STALL 0x200  /**< Stalled. @ingroup corvexlink-motion */

/* ---------------------------------------------------------------------------------
 * Error numbers (ZelmarGetNumberError), status-bit names and count conversion
 * -------------------------------------------------------------------------------*/

/**
 * @addtogroup corvexlink
 * @{
 */

/** No failure since the library was loaded. */
#define CORVEXLINK_ERR_NONE 0
/** The call under way has found no failure yet (the state at the start of each command). */
#define CORVEXLINK_ERR_CLEARED (-1)
/** The station answered with an error code outside 1 to 9, or the library met an internal
 * fault ("CorvexLink internal error: ..."). */
#define CORVEXLINK_ERR_UNKNOWN_CODE (-1)
/** Station answer code 1: "Parameters out of Range". */
#define CORVEXLINK_ERR_OUT_OF_RANGE 1
/** Station answer code 2: "Syntax Error: Command Not Found". */
#define CORVEXLINK_ERR_SYNTAX 2
/** Station answer code 3: "FIFO FULL". */
#define CORVEXLINK_ERR_FIFO_FULL 3
/** Station answer code 4: "SPI need to be Configured before Read or Write". */
#define CORVEXLINK_ERR_SPI_NOT_CONFIGURED 4
/** Station answer code 5: "SPI MUST be Configured as MASTER, check USER11 State". */
#define CORVEXLINK_ERR_SPI_NOT_MASTER 5
/** Station answer code 6: "Motor is Running Can NOT Execute the Command Sent". */
#define CORVEXLINK_ERR_MOTOR_RUNNING 6
/** Station answer code 7: "Limit Switch has been reached". */
#define CORVEXLINK_ERR_LIMIT_SWITCH 7
/** Station answer code 8: "Motor is Running can not set Direction". */
#define CORVEXLINK_ERR_RUNNING_DIRECTION 8
/** Station answer code 9: "Can Not Execute command". */
#define CORVEXLINK_ERR_CANNOT_EXECUTE 9
/** A command was given before any port was opened, or while none is open. */
#define CORVEXLINK_ERR_NO_PORT 25
/** No answer came within 200 ms, even after one repetition of the command. */
#define CORVEXLINK_ERR_NO_ANSWER 26
/** A command text longer than 62 characters, or none, was refused; nothing was sent. */
#define CORVEXLINK_ERR_COMMAND_REJECTED 27
/** The line's device went away (an adapter unplugged, a network connection lost): nothing
 * was sent; the line works again once opened again. */
#define CORVEXLINK_ERR_LINE_LOST 28
/** A reading (position, encoder, status register, SPI, user inputs, ADC channel, FIFO
 * counters) was answered without a number: no value is reported. */
#define CORVEXLINK_ERR_NO_VALUE 29
/** A station did not answer at the new rate after ZelmarChangeBaudRate(). */
#define CORVEXLINK_ERR_BAUD_RATE_CHANGE 30
/** PortClose() found no open port: "COM port is NOT open". */
#define CORVEXLINK_ERR_PORT_NOT_OPEN 35
/** PortOpen() or PortConfigure() could not open the port: "Unable to open COM port". */
#define CORVEXLINK_ERR_OPEN_FAILED 36
/** A line form was given a line that is closed, or NULL: "The line is closed". */
#define CORVEXLINK_ERR_LINE_CLOSED 37
/** A step of MotorStationsInit() failed; the message names the step and the address. */
#define CORVEXLINK_ERR_INIT_FAILED 50
/** A user I/O list named a board's master controller (0, 4, 8 or 12); nothing was sent. */
#define CORVEXLINK_ERR_USER_IO_REFUSED 51
/** A queued command waited about a second for FIFO room that never came. */
#define CORVEXLINK_ERR_FIFO_WAIT_EXPIRED 60

/** @} */

/**
 * @addtogroup corvexlink-motion
 * @{
 */

/** Number of status-register bits: CORVEXLINK_STATUS_TRGD is bit 0, CORVEXLINK_STATUS_STALL
 * bit 9. */
#define CORVEXLINK_STATUS_BIT_COUNT 10

/** The name of status-register bit `bit` (0 is the lowest) as the stations' manual and the
 * programs show it ("TRGD", ..., "LS-CCW", "LS-CW", ..., "STALL"); NULL for a bit outside 0
 * to CORVEXLINK_STATUS_BIT_COUNT - 1.
 *
 * @param bit the bit number, 0 to CORVEXLINK_STATUS_BIT_COUNT - 1.
 * @return the name, a text of the library that stays valid; or NULL.
 *
 * @code
 * for (int bit = 0; bit < CORVEXLINK_STATUS_BIT_COUNT; ++bit)
 *     if (status & (1 << bit)) printf(" %s", CorvexLinkStatusBitName(bit));
 * @endcode */
static inline const char *CorvexLinkStatusBitName(int bit) {
    /* The entry after the last name is a null pointer (no 0 or NULL, which C++ compilers
     * flag under -Wzero-as-null-pointer-constant). */
    static const char *const names[CORVEXLINK_STATUS_BIT_COUNT + 1] = {
        "TRGD", "PSED", "ABORTD", "RUNING", "LS-CCW", "LS-CW", "HOME", "READY", "DIR", "STALL"};
    return names[bit >= 0 && bit < CORVEXLINK_STATUS_BIT_COUNT ? bit : CORVEXLINK_STATUS_BIT_COUNT];
}

/** The sign bit of the stations' 24-bit sign-and-magnitude counts (2 to the power 23). */
#define CORVEXLINK_COUNT_SIGN_BIT 8388608

/** A position or encoder count as the station sends it (24-bit sign and magnitude) turned
 * into a signed number: above CORVEXLINK_COUNT_SIGN_BIT the count is negative
 * (8388609 is -1, 16777215 is -8388607); the sign bit alone (8388608) and anything below
 * it are taken as they are. MotorGetPosition() and EncoderGetPosition() apply it already.
 *
 * @param count the count from the station's answer.
 * @return the signed count. */
static inline int32_t CorvexLinkFromSignMagnitude24(int32_t count) {
    return count > CORVEXLINK_COUNT_SIGN_BIT ? CORVEXLINK_COUNT_SIGN_BIT - count : count;
}

/** @} */

/**
 * @addtogroup corvexlink
 * @{
 */

/** @name Limits
 * The values the library accepts, named once: the functions refuse anything outside them
 * before a frame is sent, and programs that check a value before calling use the same
 * names.
 * @{ */
/** Lowest station address. */
#define CORVEXLINK_ADDRESS_MIN 0
/** Highest station address (sixteen stations, four boards of four). */
#define CORVEXLINK_ADDRESS_MAX 15
/** Lowest slew rate and first rate, in steps/s (MotorSlewRate(), MotorFirstRate()). */
#define CORVEXLINK_RATE_MIN 16
/** Highest slew rate and first rate, in steps/s. */
#define CORVEXLINK_RATE_MAX 8500
/** Lowest speed of the stations' speed table (GetFixedSpeed(), a queued first rate). */
#define CORVEXLINK_FIXED_SPEED_MIN 16
/** Highest speed of the stations' speed table. */
#define CORVEXLINK_FIXED_SPEED_MAX 10239
/** Lowest acceleration setting (MotorAccelDecel()). */
#define CORVEXLINK_ACCEL_MIN 0
/** Highest acceleration setting. */
#define CORVEXLINK_ACCEL_MAX 255
/** Lowest winding current, in mA (MotorSetCurrent()). */
#define CORVEXLINK_CURRENT_MIN 50
/** Highest winding current, in mA. */
#define CORVEXLINK_CURRENT_MAX 2000
/** Largest position or encoder count a station holds (24-bit sign and magnitude); the
 * smallest is its negative. */
#define CORVEXLINK_COUNT_MAX 8388607
/** Lowest slope of a queued move (FIFOMotorSlope()). */
#define CORVEXLINK_FIFO_SLOPE_MIN (-256)
/** Highest slope of a queued move. */
#define CORVEXLINK_FIFO_SLOPE_MAX 255
/** Bytes of a station's FIFO (what FIFOGetRemainingBytes() reports when it is empty). */
#define CORVEXLINK_FIFO_CAPACITY 128
/** Lowest ADC resolution in bits; GetADCchannel() takes 8, 10 or 12. */
#define CORVEXLINK_ADC_RESOLUTION_MIN 8
/** Highest ADC resolution in bits; ReadAllChannelsADC() takes 10 or 12. */
#define CORVEXLINK_ADC_RESOLUTION_MAX 12
/** @} */

/** @} */

/**
 * @addtogroup corvexlink-lines
 * @{
 */

/** A line: one serial line with its own device, stations, errors and trace (see
 * @ref corvexlink-lines). Opaque; a handle is never reused within a process. */
typedef struct CorvexLinkLine CorvexLinkLine;

/** @name Why a line did not open (CorvexLinkResult::reason)
 * @{ */
/** Nothing failed. */
#define CORVEXLINK_OPEN_OK 0
/** The name leads to no device (no such path, or COM<n> names none). */
#define CORVEXLINK_OPEN_NO_DEVICE 1
/** The device exists and the user may not open it (see the dialout group). */
#define CORVEXLINK_OPEN_PERMISSION_DENIED 2
/** Another program, or another line of this one, holds the device. */
#define CORVEXLINK_OPEN_IN_USE 3
/** A network server refused the connection or the COM-port option. */
#define CORVEXLINK_OPEN_REFUSED 4
/** A network server did not answer within the open's bound (3 s). */
#define CORVEXLINK_OPEN_TIMED_OUT 5
/** The name cannot name a device (empty, NULL, malformed network name, too long), or the
 * rate is not one of the line rates. */
#define CORVEXLINK_OPEN_MALFORMED_NAME 6
/** The device is not a serial line. */
#define CORVEXLINK_OPEN_NOT_SERIAL 7
/** Any other reason; the message says which. */
#define CORVEXLINK_OPEN_OTHER 8
/** @} */

/** @name A line's state (CorvexLinkLineGetState())
 * @{ */
/** The handle names no line (closed, or never opened). */
#define CORVEXLINK_LINE_INVALID (-1)
/** The line's port is not open (the default line before PortOpen(), after PortClose()). */
#define CORVEXLINK_LINE_NOT_OPEN 0
/** The line's port is open. */
#define CORVEXLINK_LINE_OPEN 1
/** The line's device went away; commands fail with CORVEXLINK_ERR_LINE_LOST until
 * CorvexLinkLineReopen() succeeds. */
#define CORVEXLINK_LINE_LOST 2
/** @} */

/** The outcome of opening a line: filled in by CorvexLinkLineOpen() and
 * CorvexLinkLineReopen(), on success as on failure. */
typedef struct CorvexLinkResult {
    int32_t number; /**< 0 on success, else the error number (36 for a failed open) */
    int32_t reason; /**< CORVEXLINK_OPEN_OK or why the device did not open */
    char message[CORVEXLINK_ERROR_MESSAGE_SIZE]; /**< "" on success, else what failed and why */
    char device[CORVEXLINK_PORT_PATH_SIZE];      /**< the device the name led to ("/dev/ttyUSB0") */
    char detail[CORVEXLINK_ERROR_MESSAGE_SIZE];  /**< the reason alone ("no such device") */
} CorvexLinkResult;

/** @} */

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------
 * Port
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-port Port
 * @ingroup corvexlink
 * @brief Opening, configuring and closing the serial line, and the port and rate in use.
 *
 * One port is open at a time. The port and rate last asked for are the library's
 * selection, which ZelmarGetPort(), ZelmarGetBaudRate() and the port dialog of
 * PortConfigure() show, also when an open failed.
 * @{
 */

/**
 * Opens serial port `port` (COM<port>) at `baudRate`, 8 data bits, no parity, one stop
 * bit, no flow control, and starts the receive worker.
 *
 * On Linux the device is the one named by the environment variable CORVEXLINK_COM<port>,
 * else by a "COM<port> = path" line of ports.conf, else /dev/ttyS<port-1> (see
 * PortDevice()); it is opened for exclusive use. A port that is already open is closed
 * first. The line runs at the nearest supported rate at or below the requested one (300,
 * 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, chosen by rate/100); an unsupported
 * rate keeps the previous line rate. The call waits 300 ms after opening so the stations
 * settle. The port and rate become the selection, also when the open fails.
 *
 * @param port     the port number, 1 or more (COM1 is 1).
 * @param baudRate the line rate in baud, kept as given for ZelmarGetBaudRate().
 * @return 1 when the port is open, -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_OPEN_FAILED (36) "Unable to open COM port": the device does not exist, cannot be
 * opened or is in use by another program. Port 0, negative and unknown ports fail the same way.
 * @par Example
 * @code
 * if (PortOpen(1, 9600) != 1) {
 *     fprintf(stderr, "%s\n", ZelmarGetErrorMessage());
 *     return 1;
 * }
 * @endcode
 */
CORVEXLINK_API int PortOpen(int port, int baudRate);

/**
 * Closes the open port: waits 300 ms so the last answers arrive, ends the receive worker,
 * drops DTR, purges and closes the device.
 *
 * While it waits for the worker, a Qt application's pending events are dispatched, so a
 * timer tick or a click can run during the close; the port already counts as closed for
 * calls made from there.
 *
 * @return 1 when the port was closed, -1 when no port was open.
 * @par Errors
 * CORVEXLINK_ERR_PORT_NOT_OPEN (35) "COM port is NOT open".
 * @par Example
 * @code
 * if (PortClose() == -1)
 *     printf("%s\n", ZelmarGetErrorMessage());   // COM port is NOT open
 * @endcode
 */
CORVEXLINK_API int PortClose(void);

/**
 * Shows the modal "Serial Port Configuration" dialog, then opens the port and rate
 * selected there as PortOpen() does, waiting 10 ms instead of 300 ms.
 *
 * In the dialog the user picks the rate (9600 to 115200) and the port (1 to 4, or typed);
 * a choice takes effect at once. The dialog has no cancel: however it is closed, the port
 * is opened with what is selected then. The dialog is shown only when the calling process
 * runs a Qt application and calls from its thread (the library then loads its GUI
 * module); otherwise nothing is shown and the current selection is opened.
 *
 * @return 1 when the port is open, -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_OPEN_FAILED (36) "Unable to open COM port". A port text typed into the dialog that
 * is none of its items selects port 0, which fails this way.
 * @par Example
 * @code
 * // In a Qt program:
 * if (PortConfigure() == -1)
 *     QMessageBox::critical(nullptr, "Open Port", ZelmarGetErrorMessage());
 * @endcode
 */
CORVEXLINK_API int PortConfigure(void);

/**
 * The port number last given to PortOpen() or chosen in the port dialog.
 *
 * @return the port number; 1 after the library is loaded. Cannot fail.
 * @par Example
 * @code
 * printf("COM%d\n", ZelmarGetPort());
 * @endcode
 */
CORVEXLINK_API int ZelmarGetPort(void);

/**
 * The baud rate last requested through PortOpen(), the port dialog or
 * ZelmarChangeBaudRate(), as it was given (not rounded to a line rate).
 *
 * @return the rate in baud; 9600 after the library is loaded. Cannot fail.
 * @par Example
 * @code
 * printf("Serial Port Opened at: %d\n", ZelmarGetBaudRate());
 * @endcode
 */
CORVEXLINK_API int ZelmarGetBaudRate(void);

/**
 * The port dialog (a QDialog*) while PortConfigure() shows it; NULL at any other time,
 * since the dialog is released when PortConfigure() returns.
 *
 * A Qt caller that wants to act on the open dialog (a test that closes it, say) finds it
 * here or as QApplication::activeModalWidget().
 *
 * @par Example
 * @code
 * // From a timer that fires while the dialog is shown:
 * QDialog *dialog = static_cast<QDialog *>(Form2);
 * if (dialog) dialog->close();
 * @endcode
 */
extern CORVEXLINK_API void *Form2;

/** @} */

/* ---------------------------------------------------------------------------------
 * Serial devices of the machine
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-devices Serial devices
 * @ingroup corvexlink
 * @brief The serial devices of the machine and the port numbers that open them.
 *
 * These calls read the system's device tables and configuration only: they open no
 * device, need no open port and do not change the error state.
 * @{
 */

/** Size of the other text fields of CorvexLinkPortInfo, terminating NUL included. */
#define CORVEXLINK_PORT_TEXT_SIZE 384

/** @brief One serial device of the machine, as PortList() reports it.
 *
 * Every text is NUL-terminated and "" when unknown; a text longer than its field is cut
 * to fit (device names of the system never are). */
typedef struct CorvexLinkPortInfo {
    /** The device node, for example "/dev/ttyUSB0". */
    char device[CORVEXLINK_PORT_PATH_SIZE];
    /** A name of the device that stays the same when adapters are plugged in another
     * order (on Linux the /dev/serial/by-id link), or "". */
    char stableName[CORVEXLINK_PORT_PATH_SIZE];
    /** The driver of the device ("cdc_acm", "serial"), or "". */
    char driver[CORVEXLINK_PORT_TEXT_SIZE];
    /** For a USB adapter, the maker it reports, else "". */
    char manufacturer[CORVEXLINK_PORT_TEXT_SIZE];
    /** For a USB adapter, the product name it reports, else "". */
    char product[CORVEXLINK_PORT_TEXT_SIZE];
    /** For a USB adapter, the serial number it reports, else "". */
    char serialNumber[CORVEXLINK_PORT_TEXT_SIZE];
    /** 1 for a USB adapter, 0 otherwise. */
    int32_t usb;
    /** USB vendor id (0 when not a USB adapter). */
    int32_t vendorId;
    /** USB product id (0 when not a USB adapter). */
    int32_t productId;
    /** The port number n whose COM<n> opens this device (the smallest when several do),
     * or 0 when none does. */
    int32_t port;
} CorvexLinkPortInfo;

/**
 * Lists the serial devices of the machine, in natural order of their names (ttyS2
 * before ttyS10).
 *
 * Reads the system's device tables only: does not open any device, needs no open port
 * and does not change the error state. Devices that cannot be read are left out.
 *
 * @param ports    array that receives the first `capacity` devices; may be NULL when
 *                 `capacity` is 0 (to count the devices first).
 * @param capacity number of elements of `ports`.
 * @return the number of devices found, which may be more than `capacity` (only
 *         `capacity` elements are written; the rest of the array is not touched), or -1
 *         when `capacity` is negative or `ports` is NULL with a positive `capacity`.
 * @par Errors
 * None: the error state is left as it was.
 * @par Example
 * @code
 * CorvexLinkPortInfo ports[16];
 * int n = PortList(ports, 16);
 * for (int i = 0; i < n && i < 16; ++i)
 *     printf("COM%d %s %s\n", ports[i].port, ports[i].device, ports[i].stableName);
 * @endcode
 */
CORVEXLINK_API int PortList(CorvexLinkPortInfo *ports, int capacity);

/**
 * Writes the device path that port `port` (COM<port>) opens into `device`.
 *
 * On Linux the path comes, first found first, from the environment variable
 * CORVEXLINK_COM<port>, a "COM<port> = path" line of $XDG_CONFIG_HOME/corvexlink/ports.conf
 * (~/.config/corvexlink/ports.conf when XDG_CONFIG_HOME is unset), a line of
 * /etc/corvexlink/ports.conf, and else is /dev/ttyS<port-1>. The files are read at every
 * call (and at every open).
 *
 * @param port   the port number, 1 or more.
 * @param device buffer that receives the NUL-terminated path.
 * @param size   size of `device` in bytes.
 * @return 1; or -1 when `port` is below 1, `device` is NULL or the path does not fit in
 *         `size` bytes (then nothing is written).
 * @par Errors
 * None: the error state is left as it was.
 * @par Example
 * @code
 * char path[CORVEXLINK_PORT_PATH_SIZE];
 * if (PortDevice(1, path, sizeof path) == 1) printf("COM1 is %s\n", path);
 * @endcode
 */
CORVEXLINK_API int PortDevice(int port, char *device, int size);

/** @} */

/* ---------------------------------------------------------------------------------
 * Transaction and error state
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-transaction Transaction and error state
 * @ingroup corvexlink
 * @brief Sending raw commands, reading the outcome of the last call, and changing the
 * baud rate of every station.
 * @{
 */

/**
 * Sends `command` (without the CR, address prefix included, for example "_0R600") and
 * waits for the station's answer. A number in a successful answer is kept for
 * ZelmarGetValue().
 *
 * @param command the command text, at most 62 characters.
 * @return 1 on success, 2 when the station answered that its FIFO is full (error
 *         CORVEXLINK_ERR_FIFO_FULL is then set), -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_COMMAND_REJECTED (27) "Command rejected: ..." for a NULL or longer command
 * (nothing is sent); CORVEXLINK_ERR_NO_PORT (25) when no port is open; CORVEXLINK_ERR_NO_ANSWER
 * (26) when the station does not answer; 1 to 9 and -1 from the answer (see @ref
 * corvexlink_errors).
 * @par Example
 * @code
 * if (WriteCommandtoKX4417("_0P") == 1)
 *     printf("position %d\n", ZelmarGetValue());
 * @endcode
 */
CORVEXLINK_API int WriteCommandtoKX4417(const char *command);

/**
 * The number parsed from the last successful answer that held one (a position, a status
 * word, the FIFO room, ...).
 *
 * @return the value; 0 after load. Cannot fail.
 * @par Example
 * @code
 * int32_t status;
 * MotorGetStatusRegister("0", &status);
 * int same = ZelmarGetValue();
 * @endcode
 */
CORVEXLINK_API int ZelmarGetValue(void);

/**
 * The number of the last failure. Argument errors change only the message, not the
 * number.
 *
 * @return 0 after load; -1 while the current call has found no failure; otherwise one of
 *         the numbers of @ref corvexlink_errors. Cannot fail.
 * @par Example
 * @code
 * if (MotorStop("2") == -1 && ZelmarGetNumberError() == 26)
 *     puts("station 2 does not answer");
 * @endcode
 */
CORVEXLINK_API int ZelmarGetNumberError(void);

/**
 * The message of the last failure.
 *
 * @return the text, never NULL; empty when there was no failure. It belongs to the
 *         library and changes with the next failure: copy it to keep it.
 * @par Example
 * @code
 * if (MotorSlewRate("0", 10) == -1)
 *     puts(ZelmarGetErrorMessage());  // Wrong Slew Rate Value must be between 16 to 8500
 * @endcode
 */
CORVEXLINK_API const char *ZelmarGetErrorMessage(void);

/**
 * Copies the error message with its NUL into `buffer`, for callers that cannot keep a
 * pointer into the library.
 *
 * @param buffer receives the message; at least CORVEXLINK_ERROR_MESSAGE_SIZE (512) bytes.
 * @return 1, or -1 for a NULL buffer (nothing written).
 * @par Errors
 * None beyond the NULL buffer; the error state is not changed.
 * @par Example
 * @code
 * char text[CORVEXLINK_ERROR_MESSAGE_SIZE];
 * ZelmarGetErrorMessageVb(text);
 * @endcode
 */
CORVEXLINK_API int ZelmarGetErrorMessageVb(char *buffer);

/**
 * Copies the last frame sent, its CR included, with a NUL into `buffer`.
 *
 * @param buffer receives the frame; at least CORVEXLINK_COMMAND_BUFFER_SIZE (256) bytes.
 * @return 1, or -1 for a NULL buffer (nothing written).
 * @par Errors
 * None beyond the NULL buffer; the error state is not changed.
 * @par Example
 * @code
 * char sent[CORVEXLINK_COMMAND_BUFFER_SIZE];
 * MotorSlewRate("3", 600);
 * GetLastestCommand(sent);   // "_3R600\r"
 * @endcode
 */
CORVEXLINK_API int GetLastestCommand(char *buffer);

/**
 * Moves every station of the station table and the port to `baudRate`.
 *
 * Tells the stations at the current rate (they switch at once and do not answer),
 * switches the port, then probes every station that the last GetConnectedControllers()
 * found. The new rate becomes the selection (ZelmarGetBaudRate()).
 *
 * @param baudRate 9600, 19200, 38400, 57600 or 115200; another rate is sent to the
 *                 stations as 9600 (code 0).
 * @return 1 when every found station answers at the new rate, -1 otherwise.
 * @par Errors
 * CORVEXLINK_ERR_NO_PORT (25) "Commands cannot be sent before a COM port is open" when no
 * port was ever opened; CORVEXLINK_ERR_BAUD_RATE_CHANGE (30)
 * "Can Not Change the Baud Rate to the Address : a" with the hexadecimal digit of the first
 * station that did not answer; on a raw TCP line the same number with
 * "Can Not Change the Baud Rate on tcp://HOST:PORT: a raw TCP line keeps the rate ..." (the
 * rate its server is set to; rfc2217:// can change it), refused before anything is sent, so
 * the stations stay at the rate the host reaches them by.
 * @par Example
 * @code
 * GetConnectedControllers(found);
 * if (ZelmarChangeBaudRate(19200) == -1)
 *     puts(ZelmarGetErrorMessage());
 * @endcode
 */
CORVEXLINK_API int ZelmarChangeBaudRate(int baudRate);

/** @} */

/* ---------------------------------------------------------------------------------
 * Diagnostics
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-diagnostics Diagnostics
 * @ingroup corvexlink
 * @brief The library's debug lines (time-outs and retries, write failures, a lost line) and
 * the frame trace.
 * @{
 */

/** Receives one debug line of the library (with its trailing newline) and the `context`
 * given to CorvexLinkSetDebugHandler(). Called on the thread that produced the line: the
 * caller's thread, or the library's receive thread. The text is valid only during the call.
 * The handler must return quickly and must not call CorvexLink functions. */
typedef void (*CorvexLinkDebugHandler)(const char *line, void *context);

/**
 * Sends the library's debug lines to `handler` instead of the default sink.
 *
 * By default the lines (time-outs and retries, write failures, a lost line, refused
 * thread priorities, a GUI module that could not be loaded) are written to stderr
 * when the environment variable CORVEXLINK_DEBUG is 1, and dropped otherwise. With a
 * handler set, every line goes to the handler alone, whatever CORVEXLINK_DEBUG says.
 *
 * Debug lines of every line go to the one handler; those of a line other than the default
 * one end with " [line <device>]". Removing or replacing the handler waits until no other
 * thread is inside a call of the old one, so the caller may free its context as soon as
 * this returns.
 *
 * @param handler the function to call with each line, or NULL to restore the default.
 * @param context passed unchanged to every call of `handler`; may be NULL.
 * @return 1 (setting a handler cannot fail).
 * @par Errors
 * None; the error state is not changed.
 * @par Example
 * @code
 * static void toLog(const char *line, void *context) { fputs(line, (FILE *)context); }
 * CorvexLinkSetDebugHandler(toLog, logFile);
 * @endcode
 */
CORVEXLINK_API int CorvexLinkSetDebugHandler(CorvexLinkDebugHandler handler, void *context);

/** A frame written to the line; `bytes` are the frame as sent (a lone CR included). */
#define CORVEXLINK_TRACE_SENT 0
/** An answer taken up by a command; `bytes` are the answer as received. */
#define CORVEXLINK_TRACE_RECEIVED 1
/** A frame that got no answer is sent again; `bytes` are the frame. */
#define CORVEXLINK_TRACE_REPEAT 2
/** A frame got no answer in the end; `bytes` are the frame. */
#define CORVEXLINK_TRACE_TIMEOUT 3

/** One event of the frame trace (see CorvexLinkSetTraceHandler()). */
typedef struct CorvexLinkTraceEvent {
    int kind;                   /**< CORVEXLINK_TRACE_SENT, _RECEIVED, _REPEAT or _TIMEOUT */
    const unsigned char *bytes; /**< the bytes of the event; valid only during the call */
    size_t length;              /**< the number of bytes */
    uint64_t timestampNs;       /**< when it happened, in ns of a monotonic clock */
    int64_t sinceSentNs;        /**< RECEIVED and TIMEOUT: ns since the frame was sent; else -1 */
    const char *line; /**< the line's device name ("COM1", "/dev/ttyUSB0"); valid only during
                           the call */
} CorvexLinkTraceEvent;

/** Receives one event of the frame trace and the `context` given to
 * CorvexLinkSetTraceHandler(). */
typedef void (*CorvexLinkTraceHandler)(const CorvexLinkTraceEvent *event, void *context);

/**
 * Shows every frame on the line to `handler`: each frame sent, each answer taken up, and
 * the repeats and time-outs, with the raw bytes and a monotonic timestamp (for answers and
 * time-outs also the time since the frame was sent).
 *
 * The events of a call are handed over, in the order they happened, on the thread that
 * made the call, once the call has released the line: never while the line is held, so a
 * slow handler delays only its own thread and loses no answer, and a handler may call
 * CorvexLink functions (their own events follow once they return). A stop served between
 * another thread's transactions (see MotorStop()) hands over its events on the stopping
 * thread. With no handler set the trace costs nothing measurable.
 *
 * The handler sees the default line's frames; each line has a handler of its own
 * (CorvexLinkLineSetTraceHandler()). Removing or replacing a handler waits until no other
 * thread is inside a call of the old one, so the caller may free its context as soon as
 * this returns; a handler may remove itself.
 *
 * @param handler the function to call with each event, or NULL to stop the trace.
 * @param context passed unchanged to every call of `handler`; may be NULL.
 * @return 1 (setting a handler cannot fail).
 * @par Errors
 * None; the error state is not changed.
 * @par Example
 * @code
 * static void show(const CorvexLinkTraceEvent *e, void *context) {
 *     fprintf((FILE *)context, "%d %.*s\n", e->kind, (int)e->length, (const char *)e->bytes);
 * }
 * CorvexLinkSetTraceHandler(show, stderr);
 * @endcode
 */
CORVEXLINK_API int CorvexLinkSetTraceHandler(CorvexLinkTraceHandler handler, void *context);

/** @} */

/* ---------------------------------------------------------------------------------
 * Lines
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-lines Lines
 * @ingroup corvexlink
 * @brief Several serial lines in one program: each opened by name, each call with its own
 * result.
 *
 * The library keeps any number of lines. Each has its own device, receive worker, station
 * table and remembered settings, export lock, stop order and frame trace: calls on
 * different lines run at the same time, a stop on one line never waits for work on another,
 * and a line that is lost, stalled or closed leaves the others alone.
 *
 * The specified functions (PortOpen(), MotorStop(), ...) act on the **default line**, one
 * of these lines, whose handle CorvexLinkDefaultLine() gives; a program may mix both.
 * Every command has a **line form** that takes the line first and is named after it:
 * CorvexLinkLine followed by the function's name, without the maker's prefix `Zelmar`
 * (MotorGetPosition() and CorvexLinkLineMotorGetPosition(), ZelmarGetErrorMessage() and
 * CorvexLinkLineGetErrorMessage()); see @ref corvexlink-line-forms.
 *
 * **Errors are per thread and per line.** A line form reports into a state of the calling
 * thread's own for that line: CorvexLinkLineGetNumberError(),
 * CorvexLinkLineGetErrorMessage(), CorvexLinkLineGetValue() and
 * CorvexLinkLineGetLastestCommand() read the calling thread's last call on the line, so no
 * thread ever reads another thread's error, nor one line's error for another. (The
 * specified functions keep one shared error state on the default line, as they always
 * have.) The text of CorvexLinkLineGetErrorMessage() stays valid until the calling thread's
 * next call on that line.
 *
 * **Lifetime.** A handle stays valid until CorvexLinkLineClose(). Closing a line while
 * other threads call it or stop on it makes those calls fail with
 * CORVEXLINK_ERR_LINE_CLOSED (37) "The line is closed" once their transaction under way has
 * ended; a handle is never reused, so passing a closed handle (or NULL) is always safe and
 * fails the same way. Unloading the library or leaving the program closes every line that
 * is still open once its calls under way end (within about a second each).
 *
 * **Debug and trace lines** name their line: a debug line of a line other than the default
 * one ends with " [line <device>]", and every trace event carries the line's device name.
 *
 * @par Example
 * @code
 * CorvexLinkLine *a = NULL, *b = NULL;
 * CorvexLinkResult result;
 * if (CorvexLinkLineOpen("/dev/ttyUSB0", 9600, &a, &result) != 1 ||
 *     CorvexLinkLineOpen("rfc2217://bench-2:4001", 19200, &b, &result) != 1) {
 *     fprintf(stderr, "%s\n", result.message);  // names the device and the reason
 *     return 1;
 * }
 * CorvexLinkLineMotorNumberStepRel(a, "0", 2000);    // both lines at once
 * CorvexLinkLineMotorNumberStepRel(b, "3", -500);
 * int32_t position;
 * if (CorvexLinkLineMotorGetPosition(b, "3", &position) != 1)
 *     fprintf(stderr, "%s\n", CorvexLinkLineGetErrorMessage(b));
 * CorvexLinkLineClose(a);
 * CorvexLinkLineClose(b);
 * @endcode
 * @{
 */

/**
 * Opens a line on the device `device` at `baudRate`: 8 data bits, no parity, one stop bit,
 * no flow control, for exclusive use, and starts its receive worker. Waits 300 ms after
 * opening so the stations settle.
 *
 * The device is named directly, with no environment variable to set:
 *   - "COM3" (any case) or "3": the device that PortOpen(3, ...) opens (see PortDevice());
 *   - a device path, "/dev/ttyUSB0" or "/dev/serial/by-id/...";
 *   - a network line, "rfc2217://host:port" or "tcp://host:port" (see the README).
 *
 * @param device   the device name; not NULL.
 * @param baudRate one of the line rates 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600 or
 *                 115200.
 * @param line     receives the new line's handle on success, NULL on failure; not NULL.
 * @param result   receives the outcome (on failure: the error number, the message, the
 *                 device the name led to and the reason); may be NULL.
 * @return 1 when the line is open, -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_OPEN_FAILED (36) "Unable to open COM port: <device>: <reason>", with
 * CorvexLinkResult::reason CORVEXLINK_OPEN_NO_DEVICE, _PERMISSION_DENIED, _IN_USE (the
 * device is held by another program or another line), _REFUSED, _TIMED_OUT,
 * _MALFORMED_NAME (also a NULL `device` or `line`, a rate that is not a line rate),
 * _NOT_SERIAL or _OTHER.
 */
CORVEXLINK_API int CorvexLinkLineOpen(const char *device, int baudRate, CorvexLinkLine **line,
                                      CorvexLinkResult *result);

/**
 * Opens the line's device again, at the line's rate, after it was lost (or at any time):
 * closes it first when it is open. The station table and the remembered settings stay, the
 * handle stays the same. For the default line this is PortOpen() with the selected port and
 * rate.
 *
 * @param line   the line.
 * @param result receives the outcome as CorvexLinkLineOpen() fills it; may be NULL.
 * @return 1 when the line is open again, -1 on failure (the line then counts as not open).
 * @par Errors
 * As CorvexLinkLineOpen(); CORVEXLINK_ERR_LINE_CLOSED (37) for a closed line.
 */
CORVEXLINK_API int CorvexLinkLineReopen(CorvexLinkLine *line, CorvexLinkResult *result);

/**
 * Closes a line: calls of other threads under way on it end after their current
 * transaction (their further steps fail with CORVEXLINK_ERR_LINE_CLOSED), then the device is
 * released. The handle names no line afterwards. Closing the default line's handle closes
 * its port as PortClose() does (without its 300 ms wait); its handle stays valid.
 *
 * @param line the line.
 * @return 1 when the line was closed, -1 when the handle names no open line.
 * @par Errors
 * CORVEXLINK_ERR_LINE_CLOSED (37), in the calling thread's state for that handle.
 */
CORVEXLINK_API int CorvexLinkLineClose(CorvexLinkLine *line);

/**
 * The handle of the default line, on which the specified functions act.
 *
 * @return the default line's handle; never NULL, valid for the life of the process.
 */
CORVEXLINK_API CorvexLinkLine *CorvexLinkDefaultLine(void);

/**
 * The line's state.
 *
 * @param line the line.
 * @return CORVEXLINK_LINE_OPEN, CORVEXLINK_LINE_LOST, CORVEXLINK_LINE_NOT_OPEN, or
 *         CORVEXLINK_LINE_INVALID when the handle names no line. Does not wait for calls
 *         under way.
 */
CORVEXLINK_API int CorvexLinkLineGetState(CorvexLinkLine *line);

/**
 * The name of the line's device as it was given to CorvexLinkLineOpen() ("COM<n>" of the
 * selected port for the default line).
 *
 * @param line   the line.
 * @param device receives the name with its NUL.
 * @param size   the size of `device`; CORVEXLINK_PORT_PATH_SIZE takes every name.
 * @return 1, or -1 when the handle names no line, `device` is NULL or `size` too small.
 */
CORVEXLINK_API int CorvexLinkLineGetDevice(CorvexLinkLine *line, char *device, int size);

/**
 * The stations the line's last scan found, as GetConnectedControllers() lists them
 * ("0,1,2,3,N,N,..."), without probing again: what a program stops all at once without
 * scanning first. All "N" before the first scan.
 *
 * @param line   the line.
 * @param buffer at least CORVEXLINK_CONTROLLER_LIST_SIZE bytes.
 * @return 1, or -1 when the handle names no line or `buffer` is NULL.
 */
CORVEXLINK_API int CorvexLinkLineKnownControllers(CorvexLinkLine *line, char *buffer);

/**
 * Shows every frame on `line` to `handler`, as CorvexLinkSetTraceHandler() does for the
 * default line; each line has its own handler.
 *
 * @param line    the line.
 * @param handler the function to call with each event, or NULL to stop the trace.
 * @param context passed unchanged to every call of `handler`; may be NULL.
 * @return 1, or -1 when the handle names no line.
 */
CORVEXLINK_API int CorvexLinkLineSetTraceHandler(CorvexLinkLine *line,
                                                 CorvexLinkTraceHandler handler, void *context);

/**
 * The library's exports, one line each, for programs that bind the library at run time (the
 * Python package declares its functions from it), each of four fields between bars:
 * `since|result type|name|(parameter list)`, the parameter list as C declares it, `since`
 * the package version that first carried the export.
 *
 * @return a text of the library that stays valid; never NULL.
 */
CORVEXLINK_API const char *CorvexLinkGetExports(void);

/**
 * The constants of this header with their values, one a line: "NAME=value" (the value as
 * the header writes it, "(-1)" or "0x001" included), for programs in other languages that
 * check values before calling (the limits), or name the error numbers, reasons and states,
 * without a copy of their own.
 *
 * @return a text of the library that stays valid; never NULL.
 */
CORVEXLINK_API const char *CorvexLinkGetConstants(void);

/** @} */

/* ---------------------------------------------------------------------------------
 * Motion, position, encoder, status and power
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-motion Motion, position, encoder, status and power
 * @ingroup corvexlink
 * @brief One station's (or a group's) current, speeds, moves, counters, status register
 * and power.
 *
 * Every function takes an address text first (see @ref corvexlink_addresses); those
 * marked "single station" refuse a list or ALL with
 * "Broadcasting not allowed in this command". Each returns 1 on success and -1 on failure,
 * with the station's answer codes and the transport errors of @ref corvexlink_errors.
 * @{
 */

/**
 * Sets the winding current of one motor through its board's SPI bus. Single station.
 *
 * The current becomes an 8-bit code (50 mA gives 5, 1000 mA 113, 2000 mA 227) that goes,
 * with the motor's place on the board, to the board's user-I/O controller (address 4k+1)
 * as an SPI write; then that controller's outputs are written 0 and back to the board's
 * user output word (see WriteDigitalUserIO()). The current is remembered for
 * MotorStationsInit() as soon as current and address are valid, even if sending fails.
 *
 * @param address   the station (single station).
 * @param milliamps the current, 50 to 2000 mA.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * "Wrong Current Value need to be from 50(mA) to 2000 (mA)" for another current, checked
 * before the address, nothing sent; address errors; transport errors.
 * @par Example
 * @code
 * MotorSetCurrent("6", 1000);   // sends _5U1137, _5W0, _5W4096
 * @endcode
 */
CORVEXLINK_API int MotorSetCurrent(const char *address, int milliamps);

/**
 * Sends the slew rate, first rate and acceleration in one call: three commands, no range
 * checks. The first failure ends the call; commands already sent stay sent.
 *
 * @param address   the station (single station).
 * @param slewRate  the slew (top) rate in steps/s.
 * @param firstRate the first (start) rate in steps/s.
 * @param accel     the acceleration.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorSpeed("0", 600, 50, 1);
 * @endcode
 */
CORVEXLINK_API int MotorSpeed(const char *address, int slewRate, int firstRate, int accel);

/**
 * Sends the mode value: a step mode combined with option bits.
 *
 * @param address the station (single station).
 * @param mode    36 (biphasic), 34 (monophasic), 33 (half step) or 8 (external driver),
 *                or'ed with 0x10 (shaft-encoder movements), 0x40 (FIFO profile) and 0x80
 *                (home seek).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorConfigureMode("0", 33 | 0x40);   // half step, FIFO profile
 * @endcode
 */
CORVEXLINK_API int MotorConfigureMode(const char *address, int mode);

/**
 * The direction last set with MotorDirection() for the address. The station is not
 * asked; MotorJog() does not change it.
 *
 * @param address the station (single station).
 * @return 1 for '+' (also before any MotorDirection()), 0 for '-', -1 on an address error.
 * @par Errors
 * Address errors.
 * @par Example
 * @code
 * if (GetMotorDirection("2") == 0) puts("counter-clockwise");
 * @endcode
 */
CORVEXLINK_API int GetMotorDirection(const char *address);

/**
 * Sets the direction of the next moves. The direction is remembered for
 * GetMotorDirection() before it is sent, also when the station refuses it.
 *
 * @param address the station (single station).
 * @param flag    non-zero for '+' (clockwise), 0 for '-'.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A running motor answers CORVEXLINK_ERR_RUNNING_DIRECTION (8); address errors; transport errors.
 * @par Example
 * @code
 * MotorDirection("1", 0);
 * @endcode
 */
CORVEXLINK_API int MotorDirection(const char *address, int flag);

/**
 * Sets the slew (top) rate.
 *
 * @param address the station (single station).
 * @param rate    16 to 8500 steps/s.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * "Wrong Slew Rate Value must be between 16 to 8500" for another rate, nothing sent;
 * address errors; transport errors.
 * @par Example
 * @code
 * MotorSlewRate("3", 600);   // _3R600
 * @endcode
 */
CORVEXLINK_API int MotorSlewRate(const char *address, int rate);

/**
 * Sets the first (start) rate.
 *
 * @param address the station (single station).
 * @param rate    16 to 8500 steps/s.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * "Wrong First Rate Value must be between 16 to 8500" for another rate, nothing sent;
 * address errors; transport errors.
 * @par Example
 * @code
 * MotorFirstRate("3", 50);
 * @endcode
 */
CORVEXLINK_API int MotorFirstRate(const char *address, int rate);

/**
 * Sets the acceleration and deceleration.
 *
 * @param address the station (single station).
 * @param accel   0 to 255.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * "Wrong Acceleration Value must be between 0 to 255, for TRAPEZOIDAL MODE" for another
 * value, nothing sent; address errors; transport errors.
 * @par Example
 * @code
 * MotorAccelDecel("3", 1);
 * @endcode
 */
CORVEXLINK_API int MotorAccelDecel(const char *address, int accel);

/**
 * Sets the jog speed used by MotorJog().
 *
 * @param address the station, a list or ALL.
 * @param speed   the jog speed in steps/s (sent as given).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorChangeJogSpeed("0,1,2,3", 600);
 * @endcode
 */
CORVEXLINK_API int MotorChangeJogSpeed(const char *address, int speed);

/**
 * Starts a relative move with the rates and acceleration set before.
 *
 * @param address the station (single station).
 * @param steps   the signed number of steps (positive clockwise).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A motor still moving answers CORVEXLINK_ERR_MOTOR_RUNNING (6); address errors; transport errors.
 * @par Example
 * @code
 * MotorNumberStepRel("2", -2000);
 * @endcode
 */
CORVEXLINK_API int MotorNumberStepRel(const char *address, int32_t steps);

/**
 * Moves to an absolute position of the position counter.
 *
 * @param address  the station (single station).
 * @param position the target position in steps.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorGoAbsPos("0", 3200);
 * @endcode
 */
CORVEXLINK_API int MotorGoAbsPos(const char *address, int32_t position);

/**
 * Sets the jog direction and starts jogging at the jog speed until MotorStop(). Two
 * commands; the direction that GetMotorDirection() reports is not changed.
 *
 * @param address   the station, a list or ALL.
 * @param direction 1 for '+', anything else for '-'.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorJog("0,1", 1);   // 0003+ then 0003J
 * @endcode
 */
CORVEXLINK_API int MotorJog(const char *address, int direction);

/**
 * Repeats the last move.
 *
 * @param address the station (single station).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorRepeat("0");
 * @endcode
 */
CORVEXLINK_API int MotorRepeat(const char *address);

/**
 * Stops the motor at once (also a jog or a running program).
 *
 * A stop does not wait behind another thread's call. While another thread runs any
 * function (a scan, an initialisation, a baud-rate change, a FIFO function waiting for
 * room, an all-channel reading...), the stop is sent at the next boundary between that
 * call's transactions, never inside one, and that call then goes on exactly as it would
 * have: its result, its frames and the library's state are those of an uninterrupted
 * call, apart from the stop's own frame and answer. The stop's result and error state
 * are its own: ZelmarGetNumberError(), ZelmarGetErrorMessage(), ZelmarGetValue() and
 * GetLastestCommand() on the stopping thread report them until that thread calls another
 * function; the other call's state is untouched. Several stops waiting so go out in the
 * order they were called, before the other call's next transaction. A stop called while
 * no other call runs is an ordinary call.
 *
 * From the call to the stop's frame on the wire it waits at most for the rest of one
 * transaction of the running call (its frame, the wait for its answer, and for a silent
 * station the repeat with two more waits, after at most one wait for a late duplicate
 * answer), then its own frame of four bytes: 850 ms plus the wire time of 133 bytes. On a
 * line that takes its bytes that is, by rate:
 *
 *   | rate   | at most  | during a scan (a silent probe) |
 *   |--------|----------|--------------------------------|
 *   | 300    | 5.28 s   | 0.43 s                         |
 *   | 1200   | 1.96 s   | 0.26 s                         |
 *   | 2400   | 1.40 s   | 0.23 s                         |
 *   | 4800   | 1.13 s   | 0.22 s                         |
 *   | 9600   | 0.99 s   | 0.21 s                         |
 *   | 19200  | 0.92 s   | 0.20 s                         |
 *   | 38400  | 0.89 s   | 0.20 s                         |
 *   | 57600  | 0.87 s   | 0.20 s                         |
 *   | 115200 | 0.86 s   | 0.20 s                         |
 *
 * @param address the station (single station).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorStop("7");   // _7H
 * @endcode
 */
CORVEXLINK_API int MotorStop(const char *address);

/**
 * Resets the controller: stops it and brings its counters, rates and mode back to their
 * power-on values. A reset station listens at 9600 baud.
 *
 * @param address the station, a list or ALL.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorSoftReset("ALL");
 * @endcode
 */
CORVEXLINK_API int MotorSoftReset(const char *address);

/**
 * Reads the position counter. The station answers a 24-bit sign-and-magnitude count;
 * values above 8388608 are returned as 8388608 minus the value (8388609 gives -1).
 *
 * @param address  the station (single station).
 * @param position receives the position; set to 0 first, stays 0 when the call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A NULL `position` gives "Wrong Address in list"; address errors; transport errors.
 * @par Example
 * @code
 * int32_t pos;
 * if (MotorGetPosition("0", &pos) == 1) printf("%d\n", pos);
 * @endcode
 */
CORVEXLINK_API int MotorGetPosition(const char *address, int32_t *position);

/**
 * Sets the position counter.
 *
 * @param address  the station (single station).
 * @param position the new counter value.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorSetPosition("0", 0);
 * @endcode
 */
CORVEXLINK_API int MotorSetPosition(const char *address, int32_t position);

/**
 * Sets the number of steps the shaft encoder may lag before the controller reports a
 * failure.
 *
 * @param address the station (single station).
 * @param steps   the step-failure count.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorEncoderFailsStep("0", 20);
 * @endcode
 */
CORVEXLINK_API int MotorEncoderFailsStep(const char *address, int32_t steps);

/**
 * Reads the status register.
 *
 * @param address the station (single station).
 * @param status  receives the CORVEXLINK_STATUS_ bits; set to 0 first, stays 0 when the
 *                call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A NULL `status` gives "Wrong Address in list"; address errors; transport errors.
 * @par Example
 * @code
 * int32_t st;
 * if (MotorGetStatusRegister("3", &st) == 1 && (st & CORVEXLINK_STATUS_RUNING))
 *     puts("motor 4 is moving");
 * @endcode
 */
CORVEXLINK_API int MotorGetStatusRegister(const char *address, int32_t *status);

/**
 * Sets the encoder counter.
 *
 * @param address the station (single station).
 * @param count   the new counter value.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * EncoderSetPosition("0", 0);
 * @endcode
 */
CORVEXLINK_API int EncoderSetPosition(const char *address, int32_t count);

/**
 * Reads the encoder counter, converted like the position (see MotorGetPosition()).
 *
 * @param address the station (single station).
 * @param count   receives the count; set to 0 first, stays 0 when the call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A NULL `count` gives "Wrong Address in list"; address errors; transport errors.
 * @par Example
 * @code
 * int32_t enc;
 * EncoderGetPosition("0", &enc);
 * @endcode
 */
CORVEXLINK_API int EncoderGetPosition(const char *address, int32_t *count);

/**
 * Switches the winding power on.
 *
 * @param address the station, a list or ALL.
 * @param value   the power value (1 for full power).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorPowerON("ALL", 1);
 * @endcode
 */
CORVEXLINK_API int MotorPowerON(const char *address, int value);

/**
 * Switches the winding power off; a motor without power refuses moves with
 * CORVEXLINK_ERR_CANNOT_EXECUTE (9).
 *
 * @param address the station, a list or ALL.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorPowerOFF("0,1");
 * @endcode
 */
CORVEXLINK_API int MotorPowerOFF(const char *address);

/**
 * The speed in steps/s that a station really runs at when asked for `speed`: the station
 * divides its 921600 Hz step clock by a whole number, so most speeds are rounded. Sends
 * nothing.
 *
 * @param speed the requested speed, 16 to 10239 steps/s; a request below 16 is answered
 *              as for 16, one above 10239 as for 10239.
 * @return the speed the station runs at (600 gives 599, 8500 gives 8533, 10239 gives
 *         10240).
 * @par Errors
 * None; the error state is not changed.
 * @par Example
 * @code
 * printf("%d\n", GetFixedSpeed(1000));   // 999
 * @endcode
 */
CORVEXLINK_API int GetFixedSpeed(int speed);

/** @} */

/* ---------------------------------------------------------------------------------
 * Discovery and initialisation
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-discovery Discovery and initialisation
 * @ingroup corvexlink
 * @brief Which addresses answer, and bringing every found station to a known state.
 *
 * GetConnectedControllers() fills the library's station table, which
 * MotorStationsInit() and ZelmarChangeBaudRate() walk.
 * @{
 */

/**
 * Probes addresses 0 to 15, one after the other (a silent address costs 200 ms), keeps
 * which answered in the station table and writes the list into `buffer`: sixteen
 * comma-separated entries, the decimal address or N, with no trailing comma.
 *
 * @param buffer receives the list; at least CORVEXLINK_CONTROLLER_LIST_SIZE (38) bytes, at
 *               most 38 are written.
 * @return 1; -1 only for a NULL buffer.
 * @par Errors
 * A NULL buffer gives "Wrong Address in list". A silent address is simply N, but the
 * time-out of its probe (CORVEXLINK_ERR_NO_ANSWER, 26 "WriteSP: COM port timed out") stays in the
 * error state until a later failure replaces it.
 * @par Example
 * @code
 * char found[CORVEXLINK_CONTROLLER_LIST_SIZE];
 * GetConnectedControllers(found);   // "0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N"
 * @endcode
 */
CORVEXLINK_API int GetConnectedControllers(char *buffer);

/**
 * Probes one address (up to 200 ms).
 *
 * @param address the station (single station).
 * @return 1 when the station answers, -1 otherwise.
 * @par Errors
 * Address errors (a list or ALL is refused without a probe); CORVEXLINK_ERR_NO_ANSWER (26)
 * "WriteSP: COM port timed out" when it does not answer.
 * @par Example
 * @code
 * for (int a = 4; a < 8; ++a) {
 *     char text[4];
 *     snprintf(text, sizeof text, "%d", a);
 *     printf("%d: %s\n", a, CheckControllerAddress(text) == 1 ? "FOUND" : "NOT FOUND");
 * }
 * @endcode
 */
CORVEXLINK_API int CheckControllerAddress(const char *address);

/**
 * Initialises every station that the last GetConnectedControllers() found.
 *
 * Resets them, takes the line to 9600 baud and back to the current rate, sets up each
 * board once (SPI and user I/O of its master and user-I/O controllers), and gives each
 * station its winding current (50 mA unless MotorSetCurrent() changed it), direction '+',
 * slew rate 600, first rate 100, acceleration 50 and half-step mode 33. Call it after a
 * scan.
 *
 * @return 1 when every found station is initialised, -1 at the first failure (stations
 *         done before stay done).
 * @par Errors
 * CORVEXLINK_ERR_INIT_FAILED (50) with the failed step's message followed by the decimal address,
 * for example "Can Not Reset Motor Address: 3" or
 * "Can Not Set Default Motor Speed, Ctrlr. Address: 2"; a failed return to the current rate
 * keeps CORVEXLINK_ERR_BAUD_RATE_CHANGE (30) of ZelmarChangeBaudRate().
 * @par Example
 * @code
 * GetConnectedControllers(found);
 * if (MotorStationsInit() == -1) puts(ZelmarGetErrorMessage());
 * @endcode
 */
CORVEXLINK_API int MotorStationsInit(void);

/** @} */

/* ---------------------------------------------------------------------------------
 * Group trigger and pause (motor lists: "0", "1,5", ...; not ALL)
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-trigger Group trigger and pause
 * @ingroup corvexlink
 * @brief The trigger and pause lines of listed motors, switched together.
 *
 * Each board has a trigger and a pause line per motor, driven by its master controller.
 * These calls switch the lines of the listed motors (a motor list: "0", "1,5", ...;
 * addresses 0 to 15, at most 39 characters, not ALL) in the library's copy, then send the
 * line state of all four boards to the masters of the boards concerned in one command.
 *
 * @par Errors
 * A piece that is not a number gives -1 without a message and changes nothing; an
 * address above 15, a NULL or over-long list gives "Wrong Address in list". An empty list
 * changes nothing and addresses nobody (CORVEXLINK_ERR_NO_ANSWER). The library's copy keeps the
 * change when sending fails (transport errors).
 * @{
 */

/**
 * Raises the trigger line of each listed motor.
 *
 * @param motors the motor list.
 * @return 1 on success, -1 on failure (see the family's errors).
 * @par Example
 * @code
 * MotorTriggerON("0,1,2,3");
 * @endcode
 */
CORVEXLINK_API int MotorTriggerON(const char *motors);

/**
 * Lowers the trigger line of each listed motor.
 *
 * @param motors the motor list.
 * @return 1 on success, -1 on failure (see the family's errors).
 * @par Example
 * @code
 * MotorTriggerOFF("0,1,2,3");
 * @endcode
 */
CORVEXLINK_API int MotorTriggerOFF(const char *motors);

/**
 * Raises the pause line of each listed motor: their motion, FIFO and program are held
 * until the pause is lifted.
 *
 * @param motors the motor list.
 * @return 1 on success, -1 on failure (see the family's errors).
 * @par Example
 * @code
 * MotorPauseON("0,1,2,3");
 * @endcode
 */
CORVEXLINK_API int MotorPauseON(const char *motors);

/**
 * Lowers the pause line of each listed motor.
 *
 * @param motors the motor list.
 * @return 1 on success, -1 on failure (see the family's errors).
 * @par Example
 * @code
 * MotorPauseOFF("0,1,2,3");
 * @endcode
 */
CORVEXLINK_API int MotorPauseOFF(const char *motors);

/** @} */

/* ---------------------------------------------------------------------------------
 * User I/O, analog inputs and SPI
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-io User I/O, analog inputs and SPI
 * @ingroup corvexlink
 * @brief The SPI bus and user I/O of the controllers, and the analog inputs of a board.
 *
 * User I/O lists (ConfigureDigitalUserIO(), WriteDigitalUserIO(), FIFOWriteUserIO()):
 * addresses 0 to 15, at most 51 characters, lists and ALL accepted. They may not name a
 * board's master controller (0, 4, 8, 12): CORVEXLINK_ERR_USER_IO_REFUSED (51)
 * "... Address: 4 is not allowed", nothing sent (the text for 0 reads "Address :0" when
 * configuring). Naming a user-I/O controller (1, 5, 9, 13) adds 0x1600 to the
 * configuration or 0x1000 to the output value; the output value is then also kept as that
 * board's user output word (restored by MotorSetCurrent()), even if sending fails. A piece
 * that is not a number gives -1 without a message.
 * @{
 */

/**
 * Configures the controller's SPI port.
 *
 * @param address the station (single station).
 * @param config  the configuration (128 on a master, 198 on a user-I/O controller during
 *                initialisation).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * ConfigureSPI("0", 128);
 * @endcode
 */
CORVEXLINK_API int ConfigureSPI(const char *address, int config);

/**
 * Reads the SPI bus.
 *
 * @param address the station (single station).
 * @param value   receives the value; untouched when the call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Before ConfigureSPI() the station answers CORVEXLINK_ERR_SPI_NOT_CONFIGURED (4), as a
 * slave CORVEXLINK_ERR_SPI_NOT_MASTER (5); a NULL `value`
 * gives "Wrong Address in list"; address errors; transport errors.
 * @par Example
 * @code
 * int32_t v;
 * ReadSPI("1", &v);
 * @endcode
 */
CORVEXLINK_API int ReadSPI(const char *address, int32_t *value);

/**
 * Writes a value on the SPI bus.
 *
 * @param address the station, a list or ALL.
 * @param value   the value, sent as an unsigned 32-bit number.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_SPI_NOT_CONFIGURED and CORVEXLINK_ERR_SPI_NOT_MASTER as for ReadSPI(); address
 * errors; transport errors.
 * @par Example
 * @code
 * WriteSPI("1", 113);
 * @endcode
 */
CORVEXLINK_API int WriteSPI(const char *address, int value);

/**
 * Reads the inputs of the controller's user I/O port.
 *
 * @param address the station (single station).
 * @param inputs  receives the input bits; untouched when the call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A NULL `inputs` gives "Wrong Address in list"; address errors; transport errors.
 * @par Example
 * @code
 * int32_t in;
 * ReadDigitalUserIO("2", &in);
 * @endcode
 */
CORVEXLINK_API int ReadDigitalUserIO(const char *address, int32_t *inputs);

/**
 * Sets the direction of the lines of the listed user I/O ports (a set bit is an output),
 * following the user I/O list rules of this family.
 *
 * @param addresses a user I/O list: controllers 4k+1 to 4k+3, a list or ALL.
 * @param config    the direction bits.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_USER_IO_REFUSED (51)
 * "Configure USERIO to the Controller Address: 4 is not allowed" for a master controller (the
 * first in ascending order); a piece that is not a number: -1 without a message; address
 * errors; transport errors.
 * @par Example
 * @code
 * ConfigureDigitalUserIO("1,2,3", 0xFF);
 * @endcode
 */
CORVEXLINK_API int ConfigureDigitalUserIO(const char *addresses, int config);

/**
 * Writes the outputs of the listed user I/O ports, following the user I/O list rules of
 * this family.
 *
 * @param addresses a user I/O list: controllers 4k+1 to 4k+3, a list or ALL.
 * @param value     the output bits.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_USER_IO_REFUSED (51)
 * "Write USERIO to the Controller Address: 4 is not allowed" for a master controller (the
 * first in ascending order); a piece that is not a number: -1 without a message;
 * address errors; transport errors.
 * @par Example
 * @code
 * WriteDigitalUserIO("5", 0x0F);
 * @endcode
 */
CORVEXLINK_API int WriteDigitalUserIO(const char *addresses, int value);

/**
 * Reads one analog channel of a board.
 *
 * @param master     the board's master controller: "0", "4", "8" or "12".
 * @param resolution 8, 10 or 12 bits.
 * @param channel    0 to 10 for the inputs; 11, 12 and 13 for the half-scale, null and
 *                   full-scale references.
 * @param reading    receives the reading; set to 0 first, stays 0 when the call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * "Wrong ADC Resolution" for another resolution (checked first); "Wrong Address in list"
 * for another address or a NULL `reading`; transport errors.
 * @par Example
 * @code
 * int32_t r;
 * GetADCchannel("0", 10, 3, &r);
 * @endcode
 */
CORVEXLINK_API int GetADCchannel(const char *master, int resolution, int channel, int32_t *reading);

/**
 * Reads all eleven channels of a board in one command.
 *
 * @param master     the board's master controller: "0", "4", "8" or "12".
 * @param resolution 10 or 12 bits.
 * @param values     receives the channels in values[0] to values[10]
 *                   (CORVEXLINK_ADC_CHANNELS elements); elements the station does not
 *                   answer keep their contents, and no more than eleven are ever written.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * "Wrong Address in list" for another address or a NULL `values` (checked first), then
 * "Wrong ADC Resolution" for another resolution; transport errors.
 * @par Example
 * @code
 * int32_t v[CORVEXLINK_ADC_CHANNELS] = {0};
 * ReadAllChannelsADC("4", 12, v);
 * @endcode
 */
CORVEXLINK_API int ReadAllChannelsADC(const char *master, int resolution, int32_t *values);

/** @} */

/* ---------------------------------------------------------------------------------
 * Stored program and FIFO
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-fifo Stored program and FIFO
 * @ingroup corvexlink
 * @brief A station's stored program (record, run once, run in a loop) and its FIFO of
 * queued commands.
 *
 * The FIFO exports (FIFOWriteUserIO() to FIFOMotorWait()) queue one command on one
 * station (single station); on success `*freeBytes` receives the FIFO room left after it.
 * When the station answers that its FIFO is full, the room is polled every 10 ms, at most
 * 91 times, until the command fits (it takes G 1, S 2, W U R F D 3, N T 4 bytes) and the
 * command is sent once more; it is queued only if the station takes that resend.
 *
 * @par Errors of the FIFO exports
 * CORVEXLINK_ERR_FIFO_WAIT_EXPIRED (60)
 * "The Delay of 900 Ms has been expired, and Can NOT Write the Command TO FIFO" when the room
 * never comes (after about a second);
 * CORVEXLINK_ERR_FIFO_FULL (3) "FIFO FULL ..." when the resend is
 * refused again; a NULL `freeBytes` gives "Wrong Address in list"; address errors;
 * transport errors. On a failed transaction the motion forms write ZelmarGetValue() into
 * `*freeBytes`; FIFOWriteSPI() and FIFOWriteUserIO() leave it alone.
 * @{
 */

/**
 * Clears the stored program and starts recording: the following commands are stored, not
 * run.
 *
 * @param address the station (single station).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * EnterProgMode("0");
 * MotorNumberStepRel("0", 400);
 * MotorWait("0", 500);
 * ProgramLoop("0");
 * @endcode
 */
CORVEXLINK_API int EnterProgMode(const char *address);

/**
 * Ends recording and runs the stored program once.
 *
 * @param address the station (single station).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * ExecStoredProg("0");
 * @endcode
 */
CORVEXLINK_API int ExecStoredProg(const char *address);

/**
 * Runs the stored program in a loop until MotorStop() or MotorSoftReset().
 *
 * @param address the station (single station).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * ProgramLoop("0");
 * @endcode
 */
CORVEXLINK_API int ProgramLoop(const char *address);

/**
 * Records a wait in the stored program.
 *
 * @param address the station (single station).
 * @param wait    the wait, sent as an unsigned 32-bit number.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * MotorWait("0", 500);
 * @endcode
 */
CORVEXLINK_API int MotorWait(const char *address, int wait);

/**
 * Empties the station's FIFO and resets its index counter.
 *
 * @param address the station (single station).
 * @return 1 on success, -1 on failure.
 * @par Errors
 * Address errors; transport errors.
 * @par Example
 * @code
 * FIFOReset("0");
 * @endcode
 */
CORVEXLINK_API int FIFOReset(const char *address);

/**
 * Reads how many FIFO entries have finished since the last FIFOReset().
 *
 * @param address the station (single station).
 * @param index   receives the index counter, low 16 bits; set to 0 first, stays 0 when
 *                the call fails. ZelmarGetValue() then returns the same masked value.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A NULL `index` gives "Wrong Address in list"; address errors; transport errors.
 * @par Example
 * @code
 * int32_t done;
 * FIFOGetIndexCounter("0", &done);
 * @endcode
 */
CORVEXLINK_API int FIFOGetIndexCounter(const char *address, int32_t *index);

/**
 * Reads the free room of the FIFO.
 *
 * @param address   the station (single station).
 * @param freeBytes receives the room in bytes; set to 0 first, stays 0 when the call
 *                  fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A NULL `freeBytes` gives "Wrong Address in list"; address errors; transport errors.
 * @par Example
 * @code
 * int32_t room;
 * FIFOGetRemainingBytes("0", &room);
 * @endcode
 */
CORVEXLINK_API int FIFOGetRemainingBytes(const char *address, int32_t *freeBytes);

/**
 * Queues an output write of a user I/O port (the user I/O list rules of
 * @ref corvexlink-io apply: CORVEXLINK_ERR_USER_IO_REFUSED for a master controller).
 *
 * @param address   the user-I/O controller (single station).
 * @param value     the output bits.
 * @param freeBytes receives the FIFO room left; untouched when the call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * CORVEXLINK_ERR_USER_IO_REFUSED (51) for a master controller; the errors of the FIFO exports (see
 * the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOWriteUserIO("1", 0x10, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOWriteUserIO(const char *address, int value, int32_t *freeBytes);

/**
 * Queues an SPI write.
 *
 * @param address   the station (single station).
 * @param value     the value, sent as an unsigned 32-bit number.
 * @param freeBytes receives the FIFO room left; untouched when the call fails.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * The errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOWriteSPI("1", 113, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOWriteSPI(const char *address, int value, int32_t *freeBytes);

/**
 * Queues a relative move.
 *
 * @param address   the station (single station).
 * @param steps     the signed number of steps.
 * @param freeBytes receives the FIFO room left.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * The errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOMotorNumberStepRel("0", 400, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOMotorNumberStepRel(const char *address, int32_t steps, int32_t *freeBytes);

/**
 * Queues a move to an absolute position.
 *
 * @param address   the station (single station).
 * @param position  the target position in steps.
 * @param freeBytes receives the FIFO room left.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * The errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOMotorGoAbsPos("0", 0, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOMotorGoAbsPos(const char *address, int32_t position, int32_t *freeBytes);

/**
 * Queues a change of the slew rate.
 *
 * @param address   the station (single station).
 * @param rate      the slew rate in steps/s (no range check).
 * @param freeBytes receives the FIFO room left.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * The errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOMotorSlewRate("0", 2000, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOMotorSlewRate(const char *address, int rate, int32_t *freeBytes);

/**
 * Queues a change of the first rate (the start rate of a profile segment).
 *
 * @param address   the station (single station).
 * @param rate      the first rate in steps/s (no range check).
 * @param freeBytes receives the FIFO room left.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * The errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOMotorFirstRate("0", 120, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOMotorFirstRate(const char *address, int rate, int32_t *freeBytes);

/**
 * Queues a slope (speed change per step). The slope travels as one byte: a negative slope
 * s is sent as 256 + s (-1 as 255).
 *
 * @param address   the station (single station).
 * @param slope     -256 to 255.
 * @param freeBytes receives the FIFO room left.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * A slope outside -256..255 cannot be sent as meant and is refused with
 * "Wrong Acceleration Value must be between 0 to 255, for TRAPEZOIDAL MODE", nothing sent; the
 * errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOMotorSlope("0", 3, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOMotorSlope(const char *address, int slope, int32_t *freeBytes);

/**
 * Queues a repeat of the last move (as MotorRepeat()).
 *
 * @param address   the station (single station).
 * @param freeBytes receives the FIFO room left.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * The errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOMotorRepeat("0", &room);
 * @endcode
 */
CORVEXLINK_API int FIFOMotorRepeat(const char *address, int32_t *freeBytes);

/**
 * Queues a wait.
 *
 * @param address   the station (single station).
 * @param wait      the wait, sent as an unsigned 32-bit number.
 * @param freeBytes receives the FIFO room left.
 * @return 1 on success, -1 on failure.
 * @par Errors
 * The errors of the FIFO exports (see the family).
 * @par Example
 * @code
 * int32_t room;
 * FIFOMotorWait("0", 250, &room);
 * @endcode
 */
CORVEXLINK_API int FIFOMotorWait(const char *address, int wait, int32_t *freeBytes);

/** @} */

/* ---------------------------------------------------------------------------------
 * Line forms
 * -------------------------------------------------------------------------------*/

/**
 * @defgroup corvexlink-line-forms Line forms
 * @ingroup corvexlink
 * @brief Every command on a line of the caller's choice (see @ref corvexlink-lines).
 *
 * Each takes the line first and otherwise behaves exactly as the function it is named
 * after: the same arguments, checks, frames, results and error numbers. It reports into
 * the calling thread's own state for that line, which the line forms of the error getters
 * read. A line that is closed (or NULL) fails with CORVEXLINK_ERR_LINE_CLOSED (37).
 * @{
 */

/**
 * The line form of ZelmarGetBaudRate(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @return as ZelmarGetBaudRate(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetBaudRate(CorvexLinkLine *line);

/**
 * The line form of WriteCommandtoKX4417(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param command the command text, at most 62 characters.
 * @return as WriteCommandtoKX4417(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineWriteCommandtoKX4417(CorvexLinkLine *line, const char *command);

/**
 * The line form of ZelmarGetValue(): the same on `line`, reading the calling thread's own
 * last  call on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @return as ZelmarGetValue(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetValue(CorvexLinkLine *line);

/**
 * The line form of ZelmarGetNumberError(): the same on `line`, reading the calling thread's
 * own last call on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @return as ZelmarGetNumberError(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetNumberError(CorvexLinkLine *line);

/**
 * The line form of ZelmarGetErrorMessage(): the same on `line`, reading the calling thread's
 * own last call on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @return as ZelmarGetErrorMessage(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API const char *CorvexLinkLineGetErrorMessage(CorvexLinkLine *line);

/**
 * The line form of ZelmarGetErrorMessageVb(): the same on `line`, reading the calling
 * thread's  own last call on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param buffer receives the message; at least CORVEXLINK_ERROR_MESSAGE_SIZE (512) bytes.
 * @return as ZelmarGetErrorMessageVb(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetErrorMessageVb(CorvexLinkLine *line, char *buffer);

/**
 * The line form of GetLastestCommand(): the same on `line`, reading the calling thread's own
 * last call on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param buffer receives the frame; at least CORVEXLINK_COMMAND_BUFFER_SIZE (256) bytes.
 * @return as GetLastestCommand(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetLastestCommand(CorvexLinkLine *line, char *buffer);

/**
 * The line form of ZelmarChangeBaudRate(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param baudRate 9600, 19200, 38400, 57600 or 115200; another rate is sent to the stations
 *   as 9600 (code 0).
 * @return as ZelmarChangeBaudRate(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineChangeBaudRate(CorvexLinkLine *line, int baudRate);

/**
 * The line form of MotorSetCurrent(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param milliamps the current, 50 to 2000 mA.
 * @return as MotorSetCurrent(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorSetCurrent(CorvexLinkLine *line, const char *address,
                                                 int milliamps);

/**
 * The line form of MotorSpeed(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param slewRate the slew (top) rate in steps/s.
 * @param firstRate the first (start) rate in steps/s.
 * @param accel the acceleration.
 * @return as MotorSpeed(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorSpeed(CorvexLinkLine *line, const char *address, int slewRate,
                                            int firstRate, int accel);

/**
 * The line form of MotorConfigureMode(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param mode 36 (biphasic), 34 (monophasic), 33 (half step) or 8 (external driver), or'ed
 *   with 0x10 (shaft-encoder movements), 0x40 (FIFO profile) and 0x80 (home seek).
 * @return as MotorConfigureMode(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorConfigureMode(CorvexLinkLine *line, const char *address,
                                                    int mode);

/**
 * The line form of GetMotorDirection(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as GetMotorDirection(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetMotorDirection(CorvexLinkLine *line, const char *address);

/**
 * The line form of MotorDirection(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param flag non-zero for '+' (clockwise), 0 for '-'.
 * @return as MotorDirection(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorDirection(CorvexLinkLine *line, const char *address,
                                                int flag);

/**
 * The line form of MotorSlewRate(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param rate 16 to 8500 steps/s.
 * @return as MotorSlewRate(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorSlewRate(CorvexLinkLine *line, const char *address, int rate);

/**
 * The line form of MotorFirstRate(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param rate 16 to 8500 steps/s.
 * @return as MotorFirstRate(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorFirstRate(CorvexLinkLine *line, const char *address,
                                                int rate);

/**
 * The line form of MotorAccelDecel(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param accel 0 to 255.
 * @return as MotorAccelDecel(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorAccelDecel(CorvexLinkLine *line, const char *address,
                                                 int accel);

/**
 * The line form of MotorChangeJogSpeed(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station, a list or ALL.
 * @param speed the jog speed in steps/s (sent as given).
 * @return as MotorChangeJogSpeed(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorChangeJogSpeed(CorvexLinkLine *line, const char *address,
                                                     int speed);

/**
 * The line form of MotorNumberStepRel(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param steps the signed number of steps (positive clockwise).
 * @return as MotorNumberStepRel(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorNumberStepRel(CorvexLinkLine *line, const char *address,
                                                    int32_t steps);

/**
 * The line form of MotorGoAbsPos(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param position the target position in steps.
 * @return as MotorGoAbsPos(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorGoAbsPos(CorvexLinkLine *line, const char *address,
                                               int32_t position);

/**
 * The line form of MotorJog(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station, a list or ALL.
 * @param direction 1 for '+', anything else for '-'.
 * @return as MotorJog(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorJog(CorvexLinkLine *line, const char *address, int direction);

/**
 * The line form of MotorRepeat(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as MotorRepeat(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorRepeat(CorvexLinkLine *line, const char *address);

/**
 * The line form of MotorStop(): the same on `line`; a stop served between the transactions
 * of  another thread's call on the same line, as MotorStop() is.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as MotorStop(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorStop(CorvexLinkLine *line, const char *address);

/**
 * The line form of MotorSoftReset(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station, a list or ALL.
 * @return as MotorSoftReset(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorSoftReset(CorvexLinkLine *line, const char *address);

/**
 * The line form of MotorGetPosition(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param position receives the position; set to 0 first, stays 0 when the call fails.
 * @return as MotorGetPosition(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorGetPosition(CorvexLinkLine *line, const char *address,
                                                  int32_t *position);

/**
 * The line form of MotorSetPosition(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param position the new counter value.
 * @return as MotorSetPosition(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorSetPosition(CorvexLinkLine *line, const char *address,
                                                  int32_t position);

/**
 * The line form of MotorEncoderFailsStep(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param steps the step-failure count.
 * @return as MotorEncoderFailsStep(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorEncoderFailsStep(CorvexLinkLine *line, const char *address,
                                                       int32_t steps);

/**
 * The line form of MotorGetStatusRegister(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param status receives the CORVEXLINK_STATUS_ bits; set to 0 first, stays 0 when the call
 *   fails.
 * @return as MotorGetStatusRegister(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorGetStatusRegister(CorvexLinkLine *line, const char *address,
                                                        int32_t *status);

/**
 * The line form of EncoderSetPosition(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param count the new counter value.
 * @return as EncoderSetPosition(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineEncoderSetPosition(CorvexLinkLine *line, const char *address,
                                                    int32_t count);

/**
 * The line form of EncoderGetPosition(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param count receives the count; set to 0 first, stays 0 when the call fails.
 * @return as EncoderGetPosition(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineEncoderGetPosition(CorvexLinkLine *line, const char *address,
                                                    int32_t *count);

/**
 * The line form of MotorPowerON(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station, a list or ALL.
 * @param value the power value (1 for full power).
 * @return as MotorPowerON(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorPowerON(CorvexLinkLine *line, const char *address, int value);

/**
 * The line form of MotorPowerOFF(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station, a list or ALL.
 * @return as MotorPowerOFF(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorPowerOFF(CorvexLinkLine *line, const char *address);

/**
 * The line form of GetConnectedControllers(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param buffer receives the list; at least CORVEXLINK_CONTROLLER_LIST_SIZE (38) bytes, at
 *   most 38 are written.
 * @return as GetConnectedControllers(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetConnectedControllers(CorvexLinkLine *line, char *buffer);

/**
 * The line form of CheckControllerAddress(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as CheckControllerAddress(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineCheckControllerAddress(CorvexLinkLine *line, const char *address);

/**
 * The line form of MotorStationsInit(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @return as MotorStationsInit(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorStationsInit(CorvexLinkLine *line);

/**
 * The line form of MotorTriggerON(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param motors the motor list.
 * @return as MotorTriggerON(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorTriggerON(CorvexLinkLine *line, const char *motors);

/**
 * The line form of MotorTriggerOFF(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param motors the motor list.
 * @return as MotorTriggerOFF(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorTriggerOFF(CorvexLinkLine *line, const char *motors);

/**
 * The line form of MotorPauseON(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param motors the motor list.
 * @return as MotorPauseON(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorPauseON(CorvexLinkLine *line, const char *motors);

/**
 * The line form of MotorPauseOFF(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param motors the motor list.
 * @return as MotorPauseOFF(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorPauseOFF(CorvexLinkLine *line, const char *motors);

/**
 * The line form of ConfigureSPI(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param config the configuration (128 on a master, 198 on a user-I/O controller during
 *   initialisation).
 * @return as ConfigureSPI(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineConfigureSPI(CorvexLinkLine *line, const char *address,
                                              int config);

/**
 * The line form of ReadSPI(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param value receives the value; untouched when the call fails.
 * @return as ReadSPI(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineReadSPI(CorvexLinkLine *line, const char *address, int32_t *value);

/**
 * The line form of WriteSPI(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station, a list or ALL.
 * @param value the value, sent as an unsigned 32-bit number.
 * @return as WriteSPI(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineWriteSPI(CorvexLinkLine *line, const char *address, int value);

/**
 * The line form of ReadDigitalUserIO(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param inputs receives the input bits; untouched when the call fails.
 * @return as ReadDigitalUserIO(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineReadDigitalUserIO(CorvexLinkLine *line, const char *address,
                                                   int32_t *inputs);

/**
 * The line form of ConfigureDigitalUserIO(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param addresses a user I/O list: controllers 4k+1 to 4k+3, a list or ALL.
 * @param config the direction bits.
 * @return as ConfigureDigitalUserIO(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineConfigureDigitalUserIO(CorvexLinkLine *line, const char *addresses,
                                                        int config);

/**
 * The line form of WriteDigitalUserIO(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param addresses a user I/O list: controllers 4k+1 to 4k+3, a list or ALL.
 * @param value the output bits.
 * @return as WriteDigitalUserIO(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineWriteDigitalUserIO(CorvexLinkLine *line, const char *addresses,
                                                    int value);

/**
 * The line form of GetADCchannel(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param master the board's master controller: "0", "4", "8" or "12".
 * @param resolution 8, 10 or 12 bits.
 * @param channel 0 to 10 for the inputs; 11, 12 and 13 for the half-scale, null and full-
 *   scale references.
 * @param reading receives the reading; set to 0 first, stays 0 when the call fails.
 * @return as GetADCchannel(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineGetADCchannel(CorvexLinkLine *line, const char *master,
                                               int resolution, int channel, int32_t *reading);

/**
 * The line form of ReadAllChannelsADC(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param master the board's master controller: "0", "4", "8" or "12".
 * @param resolution 10 or 12 bits.
 * @param values receives the channels in values[0] to values[10] (CORVEXLINK_ADC_CHANNELS
 *   elements); elements the station does not answer keep their contents, and no more than
 *   eleven are ever written.
 * @return as ReadAllChannelsADC(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineReadAllChannelsADC(CorvexLinkLine *line, const char *master,
                                                    int resolution, int32_t *values);

/**
 * The line form of EnterProgMode(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as EnterProgMode(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineEnterProgMode(CorvexLinkLine *line, const char *address);

/**
 * The line form of ExecStoredProg(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as ExecStoredProg(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineExecStoredProg(CorvexLinkLine *line, const char *address);

/**
 * The line form of ProgramLoop(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as ProgramLoop(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineProgramLoop(CorvexLinkLine *line, const char *address);

/**
 * The line form of MotorWait(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param wait the wait, sent as an unsigned 32-bit number.
 * @return as MotorWait(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineMotorWait(CorvexLinkLine *line, const char *address, int wait);

/**
 * The line form of FIFOReset(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @return as FIFOReset(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOReset(CorvexLinkLine *line, const char *address);

/**
 * The line form of FIFOGetIndexCounter(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param index receives the index counter, low 16 bits; set to 0 first, stays 0 when the
 *   call fails. ZelmarGetValue() then returns the same masked value.
 * @return as FIFOGetIndexCounter(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOGetIndexCounter(CorvexLinkLine *line, const char *address,
                                                     int32_t *index);

/**
 * The line form of FIFOGetRemainingBytes(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param freeBytes receives the room in bytes; set to 0 first, stays 0 when the call fails.
 * @return as FIFOGetRemainingBytes(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOGetRemainingBytes(CorvexLinkLine *line, const char *address,
                                                       int32_t *freeBytes);

/**
 * The line form of FIFOWriteUserIO(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the user-I/O controller (single station).
 * @param value the output bits.
 * @param freeBytes receives the FIFO room left; untouched when the call fails.
 * @return as FIFOWriteUserIO(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOWriteUserIO(CorvexLinkLine *line, const char *address,
                                                 int value, int32_t *freeBytes);

/**
 * The line form of FIFOWriteSPI(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param value the value, sent as an unsigned 32-bit number.
 * @param freeBytes receives the FIFO room left; untouched when the call fails.
 * @return as FIFOWriteSPI(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOWriteSPI(CorvexLinkLine *line, const char *address, int value,
                                              int32_t *freeBytes);

/**
 * The line form of FIFOMotorNumberStepRel(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param steps the signed number of steps.
 * @param freeBytes receives the FIFO room left.
 * @return as FIFOMotorNumberStepRel(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOMotorNumberStepRel(CorvexLinkLine *line, const char *address,
                                                        int32_t steps, int32_t *freeBytes);

/**
 * The line form of FIFOMotorGoAbsPos(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param position the target position in steps.
 * @param freeBytes receives the FIFO room left.
 * @return as FIFOMotorGoAbsPos(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOMotorGoAbsPos(CorvexLinkLine *line, const char *address,
                                                   int32_t position, int32_t *freeBytes);

/**
 * The line form of FIFOMotorSlewRate(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param rate the slew rate in steps/s (no range check).
 * @param freeBytes receives the FIFO room left.
 * @return as FIFOMotorSlewRate(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOMotorSlewRate(CorvexLinkLine *line, const char *address,
                                                   int rate, int32_t *freeBytes);

/**
 * The line form of FIFOMotorFirstRate(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param rate the first rate in steps/s (no range check).
 * @param freeBytes receives the FIFO room left.
 * @return as FIFOMotorFirstRate(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOMotorFirstRate(CorvexLinkLine *line, const char *address,
                                                    int rate, int32_t *freeBytes);

/**
 * The line form of FIFOMotorSlope(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param slope -256 to 255.
 * @param freeBytes receives the FIFO room left.
 * @return as FIFOMotorSlope(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOMotorSlope(CorvexLinkLine *line, const char *address,
                                                int slope, int32_t *freeBytes);

/**
 * The line form of FIFOMotorRepeat(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param freeBytes receives the FIFO room left.
 * @return as FIFOMotorRepeat(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOMotorRepeat(CorvexLinkLine *line, const char *address,
                                                 int32_t *freeBytes);

/**
 * The line form of FIFOMotorWait(): the same on `line`.
 *
 * @param line the line (see @ref corvexlink-lines).
 * @param address the station (single station).
 * @param wait the wait, sent as an unsigned 32-bit number.
 * @param freeBytes receives the FIFO room left.
 * @return as FIFOMotorWait(); for a closed line see @ref corvexlink-lines.
 */
CORVEXLINK_API int CorvexLinkLineFIFOMotorWait(CorvexLinkLine *line, const char *address, int wait,
                                               int32_t *freeBytes);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* CORVEXLINK_H */
