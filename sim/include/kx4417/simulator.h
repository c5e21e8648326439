// SPDX-License-Identifier: MIT
// kx4417 station simulator: KX4417 stations on Corvex-B boards behind a pseudo-terminal.
//
// The simulator opens a pty, keeps the master side and hands the slave path to a host
// (directly, or through a symlink such as /tmp/xyz/com1 that CORVEXLINK_COM1 points at).
// It runs its line I/O on its own thread; every public member may be called from any
// thread. Answers are written in the format the host expects:
//
//   plain prompt      "\r\n>"
//   value answer      "\r\n<decimal>\r\n>"
//   error answer      "?<code>\r\n>"
//   all ADC channels  "\r\n<v0>,<v1>,...,<v10>,\r\n>"
//
// Framing. A frame is everything up to a CR. A lone CR gets no answer. Prefixes: '_' and
// one upper-case hex digit (one station), or four upper-case hex digits (a mask, bit n =
// address n). The prefix alone is a probe and gets the plain prompt. Every addressed
// station that is present, hears the host's line rate and is not silenced acts on the
// frame; exactly one of them answers, the lowest address. "^d" (no prefix, or after a
// prefix for the addressed stations only) moves the line rate of the listening stations
// to 9600/19200/38400/57600/115200 for d = 0..4 and is not answered (other codes are
// ignored). A station hears a frame when its rate equals the host's rate read as the
// frame's CR is taken in; since a host switches its own rate right after sending '^', a
// '^' frame is also heard at the host's rate seen just before the frame arrived. A frame
// without a valid prefix is answered "?2" once by the lowest listening station.
//
// The line. The slave is set raw 8N1 at the stations' rate when the pty opens; the host
// programs its own termios (the master sees them). The simulator keeps a slave fd of its
// own, so the master never reports a hang-up while no host has the slave open, and lifts
// a host's exclusive-use mark (TIOCEXCL) once nobody but the simulator has the slave open
// any more, so the next open by an unprivileged host succeeds; another process's close
// (a refused second open included) leaves the mark of the host that still holds the line.
// Output waits in a queue while the host does not read; the queue keeps the newest
// kMaxPendingOutput bytes and counts what it had to drop (outputDropped()).
//
// Faults. A FaultPlan gives each kind of fault a probability per answered frame; one
// seeded generator decides, so the same seed and the same frames give the same faults.
// At most one fault hits a frame. Every fault is named in the transcript (Frame::fault).
//
// Stations. Each simulated station keeps the state that StationSnapshot shows and runs its
// motions, FIFO and stored program in real time; the model (commands, status bits,
// power-on values, errors) is described beside its code, in sim/src/station.h.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kx4417 {

struct SimOptions {
    std::vector<int> stations{0, 1, 2, 3};  // addresses present (0..15)
    std::string linkPath;                   // if not empty, a symlink to the slave path
    bool wireTime = false;                  // delay each byte by 10 bit times at the line rate
    int stationBaudRate = 9600;             // line rate of every station at start
    std::size_t transcriptLimit = 10000;    // frames kept; older ones are dropped (counted)
};

// Output bytes kept for a host that does not read; older bytes are dropped beyond this.
inline constexpr std::size_t kMaxPendingOutput = std::size_t{4} << 20;

// The kinds of injected fault.
enum class Fault : int {
    Drop,            // the frame is executed but its answer is not sent
    Delay,           // the answer is sent delayMin..delayMax late
    GarbageBefore,   // 1..8 noise bytes (never '>' or NUL) before the answer
    GarbageInstead,  // 1..8 noise bytes instead of the answer
    Nul,             // 1..3 NUL bytes inside the answer
    Split,           // the answer in 2..4 pieces, splitGap apart
    Overlong,        // overlongBytes of text without a prompt instead of the answer
    WrongRate,       // the answer as a host at another rate reads it: bytes with bit 7 set
    TwoStations,     // another present station answers the same frame right after
    HangUp,          // the line goes away (after every hangUpAfter frames), back later
};
inline constexpr int kFaultKinds = 10;
// "drop", "delay", "garbage-before", ... (the command-line names).
const char *faultName(Fault fault);

struct FaultPlan {
    std::uint64_t seed = 1;
    // Probability per answered frame of each kind (HangUp is counted in frames instead).
    std::array<double, kFaultKinds> probability{};
    std::chrono::milliseconds delayMin{190};
    std::chrono::milliseconds delayMax{210};
    std::chrono::milliseconds splitGap{30};
    std::size_t overlongBytes = 6000;
    int hangUpAfter = 0;                            // hang up after this many frames; 0: never
    std::chrono::milliseconds reconnectAfter{300};  // a fresh pty (and link) this much later

    double &operator[](Fault f) { return probability[static_cast<std::size_t>(f)]; }
    double operator[](Fault f) const { return probability[static_cast<std::size_t>(f)]; }
    // `total` spread evenly over every per-frame kind (all but HangUp).
    static FaultPlan everyKind(double total, std::uint64_t seed = 1);
};

using FaultCounts = std::array<std::uint64_t, kFaultKinds>;

// One received frame: the bytes up to and including the CR ("\r" for a lone CR), and the
// fault injected into its answer ("" for none), e.g. "delay 203 ms".
struct Frame {
    std::chrono::steady_clock::time_point at;
    std::string bytes;
    std::string fault;
};

// A consistent copy of one station's state. Its settings default to the power-on values.
struct StationSnapshot {
    int address = -1;
    bool present = false;
    long position = 0;
    long encoder = 0;
    int status = 0;  // the status register as '=' would answer it
    int mode = 33;
    int slewRate = 600;
    int firstRate = 100;
    int accel = 50;
    bool directionPlus = true;  // set by '+' / '-'
    int jogSpeed = 0;
    bool running = false;  // a move or jog in progress
    bool jogging = false;
    bool powerOn = true;
    int encoderFailSteps = 0;
    int windingCurrentCode = 0;  // this motor's code, held by the board's user-I/O controller
    int userIoConfig = 0;
    int userOutputs = 0;
    int userInputs = 0;
    bool spiConfigured = false;
    int spiConfig = 0;
    int lastSpiWrite = 0;
    bool triggerOn = false;  // the board's trigger line of this motor
    bool pauseOn = false;    // the board's pause line of this motor
    int fifoFree = 0;
    int fifoIndex = 0;
    std::vector<std::string> fifo;  // queued entries, letter and value ("N400")
    bool programRecording = false;
    bool programRunning = false;
    std::vector<std::string> program;  // stored entries, letter and value
    int baudRate = 9600;
    bool silent = false;
};

class Simulator {
public:
    explicit Simulator(SimOptions options = {});
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Opens the pty (and the link) and starts the I/O thread. False if the pty cannot be
    // opened or the link cannot be made; true if already running.
    bool start();
    // Stops the thread, closes the pty and removes the link. Safe to call twice.
    void stop();
    bool running() const;

    // Slave path of the current pty ("" before start or after a hang-up).
    std::string slavePath() const;
    std::string linkPath() const;

    // Transcript: every frame received, split at CR, with the time its CR arrived. It keeps
    // the newest SimOptions::transcriptLimit frames; transcriptDropped() counts the others.
    std::vector<Frame> frames() const;
    std::vector<std::string> frameTexts() const;
    void clearTranscript();
    // Returns the transcript and empties it in one step (nothing is lost in between).
    std::vector<Frame> takeFrames();
    // Waits until at least count frames have arrived since the transcript was last cleared
    // or taken; false on time-out.
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;
    std::uint64_t transcriptDropped() const;
    // Output bytes dropped because the host did not read them (see kMaxPendingOutput).
    std::uint64_t outputDropped() const;

    // Faults.
    void setSilent(int address, bool silent);          // station ignores everything
    void dropNextFrames(int count);                    // the next N non-empty frames are ignored
    void setAnswerDelay(std::chrono::milliseconds d);  // every answer is sent this much later
    // The station answers its next `times` commands (probes and '^' excluded) with
    // "?<code>\r\n>" and does not execute them.
    void answerErrorCode(int address, int code, int times = 1);
    // The next non-empty frame is still executed, but instead of its answer (or even when
    // nobody would answer) these chunks are written, `gap` apart.
    void scriptNextAnswer(std::vector<std::string> chunks, std::chrono::milliseconds gap);
    void sendRaw(const std::string &bytes);  // unsolicited bytes, now
    // The line goes away: master and the simulator's own slave fd are closed, so the host
    // sees POLLHUP/EIO. slavePath() becomes "" and the link is left dangling.
    void hangUp();
    // A fresh pty; the link (if any) is pointed at the new slave. False on failure.
    bool reconnect();
    // Random faults from now on (restarts the generator from plan.seed); a default plan
    // injects none.
    void setFaults(const FaultPlan &plan);
    FaultCounts faultCounts() const;  // faults injected since start, by kind

    // Line rate.
    int hostBaudRate() const;  // rate the host programmed on the slave (0 when no pty)
    int stationBaudRate(int address) const;
    void setFollowsBaudChange(int address, bool follows);
    // Puts a station at another line rate (it hears only a host at that rate).
    void setStationBaudRate(int address, int baud);

    // Station model access (thread-safe snapshots and setters). Addresses outside 0..15
    // are ignored; setters act on absent stations too (they become visible when present).
    StationSnapshot station(int address) const;
    void setUserInputs(int address, int value);
    void setAdcChannel(int master, int channel, int value);  // channel 0..10, value 0..4095
    void setLimitSwitch(int address, bool ccw, bool cw);
    void setStatusOverride(int address, std::optional<int> status);  // '=' answers this
    // P answers this raw 24-bit value until cleared with a negative value.
    void setPositionRaw(int address, int raw24);

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace kx4417
