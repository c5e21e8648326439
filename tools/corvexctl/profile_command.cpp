// SPDX-License-Identifier: MIT
// The profile subcommand: queues the segments of a CSV file in a station's FIFO, waiting
// for room whenever the FIFO is full, with a progress bar on a terminal.
#include "arguments.h"
#include "commands.h"

#include <CorvexLink.h>

#include "profile_csv.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace corvexctl {

namespace {

using corvexlink::profilecsv::ProfileError;
using corvexlink::profilecsv::readProfileFile;
using corvexlink::profilecsv::Segment;

// FIFO bytes one segment takes: first rate 3, slope 2, relative move 4.
constexpr int kSegmentBytes = 9;
constexpr int kFifoProfileBit = 0x40;

// A one-line bar on stderr, redrawn in place; silent when stderr is not a terminal.
class ProgressBar {
public:
    ProgressBar(bool enabled, int total)
        : enabled_(enabled && isatty(STDERR_FILENO)), total_(total) {}
    ~ProgressBar() { finish(); }
    void show(int done, int room) {
        if (!enabled_) return;
        constexpr int width = 30;
        const int filled = total_ ? done * width / total_ : width;
        std::string bar(filled, '#');
        bar.resize(width, '-');
        std::fprintf(stderr, "\rprofile [%s] %d/%d segments, FIFO room %3d bytes", bar.c_str(),
                     done, total_, room);
        std::fflush(stderr);
        shown_ = true;
    }
    void finish() {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    bool enabled_;
    int total_;
    bool shown_ = false;
};

// Polls the free room until one segment fits; a Failure after `timeoutSeconds`.
int waitForRoom(CorvexLinkLine *line, const char *address, double timeoutSeconds, int queued,
                int total, bool running) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
        int32_t room = 0;
        check(line, CorvexLinkLineFIFOGetRemainingBytes(line, address, &room),
              "FIFOGetRemainingBytes");
        if (room >= kSegmentBytes) return room;
        if (std::chrono::steady_clock::now() >= deadline)
            throw Failure("the FIFO of station " + std::string(address) + " stayed full; " +
                          std::to_string(queued) + " of " + std::to_string(total) +
                          " segments queued" +
                          (running ? "" : " (--run plays the profile while it is queued)"));
        if (!pause(20))
            throw Failure("interrupted; " + std::to_string(queued) + " of " +
                          std::to_string(total) + " segments queued");
    }
}

// Waits until the queued profile has played: the motor idle and, when the FIFO was reset
// first, all three entries of every segment counted as finished; with earlier entries kept,
// idle on two polls in a row with the same free room.
void waitForProfile(CorvexLinkLine *line, const char *address, int entries, bool counted,
                    double timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    int32_t lastRoom = -1;
    bool idleBefore = false;
    for (;;) {
        int32_t status = 0, index = 0, room = 0;
        check(line, CorvexLinkLineMotorGetStatusRegister(line, address, &status),
              "MotorGetStatusRegister");
        const bool idle = !(status & CORVEXLINK_STATUS_RUNING);
        if (counted) {
            check(line, CorvexLinkLineFIFOGetIndexCounter(line, address, &index),
                  "FIFOGetIndexCounter");
            if (idle && index >= entries) return;
        } else {
            check(line, CorvexLinkLineFIFOGetRemainingBytes(line, address, &room),
                  "FIFOGetRemainingBytes");
            if (idle && idleBefore && room == lastRoom) return;
            idleBefore = idle;
            lastRoom = room;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            throw Failure("the profile of station " + std::string(address) +
                          " was still playing after " + std::to_string(timeoutSeconds) + " s");
        if (!pause(50)) throw Failure("interrupted while the profile was playing");
    }
}

struct ProfileArgs {
    std::string address;
    std::string file;
    bool keep = false;
    bool run = false;
    int mode = 33;
    bool wait = false;
    double timeout = 60.0;
};

}  // namespace

void addProfileCommand(CLI::App &app, CommandTable &table) {
    auto args = std::make_shared<ProfileArgs>();
    auto *cmd =
        addCommand(app, "profile", "Queue a motion profile from a CSV file in a station's FIFO");
    cmd->add_option("ADDR", args->address, "station address 0-15")
        ->required()
        ->check(singleAddress());
    // The profile reader judges the file (a regular file of bounded size) and says why not.
    cmd->add_option("FILE", args->file, "CSV file: first rate,slope,steps per line")->required();
    cmd->add_flag("--keep", args->keep, "keep what the FIFO holds (default: reset it first)");
    cmd->add_flag("--run", args->run,
                  "switch the FIFO profile mode on first, so the profile plays while it is queued");
    cmd->add_option("--mode", args->mode,
                    "step mode sent with the FIFO bit by --run (36, 34, 33, 8; default 33)")
        ->transform(wholeNumberOf({36, 34, 33, 8}));
    cmd->add_flag("--wait", args->wait, "after queueing, wait until the motor has stopped");
    cmd->add_option("--timeout", args->timeout,
                    "seconds to wait for FIFO room or the stop (default 60)")
        ->check(decimalNumber(0.1, 86400.0));
    cmd->footer("Lines: first rate (" + std::to_string(CORVEXLINK_RATE_MIN) + "-" +
                std::to_string(CORVEXLINK_FIXED_SPEED_MAX) + "), slope (" +
                std::to_string(CORVEXLINK_FIFO_SLOPE_MIN) + ".." +
                std::to_string(CORVEXLINK_FIFO_SLOPE_MAX) +
                "), steps; a header line and # comments are allowed.\n"
                "Example: corvexctl profile 0 ramp.csv --run --wait");
    table.push_back(
        {cmd, "profile", [args](Session &s) {
             std::vector<Segment> segments;
             try {
                 segments = readProfileFile(args->file, args->file);
             } catch (const ProfileError &e) {
                 throw CLI::ValidationError("FILE", e.what());
             }
             if (args->wait && !args->run)
                 throw CLI::ValidationError(
                     "--wait", "--wait needs --run (the profile plays only in FIFO mode)");
             CorvexLinkLine *line = s.line();
             const char *a = args->address.c_str();
             if (!args->keep) check(line, CorvexLinkLineFIFOReset(line, a), "FIFOReset");
             if (args->run)
                 check(line,
                       CorvexLinkLineMotorConfigureMode(line, a, args->mode | kFifoProfileBit),
                       "MotorConfigureMode");
             const int total = static_cast<int>(segments.size());
             ProgressBar bar(!s.out().json(), total);
             int32_t room = 0;
             for (int i = 0; i < total; ++i) {
                 room = waitForRoom(line, a, args->timeout, i, total, args->run);
                 bar.show(i, room);
                 check(line,
                       CorvexLinkLineFIFOMotorFirstRate(line, a, segments[i].firstRate, &room),
                       "FIFOMotorFirstRate");
                 check(line, CorvexLinkLineFIFOMotorSlope(line, a, segments[i].slope, &room),
                       "FIFOMotorSlope");
                 check(line,
                       CorvexLinkLineFIFOMotorNumberStepRel(line, a, segments[i].steps, &room),
                       "FIFOMotorNumberStepRel");
             }
             bar.show(total, room);
             bar.finish();
             nlohmann::json fields = {
                 {"address", std::stoi(args->address)}, {"segments", total}, {"free", room}};
             std::string text = std::to_string(total) + " segments queued in station " +
                                args->address + ", FIFO room " + std::to_string(room) + " bytes";
             if (args->wait) {
                 waitForProfile(line, a, 3 * total, !args->keep, args->timeout);
                 const auto where = readPosition(line, args->address);
                 fields["position"] = where["position"];
                 text += "; stopped at position " + std::to_string(where["position"].get<int>());
             }
             s.out().result("profile", fields, text);
         }});
}

}  // namespace corvexctl
