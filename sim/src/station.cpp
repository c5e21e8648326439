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
    } else if ((settings_.mode & 0x40) && !fifo_.held && !fifo_.entries.empty() &&
               !fifo_.entryActive) {
        entry = fifo_.entries.front();
        fifo_.entryActive = true;
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
        settings_.position =
            activity_.startPosition +
            activity_.direction * std::lround(activity_.profile.stepsAt(activity_.duration));
    Source source = activity_.source;
    activity_ = Activity{};
    if (source == Source::Fifo) finishFifoEntry();
}

void Station::finishFifoEntry() {
    if (fifo_.entryActive && !fifo_.entries.empty()) {
        fifo_.entries.pop_front();
        ++fifo_.finished;
    }
    fifo_.entryActive = false;
}

void Station::stopActivity(bool aborted) {
    if (activity_.kind == Activity::Kind::Idle) return;
    settings_.position = position();
    Source source = activity_.source;
    activity_ = Activity{};
    if (aborted) settings_.aborted = true;
    if (source == Source::Fifo) finishFifoEntry();
}

// A motion issues its first step the moment it starts, the next ones at the running rate.
long Station::position() const {
    if (!moving()) return settings_.position;
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
    return source == Source::Direct && (programRunning_ || fifo_.entryActive);
}

bool Station::paused() const { return (board_.lineByte & (0x10 << (address_ % 4))) == 0; }
bool Station::triggered() const { return (board_.lineByte & (0x01 << (address_ % 4))) == 0; }

bool Station::blockedByLimit(int direction) const {
    return (direction > 0 && limitCw_) || (direction < 0 && limitCcw_);
}

int Station::fifoUsed() const {
    int used = 0;
    for (const auto &e : fifo_.entries) used += e.cost;
    return used;
}

int Station::status() const {
    bool idle = activity_.kind == Activity::Kind::Idle && !programRunning_ && !fifo_.entryActive;
    int s = 0;
    if (triggered()) s |= 1 << 0;
    if (paused()) s |= 1 << 1;
    if (settings_.aborted) s |= 1 << 2;
    if (moving()) s |= 1 << 3;
    if (limitCcw_) s |= 1 << 4;
    if (limitCw_) s |= 1 << 5;
    if (position() == 0) s |= 1 << 6;
    if (settings_.powerOn && idle) s |= 1 << 7;
    if (settings_.motionPlus) s |= 1 << 8;
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
    fifo_.entries.push_back({frame.letter, frame.valueText, cost});
    return valueAnswer(room - cost);
}

// Setters and motion: executed directly, from the FIFO or from the stored program.
// Returns 0 or an answer code. The value has passed check().
int Station::apply(char letter, const std::string &text, Source source) {
    long long v = valueOf(text);
    switch (letter) {
    case 'R': settings_.slewRate = static_cast<int>(v); return 0;
    case 'F': settings_.firstRate = static_cast<int>(v); return 0;
    case 'S': settings_.accel = static_cast<int>(v); return 0;
    case 'M':
        settings_.mode = static_cast<int>(v);
        if (settings_.mode & 0x40) fifo_.held = false;
        return 0;
    case 'Y':
        settings_.jogSpeed = static_cast<int>(v);
        if (activity_.kind == Activity::Kind::Jog) startJog();  // on at the new speed
        return 0;
    case '+':
    case '-':
        if (moving()) return 8;
        settings_.directionPlus = settings_.motionPlus = letter == '+';
        return 0;
    case 'N':
    case 'T':
    case 'G': {
        if (busy(source)) return 6;
        if (letter == 'G' && !settings_.lastRelative) return 9;
        long target = letter == 'T' ? static_cast<long>(v)
                                    : position() + (letter == 'N' ? static_cast<long>(v)
                                                                  : *settings_.lastRelative);
        if (letter == 'N') settings_.lastRelative = static_cast<long>(v);
        return startMove(target, source);
    }
    case 'J':
        if (busy(source)) return 6;
        if (!settings_.powerOn) return 9;
        if (blockedByLimit(settings_.directionPlus ? 1 : -1)) return 7;
        settings_.aborted = false;
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
        // The encoder keeps its count.
        settings_.encoderOffset += settings_.position - static_cast<long>(v);
        settings_.position = static_cast<long>(v);
        return 0;
    case '#': encoderFailSteps_ = static_cast<int>(v); return 0;
    case '}': settings_.encoderOffset = static_cast<long>(v) - position(); return 0;
    case '*':
        settings_.powerOn = v != 0;
        if (!settings_.powerOn) stopActivity(true);
        return 0;
    case 'O':
        settings_.spiConfig = static_cast<int>(v);
        settings_.spiConfigured = true;
        return 0;
    case 'U':
        if (!settings_.spiConfigured) return 4;
        if (!(settings_.spiConfig & 0x80)) return 5;
        settings_.lastSpiWrite = static_cast<int>(v);
        if (address_ % 4 == 1)
            board_.currentCode[static_cast<std::size_t>((v >> 9) & 3)] = static_cast<int>(v & 0xFF);
        return 0;
    case 'C': settings_.ioConfig = static_cast<int>(v); return 0;
    case 'W':
        settings_.outputs = static_cast<int>(v);
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
    if (!settings_.powerOn) return 9;
    long distance = target - position();
    int direction = distance >= 0 ? 1 : -1;
    if (distance != 0 && blockedByLimit(direction)) return 7;
    settings_.aborted = false;
    if (distance == 0) return 0;
    settings_.motionPlus = direction > 0;
    activity_ = Activity{};
    activity_.kind = Activity::Kind::Move;
    activity_.startPosition = settings_.position;
    activity_.direction = direction;
    activity_.profile = MotionProfile(static_cast<double>(std::labs(distance)), settings_.firstRate,
                                      settings_.slewRate, settings_.accel * kAccelUnit);
    activity_.duration = activity_.profile.duration();
    activity_.source = source;
    return 0;
}

void Station::startJog() {
    Source source = activity_.source;
    settings_.position = position();
    int speed = settings_.jogSpeed > 0 ? settings_.jogSpeed : settings_.slewRate;
    activity_ = Activity{};
    activity_.kind = Activity::Kind::Jog;
    activity_.startPosition = settings_.position;
    activity_.direction = settings_.directionPlus ? 1 : -1;
    activity_.profile = MotionProfile(-1, settings_.firstRate, speed, settings_.accel * kAccelUnit);
    activity_.duration = activity_.profile.duration();
    activity_.source = source;
    settings_.motionPlus = settings_.directionPlus;
}

std::string Station::read(char letter, const std::string &text) const {
    bool master = address_ % 4 == 0;
    switch (letter) {
    case 'P': return valueAnswer(positionRaw_ ? *positionRaw_ : signMagnitude24(position()));
    case '{': return valueAnswer(signMagnitude24(position() + settings_.encoderOffset));
    case '=': return valueAnswer(statusOverride_ ? *statusOverride_ : status());
    case 'B': return valueAnswer(inputs_);
    case 'V':
        if (!settings_.spiConfigured) return errorAnswer(4);
        if (!(settings_.spiConfig & 0x80)) return errorAnswer(5);
        return valueAnswer(settings_.lastSpiWrite);
    case '[': return valueAnswer(fifo_.finished);
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
        if (!fifo_.entries.empty()) fifo_.held = true;
        stopActivity(activity_.kind != Activity::Kind::Idle);
        return promptAnswer();
    case 'I': softReset(); return promptAnswer();
    case 'K':
        if (activity_.source == Source::Fifo) stopActivity(false);
        fifo_ = Fifo{};
        return promptAnswer();
    default: return errorAnswer(2);
    }
}

void Station::softReset() {
    activity_ = Activity{};
    settings_ = StationSettings{};
    fifo_ = Fifo{};
    recording_ = false;
    programRunning_ = false;
}

StationSnapshot Station::snapshot() const {
    StationSnapshot s;
    s.address = address_;
    s.position = position();
    s.encoder = position() + settings_.encoderOffset;
    s.status = status();
    s.mode = settings_.mode;
    s.slewRate = settings_.slewRate;
    s.firstRate = settings_.firstRate;
    s.accel = settings_.accel;
    s.directionPlus = settings_.directionPlus;
    s.jogSpeed = settings_.jogSpeed;
    s.running = moving();
    s.jogging = activity_.kind == Activity::Kind::Jog;
    s.powerOn = settings_.powerOn;
    s.encoderFailSteps = encoderFailSteps_;
    s.windingCurrentCode = board_.currentCode[static_cast<std::size_t>(address_ % 4)];
    s.userIoConfig = settings_.ioConfig;
    s.userOutputs = settings_.outputs;
    s.userInputs = inputs_;
    s.spiConfigured = settings_.spiConfigured;
    s.spiConfig = settings_.spiConfig;
    s.lastSpiWrite = settings_.lastSpiWrite;
    s.triggerOn = triggered();
    s.pauseOn = paused();
    s.fifoFree = kFifoCapacity - fifoUsed();
    s.fifoIndex = fifo_.finished;
    for (const auto &e : fifo_.entries) s.fifo.push_back(std::string(1, e.letter) + e.text);
    s.programRecording = recording_;
    s.programRunning = programRunning_;
    for (const auto &e : program_) s.program.push_back(std::string(1, e.letter) + e.text);
    return s;
}

}  // namespace kx4417
