// SPDX-License-Identifier: MIT
// corvexlink-tango: the device server of CorvexLink lines (CorvexLine and CorvexMotor
// devices), run by libtango until SIGTERM, SIGINT or the admin device's Kill command.
#include "line_device.h"
#include "motor_device.h"

#include <cstdio>
#include <cstring>
#include <iostream>

#ifndef CORVEXLINK_TANGO_VERSION
#    define CORVEXLINK_TANGO_VERSION "unknown"
#endif

// libtango asks the program for its device classes; the lines first, so they are open
// before the motors start and look their line up.
void Tango::DServer::class_factory() {
    add_class(corvextango::LineClass::create("CorvexLine"));
    add_class(corvextango::MotorClass::create("CorvexMotor"));
}

namespace {

// Threads are started as devices are polled, one each until the pool is used up: enough for
// eight full lines (a line and sixteen motors each); more devices share them.
constexpr unsigned long kPollingThreads = 8 * 17;

const char kHelp[] =
    "Usage: corvexlink-tango INSTANCE [-file=DB | -nodb -dlist NAME,...] "
    "[-ORBendPoint giop:tcp:HOST:PORT]\n"
    "\n"
    "Tango device server of CorvexLink lines: a CorvexLine device for each serial line it\n"
    "owns and one CorvexMotor device per KX4417 station, so that any number of Tango\n"
    "clients read, write and subscribe to the motors while the server alone drives the lines.\n"
    "\n"
    "Options:\n"
    "  INSTANCE             the server instance, for example demo\n"
    "  -file=DB             take devices and properties from the file database DB instead of\n"
    "                       a database server (see corvexlink-tango.db)\n"
    "  -nodb                run without any database: the line device is corvex/line/1 on\n"
    "                       COM1 at 9600 baud, the motors are named by -dlist\n"
    "  -dlist NAME,...      with -nodb: the CorvexMotor devices; a name ending in /N drives\n"
    "                       the station at address N\n"
    "  -ORBendPoint giop:tcp:HOST:PORT\n"
    "                       where clients reach the server without a database; they name\n"
    "                       devices as tango://HOST:PORT/corvex/motor/0#dbase=no\n"
    "  -v[LEVEL]            libtango's trace level\n"
    "  -h, --help           show this help and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "Without -file or -nodb the server registers with the Tango database named by\n"
    "TANGO_HOST (see tango_admin --add-server).\n"
    "\n"
    "CorvexLine properties: Port (a COM number such as 1 or COM1, a device path or a URL\n"
    "such as rfc2217://HOST:PORT; default 1), Rate (9600, 19200, 38400, 57600 or 115200\n"
    "baud; default 9600). Each line device has a line of its own; two cannot share a port.\n"
    "Attributes: Stations, Rate (writable: every station and the port change rate),\n"
    "LastError, LastErrorNumber. Commands: Init (reopen, scan and initialise the boards),\n"
    "Scan, Reconnect, StopAll, ReadAnalogInputs, ReadDigitalInputs, WriteDigitalOutputs,\n"
    "ConfigureDigitalIO. State ON while the line is open, FAULT when it cannot be opened\n"
    "or is lost (that line's motors alone turn FAULT with it).\n"
    "\n"
    "CorvexMotor properties: Address (0 to 15; default: the last member of the device name),\n"
    "Line (the name of its CorvexLine device; default: the server's only line).\n"
    "Attributes: Position (writing starts an absolute move), Encoder, Velocity,\n"
    "Base_rate, Acceleration, Current, StatusRegister, TRGD, PSED, ABORTD, RUNING, LS_CCW,\n"
    "LS_CW, HOME, READY, DIR, STALL, Limit_switches, Direction. Commands: Stop, Abort,\n"
    "MoveRelative, Jog, ResetPosition. State MOVING while the station runs, ALARM while a\n"
    "limit switch is active, FAULT when the line is lost or the station does not answer,\n"
    "ON otherwise.\n"
    "\n"
    "State (of every device) and Position are polled every 200 ms and send change events;\n"
    "a polled_attr property in the database sets other periods.\n"
    "\n"
    "Stop, Abort and StopAll do not wait for other calls: a stop is sent at the next\n"
    "boundary between the transactions of whatever else is running on the line. Lines\n"
    "never wait for each other.\n"
    "\n"
    "Environment: CORVEXLINK_COM<n> names the device of a Port COM<n> (as ports.conf\n"
    "does); CORVEXLINK_DEBUG=1 writes the library's debug lines to stderr.\n"
    "\n"
    "Exit status: 0 after SIGTERM, SIGINT or the admin device's Kill (the line is closed\n"
    "first), 1 when the server cannot start, 2 for a bad command line.\n";

}  // namespace

int main(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvexlink-tango %s\n", CORVEXLINK_TANGO_VERSION);
            return 0;
        }
    }
    if (argc < 2 || argv[1][0] == '-') {
        std::fputs("corvexlink-tango: the first argument is the server instance (for example "
                   "demo); --help shows the usage\n",
                   stderr);
        return 2;
    }

    Tango::Util *util = nullptr;
    try {
        util = Tango::Util::init(argc, argv);
        // A polling thread per device: the line device's scan or reconnection (which hold
        // that device for seconds) then never delays the polling of the motors.
        util->set_polling_threads_pool_size(kPollingThreads);
        util->server_init(false);
        // Clients that start the server wait for this line before they connect.
        std::cout << "Ready to accept request" << std::endl;
        util->server_run();
    } catch (const std::bad_alloc &) {
        std::cerr << "corvexlink-tango: out of memory" << std::endl;
        return 1;
    } catch (const CORBA::Exception &error) {
        Tango::Except::print_exception(error);
        return 1;
    }
    // The devices are deleted here; each line device closes its line.
    util->server_cleanup();
    return 0;
}
