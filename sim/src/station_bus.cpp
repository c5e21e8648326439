// SPDX-License-Identifier: MIT
#include "station_bus.h"

namespace kx4417 {

namespace {

// The rates a station switches to on "^0" to "^4". The simulator keeps its own copy of this
// table, on purpose, rather than the library's: a wrong code sent by the library then shows
// up as a station at the wrong rate instead of agreeing with itself.
constexpr int kBaudRates[] = {9600, 19200, 38400, 57600, 115200};

}  // namespace

StationBus::StationBus(const std::vector<int> &present, int baudRate) {
    for (int a = 0; a < kStations; ++a) {
        stations_[static_cast<std::size_t>(a)] = std::make_unique<Station>(a, board(a));
        slot(a).baud = baudRate;
    }
    for (int a : present)
        if (valid(a)) slot(a).present = true;
}

bool StationBus::listens(int address, int hostBaud) const {
    const Slot &s = slots_[static_cast<std::size_t>(address)];
    return s.present && !s.silent && s.baud == hostBaud;
}

void StationBus::advanceAll(TimePoint now) {
    for (auto &s : stations_) s->advance(now);
}

std::optional<std::string> StationBus::handleFrame(const std::string &text, int hostBaud,
                                                   int baudBefore, TimePoint now) {
    advanceAll(now);
    ParsedFrame frame = parseFrame(text);
    std::vector<int> actors;
    for (int a = 0; a < kStations; ++a) {
        bool addressed = frame.kind == ParsedFrame::Kind::Unknown || (frame.mask >> a) & 1u;
        bool hears = listens(a, hostBaud) ||
                     (frame.kind == ParsedFrame::Kind::BaudChange && listens(a, baudBefore));
        if (addressed && hears) actors.push_back(a);
    }

    switch (frame.kind) {
    case ParsedFrame::Kind::Empty: return std::nullopt;
    case ParsedFrame::Kind::BaudChange:
        if (frame.baudCode < 0) return std::nullopt;
        for (int a : actors)
            if (slot(a).followsBaud) slot(a).baud = kBaudRates[frame.baudCode];
        return std::nullopt;
    case ParsedFrame::Kind::Unknown:
        // Nobody can tell who was meant; one station complains.
        if (actors.empty()) return std::nullopt;
        return errorAnswer(2);
    case ParsedFrame::Kind::Probe:
        if (actors.empty()) return std::nullopt;
        return promptAnswer();
    case ParsedFrame::Kind::Command: break;
    }

    std::optional<std::string> answer;
    for (int a : actors) {
        Slot &s = slot(a);
        std::string reply;
        if (s.errorTimes > 0) {
            --s.errorTimes;
            reply = errorAnswer(s.errorCode);
        } else {
            reply = station(a).handle(frame, now);
            // A soft reset restarts the station at its power-on rate, once it has answered.
            if (!frame.fifo && frame.letter == 'I' && s.followsBaud) s.baud = kBaudRates[0];
        }
        if (!answer) answer = reply;  // the lowest address answers
    }
    return answer;
}

std::optional<std::string> StationBus::strayAnswer(const std::string &text, int hostBaud,
                                                   TimePoint now) {
    const ParsedFrame frame = parseFrame(text);
    if (frame.kind != ParsedFrame::Kind::Command && frame.kind != ParsedFrame::Kind::Probe)
        return std::nullopt;
    for (int a = 0; a < kStations; ++a) {
        if ((frame.mask >> a) & 1u || !listens(a, hostBaud)) continue;
        station(a).advance(now);
        return frame.kind == ParsedFrame::Kind::Probe ? promptAnswer()
                                                      : station(a).handle(frame, now);
    }
    return std::nullopt;
}

StationSnapshot StationBus::snapshot(int address) const {
    StationSnapshot s = station(address).snapshot();
    const Slot &slot = slots_[static_cast<std::size_t>(address)];
    s.present = slot.present;
    s.silent = slot.silent;
    s.baudRate = slot.baud;
    return s;
}

void StationBus::answerErrorCode(int address, int code, int times) {
    slot(address).errorCode = code;
    slot(address).errorTimes = times;
}

std::vector<int> StationBus::presentAddresses() const {
    std::vector<int> out;
    for (int a = 0; a < kStations; ++a)
        if (slots_[static_cast<std::size_t>(a)].present) out.push_back(a);
    return out;
}

}  // namespace kx4417
