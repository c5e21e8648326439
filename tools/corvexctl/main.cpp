// SPDX-License-Identifier: MIT
// corvexctl: the CorvexLink library from a shell. Parses the global options and one
// subcommand, refuses bad arguments before the port is opened, runs the subcommand and
// maps the outcome to the exit code: 0 success, 1 a station or line error, 2 a usage error.
#include "arguments.h"
#include "commands.h"
#include "escaping.h"
#include "frame_trace.h"
#include "session.h"
#include "simulator_process.h"
#include "usage.h"

#include <CLI/CLI.hpp>
#include <CorvexLink.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

namespace corvexctl {

CLI::App *addCommand(CLI::App &parent, const std::string &name, const std::string &help) {
    auto *command = parent.add_subcommand(name, help);
    command->fallthrough();  // global options may also follow the subcommand
    return command;
}

}  // namespace corvexctl

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char *const kExamples = R"(Examples:
  corvexctl --simulate 0-3 scan            try it without hardware: four simulated stations
  corvexctl --device /dev/ttyUSB0 init     find the stations and set their defaults
  corvexctl move 0 2000 --wait             move station 0 by 2000 steps, show where it stopped
  corvexctl --json status 0                the status register as JSON
  corvexctl --trace check 0                the frames and answers on the line, timed, on stderr
  corvexctl profile 0 ramp.csv --run       play a profile (first rate,slope,steps per line)
  corvexctl watch 0 1 2 3                  live positions and status until Ctrl-C
  corvexctl --device /dev/ttyUSB0 --device /dev/ttyUSB1 scan
                                           the stations of two lines, scanned at once
  corvexctl ports                          the serial devices and the COM numbers that open them

Exit codes: 0 success, 1 a station or line error (message on stderr with the library's
error number), 2 a usage error (nothing is sent).
Ports: COM<n> is the device named by CORVEXLINK_COM<n>, else by a "COM<n> = path" line of
~/.config/corvexlink/ports.conf or /etc/corvexlink/ports.conf, else /dev/ttyS<n-1>;
`corvexctl ports` lists the serial devices with their COM numbers.)";

}  // namespace

int main(int argc, char **argv) {
    using namespace corvexctl;
    GlobalOptions options;
    CLI::App app{"Drive KX4417 stepper controllers through the CorvexLink library.", "corvexctl"};
    app.set_version_flag("--version", std::string("corvexctl ") + CORVEXCTL_VERSION);
    app.require_subcommand(1);
    app.footer(kExamples);
    app.add_option("--port", options.port,
                   "port number n of the line COM<n> when no --device is given (default 1)")
        ->transform(wholeNumber(1, 255));
    auto *device = app.add_option("--device", options.devices,
                                  "a device such as /dev/ttyUSB0, or rfc2217://HOST:PORT or "
                                  "tcp://HOST:PORT; scan, status and watch take it more than "
                                  "once, one line each")
                       ->allow_extra_args(false);
    app.add_option("--baud", options.baud, "line rate (default 9600)")
        ->transform(wholeNumberOf({300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}));
    app.add_flag("--json", options.json, "print one JSON object per result, errors included");
    app.add_option("--simulate", options.simulate,
                   "start kx4417-sim with these stations (such as 0-3) for this command")
        ->check(stationRanges());
    app.add_flag("--verbose", options.verbose,
                 "show the library's diagnostics (and the simulator's transcript)");
    app.add_flag("--trace", options.trace,
                 "show every frame sent and answer taken up, repeats and time-outs, on stderr "
                 "(JSON lines with --json)");

    CommandTable table;
    for (auto family : commandFamilies()) family(app, table);

    bool jsonAsked = false;
    for (int i = 1; i < argc; ++i) jsonAsked = jsonAsked || std::strcmp(argv[i], "--json") == 0;
    const Output usageOutput(jsonAsked);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        usageOutput.usageError(usageErrorText(app, table, e, argc, argv),
                               commandNamed(app, table, argc, argv));
        return kExitUsage;
    }

    const Command *chosen = nullptr;
    for (const auto &command : table)
        if (command.parser->parsed())
            chosen = &command;  // the deepest parsed one (io write after io)
    if (!chosen) {
        usageOutput.usageError("no subcommand given; --help lists them");
        return kExitUsage;
    }
    if (device->count() > 0 && !options.simulate.empty()) {
        usageOutput.usageError("--device and --simulate cannot be given together", chosen->name);
        return kExitUsage;
    }
    if (options.devices.size() > 1 && !chosen->severalLines) {
        usageOutput.usageError("--device is given more than once: only scan, status and watch "
                               "take several lines",
                               chosen->name);
        return kExitUsage;
    }

    routeDiagnostics(options.verbose);
    installStopHandler();
    const Output output(options.json, options.verbose);
    std::optional<FrameTrace> trace;  // ends after the port and the simulator
    try {
        std::unique_ptr<SimulatorProcess> simulator;
        if (!options.simulate.empty()) {
            simulator = std::make_unique<SimulatorProcess>(options.simulate, options.verbose);
            options.devices = {simulator->link()};
        }
        if (options.trace) trace.emplace(options.json);  // timed from here
        Session session(options, output, trace ? &*trace : nullptr);
        chosen->run(session);
        session.close();  // before the simulator goes away
        return kExitOk;
    } catch (const CLI::ValidationError &e) {
        output.usageError(e.what(), chosen->name);
        return kExitUsage;
    } catch (const Failure &e) {
        output.failure(chosen->name, e);
        return kExitFailure;
    } catch (const FailureReported &) {
        return kExitFailure;
    } catch (const std::exception &e) {
        // Caught here so that the simulator and the port are closed on the way out.
        output.failure(chosen->name, Failure(e.what()));
        return kExitFailure;
    }
}
