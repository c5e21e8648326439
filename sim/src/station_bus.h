// SPDX-License-Identifier: MIT
// The sixteen station slots on the line: who is present, who listens at the host's rate,
// who acts on a frame and who answers it. Not thread-safe: the owner serialises calls.
#pragma once

#include <kx4417/simulator.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame_parser.h"
#include "station.h"

namespace kx4417 {

constexpr int kStations = 16;

class StationBus {
public:
    StationBus(const std::vector<int> &present, int baudRate);

    // Handles one frame (without its CR) that completed at `now` while the host's line ran
    // at `hostBaud`. Returns the answer of the answering station, if any. A host changes
    // its own rate right after sending '^', possibly before the simulator has read the
    // frame, so a '^' frame is also heard by the stations at `baudBefore`, the host's rate
    // as last seen before the frame arrived.
    std::optional<std::string> handleFrame(const std::string &frame, int hostBaud, int baudBefore,
                                           TimePoint now);

    void advanceAll(TimePoint now);

    // The answer of a second station that takes the same frame for its own (two stations
    // set to one address): the lowest present station listening at `hostBaud` that the
    // frame does not address. It acts on the frame. None for frames other than commands
    // and probes, or when there is no such station.
    std::optional<std::string> strayAnswer(const std::string &frame, int hostBaud, TimePoint now);

    bool valid(int address) const { return address >= 0 && address < kStations; }
    Station &station(int address) { return *stations_[static_cast<std::size_t>(address)]; }
    const Station &station(int address) const {
        return *stations_[static_cast<std::size_t>(address)];
    }
    Board &board(int address) { return boards_[static_cast<std::size_t>(address / 4)]; }

    StationSnapshot snapshot(int address) const;
    void setSilent(int address, bool silent) { slot(address).silent = silent; }
    void answerErrorCode(int address, int code, int times);
    int baudRate(int address) const { return slots_[static_cast<std::size_t>(address)].baud; }
    void setFollowsBaudChange(int address, bool follows) { slot(address).followsBaud = follows; }
    void setBaudRate(int address, int baud) { slot(address).baud = baud; }
    std::vector<int> presentAddresses() const;

private:
    struct Slot {
        bool present = false;
        bool silent = false;
        bool followsBaud = true;
        int baud = 9600;
        int errorCode = 0;
        int errorTimes = 0;
    };
    Slot &slot(int address) { return slots_[static_cast<std::size_t>(address)]; }
    bool listens(int address, int hostBaud) const;

    std::array<Board, 4> boards_;
    std::array<std::unique_ptr<Station>, kStations> stations_;
    std::array<Slot, kStations> slots_;
};

}  // namespace kx4417
