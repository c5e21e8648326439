// SPDX-License-Identifier: MIT
// One simulated KX4417 station and the board resources it shares with the other three
// stations of its board. Not thread-safe: the owner serialises every call.
//
// Station model (all times are the simulator's steady clock). Power-on values: position
// and encoder 0, R600 F100 S50, mode 33, direction '+', jog speed 0, power on, FIFO empty.
//  * Motion. N (relative, signed), T (absolute) and G (repeat the last N; ?9 if none) run
//    a trapezoid from the first rate F up to the slew rate R and down again, with the
//    acceleration S x 1000 steps/s^2 (S = 0: straight at the slew rate). J jogs in the
//    direction set by '+'/'-' at the jog speed Y (Y = 0: the slew rate) until H; Y during
//    a jog changes its speed. A motion takes its first step the moment it starts. H stops
//    at once (ABORTD), ends a running program and holds the FIFO (below). I (soft reset)
//    stops, empties the FIFO, ends program recording and running, and brings every
//    setting, position and encoder back to the power-on values (the stored program, the
//    line rate and the board lines stay). N/T/J/G/A/D while busy answer ?6, '+'/'-' while
//    running ?8, a move towards an active limit switch ?7 (an active switch also stops a
//    motion running into it, with ABORTD), a motion with the power off (*0) ?9; *0 also
//    stops the motor. D outside the FIFO and the program waits the value in ms.
//  * Status register: bit 0 TRGD = trigger line on, 1 PSED = pause line on, 2 ABORTD,
//    3 RUNING, 4 LS-CCW, 5 LS-CW, 6 HOME = position 0, 7 READY = powered and idle,
//    8 DIR = last/current motion in the '+' direction, 9 STALL (never set).
//  * Trigger and pause lines belong to the board and are set by its master (address 4k):
//    ':' "$HHHHHHHH" (board 3 byte first) gives each addressed master its board's byte, and
//    W on a master takes its low byte as well (bits 8+ are the ADC sequencing control).
//    Bits 0-3 are the trigger lines (0 = on), bits 4-7 the pause lines (0 = on) of motors
//    4k..4k+3. A paused motor's motion (and its FIFO and program) is frozen in time. The
//    trigger line gates nothing; it shows as TRGD. ':' on another station: ?9.
//  * Position is read with P and the encoder with {, both as 24-bit sign-and-magnitude
//    (negative n is 8388608 + |n|). The encoder follows the motion; } sets it, and A sets
//    the position counter without moving the encoder.
//  * User I/O: C stores the configuration, W the outputs, B answers the inputs
//    (setUserInputs). SPI: O configures (a value without bit 0x80 makes the station an SPI
//    slave); U and V answer ?4 before O and ?5 as a slave. U on a board's user-I/O
//    controller (4k+1) stores the winding-current code (bits 0-7) of motor bits 9-10 of
//    the board; V reads back the last U value.
//  * ADC on the master: 11 channels of 12 bits (setAdcChannel), Z answers channel code
//    (0-10, 11 half scale, 12 null, 13 full scale; OR 16/32/64 for 8/10/12 bits) scaled
//    to the resolution; '<' 10 or 12 answers the eleven channels. Elsewhere ?9.
//  * FIFO: "&" + G S W U R F D N T queues the command and answers the free room; it costs
//    G 1, S 2, W U R F D 3, N T 4 bytes of a 128-byte budget; ?3 when it does not fit.
//    Values are checked when queued (?1/?2). With mode bit 0x40 set the queue runs in
//    order (settings at once, N/T/G as moves, D as a wait of the value in ms); each entry
//    frees its bytes when it has finished, so a full FIFO empties in real time. An entry
//    that fails when it runs is skipped. H drops the running entry and holds the rest
//    until the next M with bit 0x40. '[' answers the number of entries finished since the
//    last K (FIFO reset), ']' the free room.
//  * Stored program: E clears the program and starts recording; while recording every
//    command except the reads (P { = B V Z < [ ]), H, I, K and E/X/L is stored (up to 64,
//    then ?9) and answered with the prompt. X ends recording and runs the program once,
//    L runs it in a loop until H or I; X/L with no program: ?9. The program runs like the
//    FIFO and takes precedence over it.
//  * Errors: unknown letter or bad syntax ?2, a missing or out-of-range value ?1.
#pragma once

#include <kx4417/simulator.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "frame_parser.h"
#include "motion_profile.h"

namespace kx4417 {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

constexpr int kFifoCapacity = 128;
constexpr std::size_t kProgramCapacity = 64;
constexpr int kAdcChannels = 11;

// What the four stations of a board share: the trigger and pause lines (driven by the
// master), the ADC (read through the master) and the winding-current codes (written over
// the SPI bus of the user-I/O controller).
struct Board {
    Board();
    std::uint8_t lineByte = 0xFF;         // bits 0-3 trigger, 4-7 pause; 0 = line on
    int adcControl = 0;                   // bits 8+ of the master's last output write
    std::array<int, kAdcChannels> adc{};  // 12-bit readings
    std::array<int, 4> currentCode{};
};

// What a station holds at power-on, all of which a soft reset (I) puts back. What a soft
// reset leaves alone stays outside: the stored program, the line rate (kept by the bus),
// the board's lines, the user inputs, the limit switches, the encoder-fail count and the
// overrides set through the simulator's own interface.
struct StationSettings {
    long position = 0;       // where the motor stands while no motion runs
    long encoderOffset = 0;  // encoder count minus position
    int mode = 33;
    int slewRate = 600;         // R
    int firstRate = 100;        // F
    int accel = 50;             // S
    bool directionPlus = true;  // set by '+' / '-'
    bool motionPlus = true;     // DIR bit: the last or current motion runs in '+'
    int jogSpeed = 0;           // Y
    bool powerOn = true;
    bool aborted = false;              // ABORTD
    std::optional<long> lastRelative;  // the last N, repeated by G
    int ioConfig = 0;
    int outputs = 0;
    bool spiConfigured = false;
    int spiConfig = 0;
    int lastSpiWrite = 0;
};

// Answer texts.
std::string promptAnswer();
std::string valueAnswer(long long value);
std::string errorAnswer(int code);
// A signed count as the 24-bit sign-and-magnitude number the stations answer.
long long signMagnitude24(long long value);

class Station {
public:
    Station(int address, Board &board);

    // Brings motion, FIFO and program up to `now` (call before anything else at `now`).
    void advance(TimePoint now);
    // Executes a frame addressed to this station; returns its answer.
    std::string handle(const ParsedFrame &frame, TimePoint now);
    StationSnapshot snapshot() const;

    void setUserInputs(int value) { inputs_ = value; }
    void setLimitSwitch(bool ccw, bool cw);
    void setStatusOverride(std::optional<int> status) { statusOverride_ = status; }
    void setPositionRaw(std::optional<int> raw) { positionRaw_ = raw; }

private:
    enum class Source { Direct, Fifo, Program };
    struct Activity {
        enum class Kind { Idle, Move, Jog, Wait } kind = Kind::Idle;
        long startPosition = 0;
        int direction = 1;
        MotionProfile profile{0, 1, 1, 0};
        double elapsed = 0;  // seconds of (unpaused) running
        double duration = 0;
        Source source = Source::Direct;
    };
    struct Entry {
        char letter;
        std::string text;
        int cost;
    };
    // The FIFO as a reset (K, I) leaves it: empty, running, nothing counted.
    struct Fifo {
        std::deque<Entry> entries;
        bool entryActive = false;  // the front entry is running
        bool held = false;         // stopped by H until the next M with the FIFO bit
        int finished = 0;          // entries finished since the last reset
    };

    int check(char letter, const std::string &text) const;
    int apply(char letter, const std::string &text, Source source);
    std::string read(char letter, const std::string &text) const;
    std::string queue(const ParsedFrame &frame);
    std::string control(char letter, TimePoint now);

    bool busy(Source source) const;
    bool moving() const;
    bool paused() const;
    bool triggered() const;
    bool blockedByLimit(int direction) const;
    long position() const;
    int status() const;
    int fifoUsed() const;

    int startMove(long target, Source source);
    void startJog();
    void stopActivity(bool aborted);
    void finishActivity();
    void finishFifoEntry();
    bool startNextEntry();
    void softReset();

    int address_;
    Board &board_;
    TimePoint lastAdvance_{};

    StationSettings settings_;
    Activity activity_;
    bool limitCcw_ = false;
    bool limitCw_ = false;
    int encoderFailSteps_ = 0;
    int inputs_ = 0;

    Fifo fifo_;

    std::vector<Entry> program_;
    bool recording_ = false;
    bool programRunning_ = false;
    bool programLoop_ = false;
    bool passHadActivity_ = false;
    std::size_t programCounter_ = 0;

    std::optional<int> statusOverride_;
    std::optional<int> positionRaw_;
};

}  // namespace kx4417
