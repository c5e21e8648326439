// SPDX-License-Identifier: MIT
#include "station.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace kx4417 {

namespace {

constexpr long kMaxCount = 8388607;  // largest 24-bit magnitude
constexpr int kMaxRate = 10239;
constexpr double kAccelUnit = 1000.0;  // steps/s^2 per unit of S

// Valid values of the commands that take one; a letter absent here takes none.
struct Range {
    char letter;
    long long low;
    long long high;
};
constexpr Range kRanges[] = {
    {'R', 16, kMaxRate},
    {'F', 16, kMaxRate},
    {'S', 0, 255},
    {'M', 0, 255},
    {'Y', 0, kMaxRate},
    {'N', -kMaxCount, kMaxCount},
    {'T', -kMaxCount, kMaxCount},
    {'A', -kMaxCount, kMaxCount},
    {'#', -kMaxCount, kMaxCount},
    {'}', -kMaxCount, kMaxCount},
    {'*', 0, 65535},
    {'O', 0, 255},
    {'U', 0, 65535},
    {'C', 0, 65535},
    {'W', 0, 65535},
    {'D', 0, 65535},
    {'Z', 0, 127},
    {'<', 0, 12},
};

const Range *rangeOf(char letter) {
    for (const auto &r : kRanges)
        if (r.letter == letter) return &r;
    return nullptr;
}

// Room a queued command takes in the FIFO; 0 for letters that cannot be queued.
int fifoCost(char letter) {
    switch (letter) {
    case 'G': return 1;
    case 'S': return 2;
    case 'W':
    case 'U':
    case 'R':
    case 'F':
    case 'D': return 3;
    case 'N':
    case 'T': return 4;
    default: return 0;
    }
}

bool isRead(char letter) {
    return std::string_view("P{=BVZ<[]").find(letter) != std::string_view::npos;
}
bool isControl(char letter) {
    return std::string_view("EXLHIK").find(letter) != std::string_view::npos;
}

long long valueOf(const std::string &text) { return parseValue(text).number; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The byte of `board` in a line-state text "$HHHHHHHH" (board 3 first); -1 if malformed.
int lineByteFor(const std::string &text, int board) {
    if (text.size() != 9 || text[0] != '$') return -1;
    for (std::size_t i = 1; i < text.size(); ++i)
        if (hexDigit(text[i]) < 0) return -1;
    std::size_t at = 1 + static_cast<std::size_t>(3 - board) * 2;
    return hexDigit(text[at]) * 16 + hexDigit(text[at + 1]);
}

}  // namespace

Board::Board() {
    // A gentle ramp across the channels, so a fresh board shows distinct readings.
    for (int i = 0; i < kAdcChannels; ++i) adc[static_cast<std::size_t>(i)] = 4095 * (i + 1) / 12;
}

std::string promptAnswer() { return "\r\n>"; }
std::string valueAnswer(long long value) { return "\r\n" + std::to_string(value) + "\r\n>"; }
std::string errorAnswer(int code) { return "?" + std::to_string(code) + "\r\n>"; }

// A count as the station sends it: 24-bit sign and magnitude. The simulator encodes it on
// its own, on purpose, rather than through the library's decoding rule: a fault in that
// rule then shows up as a wrong reading in the tests instead of cancelling out.
long long signMagnitude24(long long value) {
    if (value >= 0) return std::min<long long>(value, kMaxCount);
    return 8388608 + std::min<long long>(-value, kMaxCount);
}

Station::Station(int address, Board &board) : address_(address), board_(board) {}

// ---------------------------------------------------------------- time

void Station::advance(TimePoint now) {
    if (lastAdvance_ == TimePoint{}) lastAdvance_ = now;
    double dt = std::chrono::duration<double>(now - lastAdvance_).count();
    lastAdvance_ = std::max(lastAdvance_, now);
    if (paused()) return;
    if (dt < 0) dt = 0;
    // Bounded: every pass either consumes time, finishes an entry or returns.
    for (int pass = 0; pass < 100000; ++pass) {
        if (activity_.kind == Activity::Kind::Idle) {
            if (!startNextEntry()) return;
            continue;
        }
        if (activity_.kind != Activity::Kind::Wait && blockedByLimit(activity_.direction)) {
            stopActivity(true);
            continue;
        }
        double remaining = activity_.duration - activity_.elapsed;
        if (dt < remaining) {
            activity_.elapsed += dt;
            return;
        }
        dt -= remaining;
        activity_.elapsed = activity_.duration;
        finishActivity();
    }
}

bool Station::startNextEntry() {
    Entry entry;
    Source source;
    if (programRunning_) {
        if (programCounter_ >= program_.size()) {
            // A loop whose pass took no time would never end; it stops after one pass.
            if (!programLoop_ || !passHadActivity_) {
                programRunning_ = false;
                return false;
            }
            programCounter_ = 0;
            passHadActivity_ = false;
        }
        entry = program_[programCounter_++];
        source = Source::Program;
    } else if ((mode_ & 0x40) && !fifoHeld_ && !fifo_.empty() && !fifoEntryActive_) {
        entry = fifo_.front();
        fifoEntryActive_ = true;
        source = Source::Fifo;
    } else {
        return false;
    }
    // An entry that fails is skipped, as the station has nobody to answer to.
    apply(entry.letter, entry.text, source);
    if (activity_.kind == Activity::Kind::Idle) {
        if (source == Source::Fifo) finishFifoEntry();
    } else {
        activity_.source = source;
        if (source == Source::Program) passHadActivity_ = true;
    }
    return true;
}

void Station::finishActivity() {
    if (activity_.kind == Activity::Kind::Move)
        position_ =
            activity_.startPosition +
            activity_.direction * std::lround(activity_.profile.stepsAt(activity_.duration));
    Source source = activity_.source;
    activity_ = Activity{};
    if (source == Source::Fifo) finishFifoEntry();
}

void Station::finishFifoEntry() {
    if (fifoEntryActive_ && !fifo_.empty()) {
        fifo_.pop_front();
        ++fifoIndex_;
    }
    fifoEntryActive_ = false;
}

void Station::stopActivity(bool aborted) {
    if (activity_.kind == Activity::Kind::Idle) return;
    position_ = position();
    Source source = activity_.source;
    activity_ = Activity{};
    if (aborted) aborted_ = true;
    if (source == Source::Fifo) finishFifoEntry();
}

// A motion issues its first step the moment it starts, the next ones at the running rate.
long Station::position() const {
    if (!moving()) return position_;
    double steps = 1 + std::floor(activity_.profile.stepsAt(activity_.elapsed));
    if (!activity_.profile.endless())
        steps = std::min(steps, std::round(activity_.profile.stepsAt(activity_.duration)));
    return activity_.startPosition + activity_.direction * static_cast<long>(steps);
}

// ---------------------------------------------------------------- state

bool Station::moving() const {
    return activity_.kind == Activity::Kind::Move || activity_.kind == Activity::Kind::Jog;
}

bool Station::busy(Source source) const {
    if (activity_.kind != Activity::Kind::Idle) return true;
    return source == Source::Direct && (programRunning_ || fifoEntryActive_);
}

bool Station::paused() const { return (board_.lineByte & (0x10 << (address_ % 4))) == 0; }
bool Station::triggered() const { return (board_.lineByte & (0x01 << (address_ % 4))) == 0; }

bool Station::blockedByLimit(int direction) const {
    return (direction > 0 && limitCw_) || (direction < 0 && limitCcw_);
}

int Station::fifoUsed() const {
    int used = 0;
    for (const auto &e : fifo_) used += e.cost;
    return used;
}

int Station::status() const {
    bool idle = activity_.kind == Activity::Kind::Idle && !programRunning_ && !fifoEntryActive_;
    int s = 0;
    if (triggered()) s |= 1 << 0;
    if (paused()) s |= 1 << 1;
    if (aborted_) s |= 1 << 2;
    if (moving()) s |= 1 << 3;
    if (limitCcw_) s |= 1 << 4;
    if (limitCw_) s |= 1 << 5;
    if (position() == 0) s |= 1 << 6;
    if (powerOn_ && idle) s |= 1 << 7;
    if (motionPlus_) s |= 1 << 8;
    return s;
}

void Station::setLimitSwitch(bool ccw, bool cw) {
    limitCcw_ = ccw;
    limitCw_ = cw;
    if (moving() && blockedByLimit(activity_.direction)) stopActivity(true);
}

// ---------------------------------------------------------------- commands

std::string Station::handle(const ParsedFrame &frame, TimePoint now) {
    char letter = frame.letter;
    if (frame.fifo) return queue(frame);
    if (isRead(letter)) {
        int code = check(letter, frame.valueText);
        return code ? errorAnswer(code) : read(letter, frame.valueText);
    }
    if (isControl(letter)) return control(letter, now);
    int code = check(letter, frame.valueText);
    if (code) return errorAnswer(code);
    if (recording_) {
        if (program_.size() >= kProgramCapacity) return errorAnswer(9);
        program_.push_back({letter, frame.valueText, 0});
        return promptAnswer();
    }
    code = apply(letter, frame.valueText, Source::Direct);
    if (code) return errorAnswer(code);
    advance(now);  // a queued FIFO or a zero-length move settles at once
    return promptAnswer();
}

// Syntax and range of a command's value: 0, 1 (missing or out of range) or 2 (unknown
// letter, malformed value).
int Station::check(char letter, const std::string &text) const {
    if (letter == ':') return lineByteFor(text, 0) < 0 ? 2 : 0;
    const Range *range = rangeOf(letter);
    bool known = range || isRead(letter) || isControl(letter) ||
                 std::string_view("+-JG").find(letter) != std::string_view::npos;
    if (!known || letter == 0) return 2;
    if (!range) return 0;  // letters without a value ignore whatever follows
    Value v = parseValue(text);
    switch (v.state) {
    case Value::State::Absent: return 1;
    case Value::State::Bad: return 2;
    case Value::State::OutOfRange: return 1;
    case Value::State::Ok: break;
    }
    return v.number < range->low || v.number > range->high ? 1 : 0;
}

std::string Station::queue(const ParsedFrame &frame) {
    int cost = fifoCost(frame.letter);
    if (cost == 0) return errorAnswer(2);
    int code = check(frame.letter, frame.valueText);
    if (code) return errorAnswer(code);
    int room = kFifoCapacity - fifoUsed();
    if (room < cost) return errorAnswer(3);
    fifo_.push_back({frame.letter, frame.valueText, cost});
    return valueAnswer(room - cost);
}

// Setters and motion: executed directly, from the FIFO or from the stored program.
// Returns 0 or an answer code. The value has passed check().
int Station::apply(char letter, const std::string &text, Source source) {
    long long v = valueOf(text);
    switch (letter) {
    case 'R': slewRate_ = static_cast<int>(v); return 0;
    case 'F': firstRate_ = static_cast<int>(v); return 0;
    case 'S': accel_ = static_cast<int>(v); return 0;
    case 'M':
        mode_ = static_cast<int>(v);
        if (mode_ & 0x40) fifoHeld_ = false;
        return 0;
    case 'Y':
        jogSpeed_ = static_cast<int>(v);
        if (activity_.kind == Activity::Kind::Jog) startJog();  // on at the new speed
        return 0;
    case '+':
    case '-':
        if (moving()) return 8;
        directionPlus_ = motionPlus_ = letter == '+';
        return 0;
    case 'N':
    case 'T':
    case 'G': {
        if (busy(source)) return 6;
        if (letter == 'G' && !lastRelative_) return 9;
        long target = letter == 'T'
                          ? static_cast<long>(v)
                          : position() + (letter == 'N' ? static_cast<long>(v) : *lastRelative_);
        if (letter == 'N') lastRelative_ = static_cast<long>(v);
        return startMove(target, source);
    }
    case 'J':
        if (busy(source)) return 6;
        if (!powerOn_) return 9;
        if (blockedByLimit(directionPlus_ ? 1 : -1)) return 7;
        aborted_ = false;
        startJog();
        activity_.source = source;
        return 0;
    case 'D':
        if (busy(source)) return 6;
        if (v > 0) {
            activity_ = Activity{};
            activity_.kind = Activity::Kind::Wait;
            activity_.duration = static_cast<double>(v) / 1000.0;
            activity_.source = source;
        }
        return 0;
    case 'A':
        if (busy(source)) return 6;
        encoderOffset_ += position_ - static_cast<long>(v);  // the encoder keeps its count
        position_ = static_cast<long>(v);
        return 0;
    case '#': encoderFailSteps_ = static_cast<int>(v); return 0;
    case '}': encoderOffset_ = static_cast<long>(v) - position(); return 0;
    case '*':
        powerOn_ = v != 0;
        if (!powerOn_) stopActivity(true);
        return 0;
    case 'O':
        spiConfig_ = static_cast<int>(v);
        spiConfigured_ = true;
        return 0;
    case 'U':
        if (!spiConfigured_) return 4;
        if (!(spiConfig_ & 0x80)) return 5;
        lastSpiWrite_ = static_cast<int>(v);
        if (address_ % 4 == 1)
            board_.currentCode[static_cast<std::size_t>((v >> 9) & 3)] = static_cast<int>(v & 0xFF);
        return 0;
    case 'C': ioConfig_ = static_cast<int>(v); return 0;
    case 'W':
        outputs_ = static_cast<int>(v);
        if (address_ % 4 == 0) {
            board_.lineByte = static_cast<std::uint8_t>(v & 0xFF);
            board_.adcControl = static_cast<int>(v >> 8);
        }
        return 0;
    case ':':
        if (address_ % 4 != 0) return 9;
        board_.lineByte = static_cast<std::uint8_t>(lineByteFor(text, address_ / 4));
        return 0;
    default: return 2;
    }
}

int Station::startMove(long target, Source source) {
    if (!powerOn_) return 9;
    long distance = target - position();
    int direction = distance >= 0 ? 1 : -1;
    if (distance != 0 && blockedByLimit(direction)) return 7;
    aborted_ = false;
    if (distance == 0) return 0;
    motionPlus_ = direction > 0;
    activity_ = Activity{};
    activity_.kind = Activity::Kind::Move;
    activity_.startPosition = position_;
    activity_.direction = direction;
    activity_.profile = MotionProfile(static_cast<double>(std::labs(distance)), firstRate_,
                                      slewRate_, accel_ * kAccelUnit);
    activity_.duration = activity_.profile.duration();
    activity_.source = source;
    return 0;
}

void Station::startJog() {
    Source source = activity_.source;
    position_ = position();
    int speed = jogSpeed_ > 0 ? jogSpeed_ : slewRate_;
    activity_ = Activity{};
    activity_.kind = Activity::Kind::Jog;
    activity_.startPosition = position_;
    activity_.direction = directionPlus_ ? 1 : -1;
    activity_.profile = MotionProfile(-1, firstRate_, speed, accel_ * kAccelUnit);
    activity_.duration = activity_.profile.duration();
    activity_.source = source;
    motionPlus_ = directionPlus_;
}

std::string Station::read(char letter, const std::string &text) const {
    bool master = address_ % 4 == 0;
    switch (letter) {
    case 'P': return valueAnswer(positionRaw_ ? *positionRaw_ : signMagnitude24(position()));
    case '{': return valueAnswer(signMagnitude24(position() + encoderOffset_));
    case '=': return valueAnswer(statusOverride_ ? *statusOverride_ : status());
    case 'B': return valueAnswer(inputs_);
    case 'V':
        if (!spiConfigured_) return errorAnswer(4);
        if (!(spiConfig_ & 0x80)) return errorAnswer(5);
        return valueAnswer(lastSpiWrite_);
    case '[': return valueAnswer(fifoIndex_);
    case ']': return valueAnswer(kFifoCapacity - fifoUsed());
    case 'Z': {
        if (!master) return errorAnswer(9);
        long long code = valueOf(text);
        int bits = code & 0x40 ? 12 : code & 0x20 ? 10 : code & 0x10 ? 8 : 0;
        int flags = static_cast<int>(code & 0x70);
        int channel = static_cast<int>(code & 0x0F);
        if ((flags != 0x10 && flags != 0x20 && flags != 0x40) || channel > 13)
            return errorAnswer(1);
        int raw = channel < kAdcChannels ? board_.adc[static_cast<std::size_t>(channel)]
                  : channel == 11        ? 2048
                  : channel == 12        ? 0
                                         : 4095;
        return valueAnswer(raw >> (12 - bits));
    }
    case '<': {
        if (!master) return errorAnswer(9);
        long long bits = valueOf(text);
        if (bits != 10 && bits != 12) return errorAnswer(1);
        std::string all;
        for (int raw : board_.adc) all += std::to_string(raw >> (12 - bits)) + ",";
        return "\r\n" + all + "\r\n>";
    }
    default: return errorAnswer(2);
    }
}

std::string Station::control(char letter, TimePoint now) {
    switch (letter) {
    case 'E':
        program_.clear();
        recording_ = true;
        programRunning_ = false;
        return promptAnswer();
    case 'X':
    case 'L':
        recording_ = false;
        if (program_.empty()) return errorAnswer(9);
        if (busy(Source::Direct)) return errorAnswer(6);
        programRunning_ = true;
        programLoop_ = letter == 'L';
        programCounter_ = 0;
        passHadActivity_ = false;
        advance(now);
        return promptAnswer();
    case 'H':
        programRunning_ = false;
        if (!fifo_.empty()) fifoHeld_ = true;
        stopActivity(activity_.kind != Activity::Kind::Idle);
        return promptAnswer();
    case 'I': softReset(); return promptAnswer();
    case 'K':
        if (activity_.source == Source::Fifo) stopActivity(false);
        fifo_.clear();
        fifoEntryActive_ = false;
        fifoHeld_ = false;
        fifoIndex_ = 0;
        return promptAnswer();
    default: return errorAnswer(2);
    }
}

void Station::softReset() {
    activity_ = Activity{};
    position_ = 0;
    encoderOffset_ = 0;
    mode_ = 33;
    slewRate_ = 600;
    firstRate_ = 100;
    accel_ = 50;
    directionPlus_ = motionPlus_ = true;
    jogSpeed_ = 0;
    powerOn_ = true;
    aborted_ = false;
    lastRelative_.reset();
    ioConfig_ = 0;
    outputs_ = 0;
    spiConfigured_ = false;
    spiConfig_ = 0;
    lastSpiWrite_ = 0;
    fifo_.clear();
    fifoEntryActive_ = false;
    fifoHeld_ = false;
    fifoIndex_ = 0;
    recording_ = false;
    programRunning_ = false;
}

StationSnapshot Station::snapshot() const {
    StationSnapshot s;
    s.address = address_;
    s.position = position();
    s.encoder = position() + encoderOffset_;
    s.status = status();
    s.mode = mode_;
    s.slewRate = slewRate_;
    s.firstRate = firstRate_;
    s.accel = accel_;
    s.directionPlus = directionPlus_;
    s.jogSpeed = jogSpeed_;
    s.running = moving();
    s.jogging = activity_.kind == Activity::Kind::Jog;
    s.powerOn = powerOn_;
    s.encoderFailSteps = encoderFailSteps_;
    s.windingCurrentCode = board_.currentCode[static_cast<std::size_t>(address_ % 4)];
    s.userIoConfig = ioConfig_;
    s.userOutputs = outputs_;
    s.userInputs = inputs_;
    s.spiConfigured = spiConfigured_;
    s.spiConfig = spiConfig_;
    s.lastSpiWrite = lastSpiWrite_;
    s.triggerOn = triggered();
    s.pauseOn = paused();
    s.fifoFree = kFifoCapacity - fifoUsed();
    s.fifoIndex = fifoIndex_;
    for (const auto &e : fifo_) s.fifo.push_back(std::string(1, e.letter) + e.text);
    s.programRecording = recording_;
    s.programRunning = programRunning_;
    for (const auto &e : program_) s.program.push_back(std::string(1, e.letter) + e.text);
    return s;
}

}  // namespace kx4417
