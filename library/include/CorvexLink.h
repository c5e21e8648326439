// SPDX-License-Identifier: MIT
/*
 * CorvexLink -- host library for KX4417 stepper controllers on Corvex-B boards.
 *
 * One RS-232 line is shared by up to sixteen controllers ("stations", addresses 0 to 15,
 * four to a board). Every function below runs on the caller's thread, turns its arguments
 * into one or more short ASCII commands, sends them, waits for the station's answer (a
 * text ending in '>') and reports the outcome:
 *
 *   - the return value: 1 for success and -1 for failure, unless stated otherwise;
 *   - the library error state, read with ZelmarGetNumberError() and
 *     ZelmarGetErrorMessage(): the number and text of the last failure.
 *
 * Conventions that hold for every function:
 *
 *   - Integers are 32-bit. Texts are NUL-terminated 8-bit strings owned by the caller and
 *     only read during the call. Out-parameters are pointers to 32-bit integers owned by
 *     the caller; a NULL out-parameter, address text or buffer is refused with -1 and
 *     never dereferenced.
 *   - An "address text" names the target: one decimal address ("3"), a comma-separated
 *     list ("0,4,8,12") or "ALL" in any case. Functions marked "single station" refuse a
 *     list or ALL with the message "Broadcasting not allowed in this command"; a text that
 *     is not a valid address (a piece that does not start with a digit, a list member or
 *     single address above 15, more than 63 characters) gives "Wrong Address in list".
 *     These argument errors change only the message: the error number keeps its value.
 *   - Transport failures set the error number: 25 no port open, 26 no answer (after one
 *     repetition, about 600 ms), 1 to 9 the station's answer codes, -1 an unknown code.
 *   - Calls are serialised by one library-wide lock, so several threads may call in; a
 *     call blocks until its own transactions are over.
 *   - Every function is also exported under its name with a leading underscore
 *     (PortOpen as _PortOpen).
 *
 * The full reference, one page per function, is docs/reference.html.
 */
#ifndef CORVEXLINK_H
#define CORVEXLINK_H

#include <stdint.h>

#if defined(_WIN32) && defined(CORVEXLINK_BUILDING_LIBRARY)
#    define CORVEXLINK_API __declspec(dllexport)
#elif defined(_WIN32)
#    define CORVEXLINK_API __declspec(dllimport)
#else
#    define CORVEXLINK_API __attribute__((visibility("default")))
#endif

#include "CorvexLinkVersion.h"

/* Number of analog channels that ReadAllChannelsADC() fills. */
#define CORVEXLINK_ADC_CHANNELS 11
/* Smallest buffer for GetConnectedControllers() (37 characters and the NUL). */
#define CORVEXLINK_CONTROLLER_LIST_SIZE 38
/* Smallest buffer for ZelmarGetErrorMessageVb(). */
#define CORVEXLINK_ERROR_MESSAGE_SIZE 512
/* Smallest buffer for GetLastestCommand(). */
#define CORVEXLINK_COMMAND_BUFFER_SIZE 256

/* Status register bits (MotorGetStatusRegister). */
#define CORVEXLINK_STATUS_TRGD 0x001   /* triggered */
#define CORVEXLINK_STATUS_PSED 0x002   /* paused */
#define CORVEXLINK_STATUS_ABORTD 0x004 /* aborted */
#define CORVEXLINK_STATUS_RUNING 0x008 /* running */
#define CORVEXLINK_STATUS_LS_CCW 0x010 /* counter-clockwise limit switch */
#define CORVEXLINK_STATUS_LS_CW 0x020  /* clockwise limit switch */
#define CORVEXLINK_STATUS_HOME 0x040
#define CORVEXLINK_STATUS_READY 0x080
#define CORVEXLINK_STATUS_DIR 0x100 /* direction */
#define CORVEXLINK_STATUS_STALL 0x200

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------
 * Port
 * -------------------------------------------------------------------------------*/

/* Opens serial port `port` (COM<port>; on Linux the device named by the environment
 * variable CORVEXLINK_COM<port>, else by a "COM<port> = path" line of ports.conf, else
 * /dev/ttyS<port-1>; see PortDevice()) at `baudRate`, 8N1, no flow
 * control, and starts the receive worker. A port that is already open is closed first.
 * The line runs at the nearest supported rate below (300, 1200, 2400, 4800, 9600, 19200,
 * 38400, 57600, 115200 by rate/100); an unsupported rate keeps the previous line rate.
 * Waits 300 ms after opening. Returns 1, or -1 with error 36 "Unable to open COM port". */
CORVEXLINK_API int PortOpen(int port, int baudRate);

/* Closes the open port: waits 300 ms, ends the worker, drops DTR, purges and closes the
 * device. Returns 1, or -1 with error 35 "COM port is NOT open". */
CORVEXLINK_API int PortClose(void);

/* Shows the modal "Serial Port Configuration" dialog (when the caller runs a Qt
 * application; a headless caller gets no dialog), then opens the port and rate selected
 * there as PortOpen() does, waiting 10 ms instead of 300 ms. */
CORVEXLINK_API int PortConfigure(void);

/* The port number last given to PortOpen() or chosen in the dialog (1 after load). */
CORVEXLINK_API int ZelmarGetPort(void);

/* The baud rate last requested, as given (not rounded to a line rate; 9600 after load). */
CORVEXLINK_API int ZelmarGetBaudRate(void);

/* The port dialog (a QDialog*) while PortConfigure() shows it; NULL at any other time,
 * since the dialog is released when PortConfigure() returns. */
extern CORVEXLINK_API void *Form2;

/* ---------------------------------------------------------------------------------
 * Serial devices of the machine
 * -------------------------------------------------------------------------------*/

/** Size of the path fields of CorvexLinkPortInfo, terminating NUL included. */
#define CORVEXLINK_PORT_PATH_SIZE 512
/** Size of the other text fields of CorvexLinkPortInfo, terminating NUL included. */
#define CORVEXLINK_PORT_TEXT_SIZE 384

/** One serial device of the machine, as PortList() reports it. Every text is
 * NUL-terminated and "" when unknown; a text longer than its field is cut to fit (device
 * names of the system never are). */
typedef struct CorvexLinkPortInfo {
    /** The device node, for example "/dev/ttyUSB0". */
    char device[CORVEXLINK_PORT_PATH_SIZE];
    /** A name of the device that stays the same when adapters are plugged in another
     * order (on Linux the /dev/serial/by-id link), or "". */
    char stableName[CORVEXLINK_PORT_PATH_SIZE];
    /** The driver of the device ("cdc_acm", "serial"), or "". */
    char driver[CORVEXLINK_PORT_TEXT_SIZE];
    /** For a USB adapter, the texts it reports about itself. */
    char manufacturer[CORVEXLINK_PORT_TEXT_SIZE];
    char product[CORVEXLINK_PORT_TEXT_SIZE];
    char serialNumber[CORVEXLINK_PORT_TEXT_SIZE];
    /** 1 for a USB adapter, 0 otherwise. */
    int32_t usb;
    /** USB vendor and product id (0 when not a USB adapter). */
    int32_t vendorId;
    int32_t productId;
    /** The port number n whose COM<n> opens this device (the smallest when several do),
     * or 0 when none does. */
    int32_t port;
} CorvexLinkPortInfo;

/** Lists the serial devices of the machine, in natural order of their names (ttyS2
 * before ttyS10).
 *
 * @param ports    array that receives the first `capacity` devices; may be NULL when
 *                 `capacity` is 0 (to count the devices first).
 * @param capacity number of elements of `ports`.
 * @return the number of devices found, which may be more than `capacity` (only
 *         `capacity` elements are written; the rest of the array is not touched), or -1
 *         when `capacity` is negative or `ports` is NULL with a positive `capacity`.
 *
 * Reads the system's device tables only: does not open any device, needs no open port
 * and does not change the error state. Devices that cannot be read are left out.
 *
 * @code
 * CorvexLinkPortInfo ports[16];
 * int n = PortList(ports, 16);
 * for (int i = 0; i < n && i < 16; ++i)
 *     printf("COM%d %s %s\n", ports[i].port, ports[i].device, ports[i].stableName);
 * @endcode */
CORVEXLINK_API int PortList(CorvexLinkPortInfo *ports, int capacity);

/** Writes the device path that port `port` (COM<port>) opens into `device`.
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
 *         `size` bytes (then nothing is written). Does not change the error state. */
CORVEXLINK_API int PortDevice(int port, char *device, int size);

/* ---------------------------------------------------------------------------------
 * Transaction and error state
 * -------------------------------------------------------------------------------*/

/* Sends `command` (without CR; at most 62 characters) and waits for the answer.
 * Returns 1 on success (a number in the answer is kept for ZelmarGetValue()), 2 when the
 * station answered "FIFO FULL" (error 3), -1 on failure. A longer or NULL command is
 * refused with -1 and nothing is sent. */
CORVEXLINK_API int WriteCommandtoKX4417(const char *command);

/* The number parsed from the last successful answer that held one. */
CORVEXLINK_API int ZelmarGetValue(void);

/* The number of the last failure (0 after load, -1 while a call has found none). */
CORVEXLINK_API int ZelmarGetNumberError(void);

/* The message of the last failure; the text belongs to the library and changes with
 * the next failure. Never NULL. */
CORVEXLINK_API const char *ZelmarGetErrorMessage(void);

/* Copies the error message with its NUL into `buffer` (at least 512 bytes). Returns 1,
 * or -1 for a NULL buffer. */
CORVEXLINK_API int ZelmarGetErrorMessageVb(char *buffer);

/* ---------------------------------------------------------------------------------
 * Diagnostics
 * -------------------------------------------------------------------------------*/

/** Receives one debug line of the library (with its trailing newline) and the `context`
 * given to CorvexLinkSetDebugHandler(). Called on the thread that produced the line: the
 * caller's thread, or the library's receive thread. The text is valid only during the call.
 * The handler must return quickly and must not call CorvexLink functions. */
typedef void (*CorvexLinkDebugHandler)(const char *line, void *context);

/** Sends the library's debug lines to `handler` instead of the default sink.
 *
 * By default the lines (time-outs and retries, write failures, a lost line, refused
 * thread priorities, the texts of message boxes no GUI could show) are written to stderr
 * when the environment variable CORVEXLINK_DEBUG is 1, and dropped otherwise. With a
 * handler set, every line goes to the handler alone, whatever CORVEXLINK_DEBUG says.
 *
 * @param handler the function to call with each line, or NULL to restore the default.
 * @param context passed unchanged to every call of `handler`; may be NULL.
 * @return 1 (setting a handler cannot fail).
 *
 * Example:
 * @code
 * static void toLog(const char *line, void *context) { fputs(line, (FILE *)context); }
 * CorvexLinkSetDebugHandler(toLog, logFile);
 * @endcode */
CORVEXLINK_API int CorvexLinkSetDebugHandler(CorvexLinkDebugHandler handler, void *context);

/* Copies the last frame sent, its CR included, with a NUL into `buffer` (at least 256
 * bytes). Returns 1, or -1 for a NULL buffer. */
CORVEXLINK_API int GetLastestCommand(char *buffer);

/* Moves every station of the station table and the port to `baudRate` (9600, 19200,
 * 38400, 57600 or 115200; another rate sends code 0), then checks each station at the
 * new rate. Returns 1, or -1 with error 25 (never opened) or 30 with the address of the
 * first station that did not answer. */
CORVEXLINK_API int ZelmarChangeBaudRate(int baudRate);

/* ---------------------------------------------------------------------------------
 * Motion, position, encoder, status and power
 * -------------------------------------------------------------------------------*/

/* Sets the winding current (50 to 2000 mA) of one station through its board's SPI bus:
 * the current code and the motor's place on the board go to the board's user-I/O
 * controller (address 4k+1) as an SPI write, then its outputs are written 0 and back to
 * the board's user output word (see WriteDigitalUserIO). The current is checked before
 * the address ("Wrong Current Value need to be from 50(mA) to 2000 (mA)") and is
 * remembered for MotorStationsInit() as soon as both are valid, even if sending fails.
 * Single station. */
CORVEXLINK_API int MotorSetCurrent(const char *address, int milliamps);
/* Slew rate, first rate and acceleration in one call (no range checks); single station. */
CORVEXLINK_API int MotorSpeed(const char *address, int slewRate, int firstRate, int accel);
/* Step mode (36, 34, 33, 8) with the bits 0x10 encoder, 0x40 FIFO, 0x80 home seek. */
CORVEXLINK_API int MotorConfigureMode(const char *address, int mode);
/* 1 when the last direction set by MotorDirection() was '+', 0 for '-', -1 on error. */
CORVEXLINK_API int GetMotorDirection(const char *address);
/* Sets the direction: '+' for a non-zero flag, '-' for 0; single station. */
CORVEXLINK_API int MotorDirection(const char *address, int flag);
/* Slew rate 16 to 8500 steps/s ("Wrong Slew Rate Value must be between 16 to 8500"). */
CORVEXLINK_API int MotorSlewRate(const char *address, int rate);
/* First rate 16 to 8500 steps/s ("Wrong First Rate Value must be between 16 to 8500"). */
CORVEXLINK_API int MotorFirstRate(const char *address, int rate);
/* Acceleration 0 to 255. */
CORVEXLINK_API int MotorAccelDecel(const char *address, int accel);
/* Jog speed; lists and ALL accepted. */
CORVEXLINK_API int MotorChangeJogSpeed(const char *address, int speed);
/* Relative move by a signed number of steps. */
CORVEXLINK_API int MotorNumberStepRel(const char *address, int32_t steps);
/* Move to an absolute position. */
CORVEXLINK_API int MotorGoAbsPos(const char *address, int32_t position);
/* Jog: direction 1 is '+', anything else '-', then start; lists and ALL accepted. */
CORVEXLINK_API int MotorJog(const char *address, int direction);
/* Repeats the last move. */
CORVEXLINK_API int MotorRepeat(const char *address);
/* Stops the motor. */
CORVEXLINK_API int MotorStop(const char *address);
/* Soft reset; lists and ALL accepted. */
CORVEXLINK_API int MotorSoftReset(const char *address);
/* Reads the position (24-bit sign-and-magnitude converted to signed) into *position.
 * *position is set to 0 first and stays 0 when the call fails. */
CORVEXLINK_API int MotorGetPosition(const char *address, int32_t *position);
/* Sets the position counter. */
CORVEXLINK_API int MotorSetPosition(const char *address, int32_t position);
/* Sets the encoder step-failure count. */
CORVEXLINK_API int MotorEncoderFailsStep(const char *address, int32_t steps);
/* Reads the status register (CORVEXLINK_STATUS_* bits) into *status (0 on failure). */
CORVEXLINK_API int MotorGetStatusRegister(const char *address, int32_t *status);
/* Sets the encoder counter. */
CORVEXLINK_API int EncoderSetPosition(const char *address, int32_t count);
/* Reads the encoder counter (converted like the position) into *count. */
CORVEXLINK_API int EncoderGetPosition(const char *address, int32_t *count);
/* Power on with the given value (1 for full power); lists and ALL accepted. */
CORVEXLINK_API int MotorPowerON(const char *address, int value);
/* Power off; lists and ALL accepted. */
CORVEXLINK_API int MotorPowerOFF(const char *address);
/* The speed in steps/s that a station really runs at for `speed` (16 to 10239): the
 * station divides its 921600 Hz step clock by a whole number. A request below 16 is
 * answered as for 16 (16), one above 10239 as for 10239 (10240). Sends nothing. */
CORVEXLINK_API int GetFixedSpeed(int speed);

/* ---------------------------------------------------------------------------------
 * Discovery and initialisation
 * -------------------------------------------------------------------------------*/

/* Probes addresses 0 to 15 (up to 200 ms each) and writes "0,1,2,3,N,...,N" into
 * `buffer` (at least 38 bytes; at most 38 are written). Fills the station table that
 * MotorStationsInit() and ZelmarChangeBaudRate() walk. Returns 1; -1 with "Wrong Address
 * in list" only for a NULL buffer. A missing station leaves error 26 "WriteSP: COM port
 * timed out" in the error state. */
CORVEXLINK_API int GetConnectedControllers(char *buffer);
/* 1 when the station at `address` (single station) answers its probe within 200 ms,
 * else -1 (error 26 when it does not answer). */
CORVEXLINK_API int CheckControllerAddress(const char *address);
/* Resets every station found by GetConnectedControllers(), takes the line to 9600 baud
 * and back to the current rate, sets up each board once (SPI and user I/O of its master
 * and user-I/O controllers) and gives each station its winding current (50 mA unless
 * MotorSetCurrent() changed it), direction '+', slew rate 600, first rate 100,
 * acceleration 50 and half-step mode 33. Stops at the first failure with -1, error 50
 * and the step's message followed by the address (for example "Can Not Reset Motor
 * Address: 3"); a failed return to the current rate keeps the baud-rate error 30. */
CORVEXLINK_API int MotorStationsInit(void);

/* ---------------------------------------------------------------------------------
 * Group trigger and pause (motor lists: "0", "1,5", ...; not ALL)
 *
 * Each board has a trigger and a pause line per motor, driven by its master controller.
 * These calls switch the lines of the listed motors (addresses 0 to 15, at most 39
 * characters) in the library's copy, then send the line state of all four boards to the
 * masters of the boards concerned in one command. A piece that is not a number gives -1
 * without a message and changes nothing; an address above 15, a NULL or over-long list
 * gives "Wrong Address in list". An empty list changes nothing and addresses nobody
 * (error 26). The library's copy keeps the change when sending fails.
 * -------------------------------------------------------------------------------*/

/* Raises the trigger line of each listed motor. */
CORVEXLINK_API int MotorTriggerON(const char *motors);
/* Lowers the trigger line of each listed motor. */
CORVEXLINK_API int MotorTriggerOFF(const char *motors);
/* Raises the pause line of each listed motor. */
CORVEXLINK_API int MotorPauseON(const char *motors);
/* Lowers the pause line of each listed motor. */
CORVEXLINK_API int MotorPauseOFF(const char *motors);

/* ---------------------------------------------------------------------------------
 * User I/O, analog inputs and SPI
 * -------------------------------------------------------------------------------*/

/* SPI configuration of a station (128 on a master, 198 on a user-I/O controller during
 * initialisation); single station. */
CORVEXLINK_API int ConfigureSPI(const char *address, int config);
/* Reads the SPI bus into *value; single station; *value untouched on failure. */
CORVEXLINK_API int ReadSPI(const char *address, int32_t *value);
/* Writes `value` (sent unsigned) on the SPI bus; lists and ALL accepted. */
CORVEXLINK_API int WriteSPI(const char *address, int value);
/* Reads the user inputs into *inputs; single station; untouched on failure. */
CORVEXLINK_API int ReadDigitalUserIO(const char *address, int32_t *inputs);
/* User I/O lists: addresses 0 to 15, at most 51 characters, lists accepted. They may not
 * name a board's master controller (0, 4, 8, 12): error 51 "... Address: 4 is not
 * allowed", nothing sent. Naming a user-I/O controller (1, 5, 9, 13) adds 0x1600 to the
 * configuration / 0x1000 to the output value; the output value is then also kept as that
 * board's user output word (restored by MotorSetCurrent()), even if sending fails. A
 * piece that is not a number gives -1 without a message. */
CORVEXLINK_API int ConfigureDigitalUserIO(const char *addresses, int config);
/* Writes the user outputs of the listed user-I/O controllers (rules above). */
CORVEXLINK_API int WriteDigitalUserIO(const char *addresses, int value);
/* One channel (0 to 10; 11 to 13 the references) at 8, 10 or 12 bits of the board
 * whose master controller is `master` (0, 4, 8 or 12), into *reading (0 on failure).
 * The resolution is checked first ("Wrong ADC Resolution"). */
CORVEXLINK_API int GetADCchannel(const char *master, int resolution, int channel, int32_t *reading);
/* All eleven channels at 10 or 12 bits into values[0..10]; elements the station does not
 * answer keep their contents, and no more than eleven are ever written. A NULL array is
 * refused ("Wrong Address in list"). The address is checked before the resolution. */
CORVEXLINK_API int ReadAllChannelsADC(const char *master, int resolution, int32_t *values);

/* ---------------------------------------------------------------------------------
 * Stored program and FIFO
 * -------------------------------------------------------------------------------*/

/* Stored program: record the following commands, run them once, run them in a loop
 * (until MotorStop or MotorSoftReset). Single station. */
CORVEXLINK_API int EnterProgMode(const char *address);
/* Runs the stored program once. Single station. */
CORVEXLINK_API int ExecStoredProg(const char *address);
/* Runs the stored program in a loop until MotorStop() or MotorSoftReset(). Single
 * station. */
CORVEXLINK_API int ProgramLoop(const char *address);
/* A wait of `wait` (sent unsigned) in the program. */
CORVEXLINK_API int MotorWait(const char *address, int wait);
/* Empties the station's FIFO. */
CORVEXLINK_API int FIFOReset(const char *address);
/* The FIFO index counter, low 16 bits, into *index (0 on failure); ZelmarGetValue() then
 * returns the same masked value. */
CORVEXLINK_API int FIFOGetIndexCounter(const char *address, int32_t *index);
/* The free FIFO room in bytes into *freeBytes (0 on failure). */
CORVEXLINK_API int FIFOGetRemainingBytes(const char *address, int32_t *freeBytes);
/* The FIFO exports queue a command on one station; on success *freeBytes receives the
 * FIFO room left after it. When the station answers that its FIFO is full, the room is
 * polled every 10 ms, at most 91 times, until the command fits (it takes G 1, S 2,
 * W U R F D 3, N T 4 bytes) and the command is sent again; if it never fits: -1 with
 * error 60 "The Delay of 900 Ms has been expired, and Can NOT Write the Command TO FIFO"
 * after about a second. On a failed transaction the motion forms write ZelmarGetValue()
 * into *freeBytes, FIFOWriteSPI and FIFOWriteUserIO leave it alone. FIFOWriteUserIO
 * applies the user I/O list rules above (error 51 for a master controller). A NULL
 * *freeBytes is refused. */
CORVEXLINK_API int FIFOWriteUserIO(const char *address, int value, int32_t *freeBytes);
/* Queues an SPI write of `value` (sent unsigned). */
CORVEXLINK_API int FIFOWriteSPI(const char *address, int value, int32_t *freeBytes);
/* Queues a relative move of `steps` steps. */
CORVEXLINK_API int FIFOMotorNumberStepRel(const char *address, int32_t steps, int32_t *freeBytes);
/* Queues a move to the absolute `position`. */
CORVEXLINK_API int FIFOMotorGoAbsPos(const char *address, int32_t position, int32_t *freeBytes);
/* Queues a change of the slew rate. */
CORVEXLINK_API int FIFOMotorSlewRate(const char *address, int rate, int32_t *freeBytes);
/* Queues a change of the first rate. */
CORVEXLINK_API int FIFOMotorFirstRate(const char *address, int rate, int32_t *freeBytes);
/* The slope travels as one byte: a negative slope s is sent as 256 + s. Slopes outside
 * -256..255 cannot be sent as meant and are refused with "Wrong Acceleration Value must
 * be between 0 to 255, for TRAPEZOIDAL MODE". */
CORVEXLINK_API int FIFOMotorSlope(const char *address, int slope, int32_t *freeBytes);
/* Queues a repeat of the last move (as MotorRepeat()). */
CORVEXLINK_API int FIFOMotorRepeat(const char *address, int32_t *freeBytes);
/* Queues a wait of `wait` (sent unsigned). */
CORVEXLINK_API int FIFOMotorWait(const char *address, int wait, int32_t *freeBytes);

#ifdef __cplusplus
}
#endif

#endif /* CORVEXLINK_H */
