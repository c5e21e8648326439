// SPDX-License-Identifier: MIT
// Subcommands that drive one motor: move, goto, jog, stop, speed, current, pos, status, power.
#include "arguments.h"
#include "commands.h"

#include <CorvexLink.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace corvexctl {

std::vector<std::string> statusBitNames(int status) {
    std::vector<std::string> set;
    for (int bit = 0; bit < CORVEXLINK_STATUS_BIT_COUNT; ++bit)
        if (status & (1 << bit)) set.push_back(CorvexLinkStatusBitName(bit));
    return set;
}

int waitUntilStopped(CorvexLinkLine *line, const std::string &address, double timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
        int32_t status = 0;
        check(line, CorvexLinkLineMotorGetStatusRegister(line, address.c_str(), &status),
              "MotorGetStatusRegister");
        if (!(status & CORVEXLINK_STATUS_RUNING)) return status;
        if (std::chrono::steady_clock::now() >= deadline)
            throw Failure("station " + address + " still running after " +
                          std::to_string(timeoutSeconds) + " s");
        if (!pause(50)) throw Failure("interrupted while station " + address + " was running");
    }
}

nlohmann::json readPosition(CorvexLinkLine *line, const std::string &address) {
    int32_t position = 0;
    int32_t encoder = 0;
    check(line, CorvexLinkLineMotorGetPosition(line, address.c_str(), &position),
          "MotorGetPosition");
    check(line, CorvexLinkLineEncoderGetPosition(line, address.c_str(), &encoder),
          "EncoderGetPosition");
    return {{"address", std::stoi(address)}, {"position", position}, {"encoder", encoder}};
}

namespace {

struct MoveArgs {
    std::string address;
    int32_t value = 0;
    bool wait = false;
    double timeout = 60.0;
};

// move and goto differ only in the call and its wording.
void addMove(CLI::App &app, CommandTable &table, const std::string &name, const std::string &help,
             const std::string &valueName, int (*call)(CorvexLinkLine *, const char *, int32_t)) {
    auto args = std::make_shared<MoveArgs>();
    auto *cmd = addCommand(app, name, help);
    cmd->add_option("ADDR", args->address, "station address 0-15")
        ->required()
        ->check(singleAddress());
    cmd->add_option(valueName, args->value,
                    valueName == "STEPS" ? "signed number of steps" : "absolute position")
        ->required()
        ->transform(wholeNumber(-CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX));
    cmd->add_flag("--wait", args->wait, "wait until the motor has stopped, then show its position");
    cmd->add_option("--timeout", args->timeout, "seconds to wait at most (default 60)")
        ->check(decimalNumber(0.1, 86400.0));
    table.push_back(
        {cmd, name, [args, name, call](Session &s) {
             CorvexLinkLine *line = s.line();
             check(line, call(line, args->address.c_str(), args->value),
                   name == "move" ? "MotorNumberStepRel" : "MotorGoAbsPos");
             nlohmann::json fields = {{"address", std::stoi(args->address)},
                                      {name == "move" ? "steps" : "target", args->value}};
             std::string text = "station " + args->address +
                                (name == "move" ? " moving by " : " moving to ") +
                                std::to_string(args->value);
             if (args->wait) {
                 const int status = waitUntilStopped(line, args->address, args->timeout);
                 const auto where = readPosition(line, args->address);
                 fields["position"] = where["position"];
                 fields["encoder"] = where["encoder"];
                 fields["status"] = status;
                 text = "station " + args->address + " stopped at position " +
                        std::to_string(where["position"].get<int>());
             }
             s.out().result(name, fields, text);
         }});
}

}  // namespace

void addMotionCommands(CLI::App &app, CommandTable &table) {
    addMove(app, table, "move", "Move a motor by a signed number of steps", "STEPS",
            CorvexLinkLineMotorNumberStepRel);
    addMove(app, table, "goto", "Move a motor to an absolute position", "POS",
            CorvexLinkLineMotorGoAbsPos);

    struct JogArgs {
        std::string address;
        std::string direction;
        std::optional<int> speed;
    };
    auto jog = std::make_shared<JogArgs>();
    auto *jogCmd =
        addCommand(app, "jog", "Jog motors clockwise or counter-clockwise until stopped");
    jogCmd->add_option("ADDR", jog->address, "station address, list or all")
        ->required()
        ->check(addressList(true));
    jogCmd->add_option("DIRECTION", jog->direction, "cw or ccw")
        ->required()
        ->check(CLI::IsMember({"cw", "ccw"}));
    jogCmd->add_option("--speed", jog->speed, "jog speed in steps/s (0: the slew rate)")
        ->transform(wholeNumber(0, CORVEXLINK_FIXED_SPEED_MAX));
    table.push_back(
        {jogCmd, "jog", [jog](Session &s) {
             CorvexLinkLine *line = s.line();
             if (jog->speed)
                 check(line,
                       CorvexLinkLineMotorChangeJogSpeed(line, jog->address.c_str(), *jog->speed),
                       "MotorChangeJogSpeed");
             check(
                 line,
                 CorvexLinkLineMotorJog(line, jog->address.c_str(), jog->direction == "cw" ? 1 : 0),
                 "MotorJog");
             s.out().result("jog", {{"address", jog->address}, {"direction", jog->direction}},
                            "jogging " + jog->direction + ": " + jog->address);
         }});

    auto stopTarget = std::make_shared<std::string>();
    auto *stop =
        addCommand(app, "stop", "Stop one motor, or every motor that answers a scan (all)");
    stop->add_option("ADDR", *stopTarget, "station address 0-15 or all")
        ->required()
        ->check(singleAddress() | CLI::IsMember({"all"}, CLI::ignore_case));
    table.push_back({stop, "stop", [stopTarget](Session &s) {
                         CorvexLinkLine *line = s.line();
                         std::vector<int> stations;
                         if (parseAddressList(*stopTarget, false)) {
                             stations.push_back(std::stoi(*stopTarget));
                         } else {
                             stations = scanStations(line);
                         }
                         for (int station : stations)
                             check(line,
                                   CorvexLinkLineMotorStop(line, std::to_string(station).c_str()),
                                   "MotorStop");
                         std::string text = "stopped:";
                         for (int station : stations) text += " " + std::to_string(station);
                         s.out().result("stop", {{"stations", stations}}, text);
                     }});

    struct SpeedArgs {
        std::string address;
        std::optional<int> slew, first, accel;
    };
    auto speed = std::make_shared<SpeedArgs>();
    auto *speedCmd =
        addCommand(app, "speed", "Set slew rate, first rate and/or acceleration of a motor");
    speedCmd->add_option("ADDR", speed->address, "station address 0-15")
        ->required()
        ->check(singleAddress());
    const std::string rates =
        std::to_string(CORVEXLINK_RATE_MIN) + "-" + std::to_string(CORVEXLINK_RATE_MAX);
    speedCmd->add_option("--slew", speed->slew, "slew rate, " + rates + " steps/s")
        ->transform(wholeNumber(CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX));
    speedCmd->add_option("--first", speed->first, "first (start) rate, " + rates + " steps/s")
        ->transform(wholeNumber(CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX));
    speedCmd
        ->add_option("--accel", speed->accel,
                     "acceleration, " + std::to_string(CORVEXLINK_ACCEL_MIN) + "-" +
                         std::to_string(CORVEXLINK_ACCEL_MAX))
        ->transform(wholeNumber(CORVEXLINK_ACCEL_MIN, CORVEXLINK_ACCEL_MAX));
    table.push_back(
        {speedCmd, "speed", [speed](Session &s) {
             if (!speed->slew && !speed->first && !speed->accel)
                 throw CLI::ValidationError("speed",
                                            "give at least one of --slew, --first, --accel");
             CorvexLinkLine *line = s.line();
             const char *a = speed->address.c_str();
             nlohmann::json fields = {{"address", std::stoi(speed->address)}};
             if (speed->slew) {
                 check(line, CorvexLinkLineMotorSlewRate(line, a, *speed->slew), "MotorSlewRate");
                 fields["slew"] = *speed->slew;
             }
             if (speed->first) {
                 check(line, CorvexLinkLineMotorFirstRate(line, a, *speed->first),
                       "MotorFirstRate");
                 fields["first"] = *speed->first;
             }
             if (speed->accel) {
                 check(line, CorvexLinkLineMotorAccelDecel(line, a, *speed->accel),
                       "MotorAccelDecel");
                 fields["accel"] = *speed->accel;
             }
             s.out().result("speed", fields, "speed of station " + speed->address + " set");
         }});

    struct CurrentArgs {
        std::string address;
        int milliamps = 0;
    };
    auto current = std::make_shared<CurrentArgs>();
    auto *currentCmd = addCommand(app, "current", "Set the winding current of a motor");
    currentCmd->add_option("ADDR", current->address, "station address 0-15")
        ->required()
        ->check(singleAddress());
    currentCmd
        ->add_option("MA", current->milliamps,
                     "current, " + std::to_string(CORVEXLINK_CURRENT_MIN) + "-" +
                         std::to_string(CORVEXLINK_CURRENT_MAX) + " mA")
        ->required()
        ->transform(wholeNumber(CORVEXLINK_CURRENT_MIN, CORVEXLINK_CURRENT_MAX));
    table.push_back({currentCmd, "current", [current](Session &s) {
                         CorvexLinkLine *line = s.line();
                         check(line,
                               CorvexLinkLineMotorSetCurrent(line, current->address.c_str(),
                                                             current->milliamps),
                               "MotorSetCurrent");
                         s.out().result("current",
                                        {{"address", std::stoi(current->address)},
                                         {"milliamps", current->milliamps}},
                                        "current of station " + current->address + " set to " +
                                            std::to_string(current->milliamps) + " mA");
                     }});

    auto posAddress = std::make_shared<std::string>();
    auto *pos = addCommand(app, "pos", "Show position and encoder count of a motor");
    pos->add_option("ADDR", *posAddress, "station address 0-15")
        ->required()
        ->check(singleAddress());
    table.push_back({pos, "pos", [posAddress](Session &s) {
                         const auto where = readPosition(s.line(), *posAddress);
                         s.out().result("pos", where,
                                        "position " + std::to_string(where["position"].get<int>()) +
                                            "  encoder " +
                                            std::to_string(where["encoder"].get<int>()));
                     }});

    auto statusAddress = std::make_shared<std::string>();
    auto *status = addCommand(
        app, "status",
        "Show the status register of a motor, decoded into its bits, on each line given");
    status->add_option("ADDR", *statusAddress, "station address 0-15")
        ->required()
        ->check(singleAddress());
    table.push_back(
        {status, "status",
         [statusAddress](Session &s) {
             const auto outcomes = onEveryLine(s, [&](const OpenLine &line) {
                 int32_t value = 0;
                 check(line.handle,
                       CorvexLinkLineMotorGetStatusRegister(line.handle, statusAddress->c_str(),
                                                            &value),
                       "MotorGetStatusRegister");
                 const auto bits = statusBitNames(value);
                 char hex[16];
                 std::snprintf(hex, sizeof hex, "0x%03X", static_cast<unsigned>(value));
                 std::string text = std::string("status ") + hex + ":";
                 for (const auto &bit : bits) text += " " + bit;
                 return LineResult{
                     {{"address", std::stoi(*statusAddress)}, {"status", value}, {"bits", bits}},
                     text};
             });
             printOutcomes(s, "status", outcomes);
         },
         true});

    struct PowerArgs {
        std::string address;
        std::string state;
    };
    auto power = std::make_shared<PowerArgs>();
    auto *powerCmd = addCommand(app, "power", "Switch the winding power of motors on or off");
    powerCmd->add_option("ADDR", power->address, "station address, list or all")
        ->required()
        ->check(addressList(true));
    powerCmd->add_option("STATE", power->state, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    table.push_back(
        {powerCmd, "power", [power](Session &s) {
             CorvexLinkLine *line = s.line();
             if (power->state == "on")
                 check(line, CorvexLinkLineMotorPowerON(line, power->address.c_str(), 1),
                       "MotorPowerON");
             else
                 check(line, CorvexLinkLineMotorPowerOFF(line, power->address.c_str()),
                       "MotorPowerOFF");
             s.out().result("power", {{"address", power->address}, {"power", power->state}},
                            "power " + power->state + ": " + power->address);
         }});
}

}  // namespace corvexctl
