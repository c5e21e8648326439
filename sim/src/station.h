// SPDX-License-Identifier: MIT
// One simulated KX4417 station and the board resources it shares with the other three
// stations of its board. Not thread-safe: the owner serialises every call. The behaviour
// is described in kx4417/simulator.h.
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

    long position_ = 0;
    long encoderOffset_ = 0;
    int mode_ = 33;
    int slewRate_ = 600;
    int firstRate_ = 100;
    int accel_ = 50;
    bool directionPlus_ = true;
    bool motionPlus_ = true;  // DIR bit
    int jogSpeed_ = 0;
    bool powerOn_ = true;
    bool aborted_ = false;
    bool limitCcw_ = false;
    bool limitCw_ = false;
    int encoderFailSteps_ = 0;
    std::optional<long> lastRelative_;
    Activity activity_;

    int ioConfig_ = 0;
    int outputs_ = 0;
    int inputs_ = 0;
    bool spiConfigured_ = false;
    int spiConfig_ = 0;
    int lastSpiWrite_ = 0;

    std::deque<Entry> fifo_;
    bool fifoEntryActive_ = false;  // the front entry is running
    bool fifoHeld_ = false;         // stopped by H until the next M with the FIFO bit
    int fifoIndex_ = 0;

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
