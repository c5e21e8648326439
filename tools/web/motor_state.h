// SPDX-License-Identifier: MIT
// What the service knows of a motor: one reading of its status register, position and
// encoder (or the failure that ended it), and its JSON form, which the API returns and the
// WebSocket pushes.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <string>

namespace corvexweb {

struct MotorState {
    bool ok = false;          // all three values were read
    std::int32_t status = 0;  // the status register
    std::int32_t position = 0;
    std::int32_t encoder = 0;
    int errorNumber = 0;  // when !ok: the library's number and message
    std::string errorMessage;
    std::chrono::system_clock::time_point time;  // when the reading ended

    bool moving() const;
    // The same values (the time left aside): no change to push.
    bool sameReading(const MotorState &other) const;
    // {"position", "encoder", "moving", "limits": {"cw", "ccw"}, "status": {name: bool},
    //  "statusRegister", "time"}; for a failed reading {"error": {...}, "time"}.
    nlohmann::json toJson() const;
};

// RFC 3339 in UTC with milliseconds: "2025-01-31T12:00:00.123Z".
std::string isoTime(std::chrono::system_clock::time_point time);

}  // namespace corvexweb
