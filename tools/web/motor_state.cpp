// SPDX-License-Identifier: MIT
// The JSON form of a motor's reading.
#include "motor_state.h"

#include <CorvexLink.h>

#include <cstdio>
#include <ctime>

namespace corvexweb {

bool MotorState::moving() const { return ok && (status & CORVEXLINK_STATUS_RUNING) != 0; }

bool MotorState::sameReading(const MotorState &other) const {
    return ok == other.ok && status == other.status && position == other.position &&
           encoder == other.encoder && errorNumber == other.errorNumber &&
           errorMessage == other.errorMessage;
}

nlohmann::json MotorState::toJson() const {
    nlohmann::json out;
    if (!ok) {
        out["error"] = {{"number", errorNumber}, {"message", errorMessage}};
        out["time"] = isoTime(time);
        return out;
    }
    nlohmann::json bits = nlohmann::json::object();
    for (int bit = 0; bit < CORVEXLINK_STATUS_BIT_COUNT; ++bit)
        bits[CorvexLinkStatusBitName(bit)] = (status & (1 << bit)) != 0;
    out["position"] = position;
    out["encoder"] = encoder;
    out["moving"] = moving();
    out["limits"] = {{"cw", (status & CORVEXLINK_STATUS_LS_CW) != 0},
                     {"ccw", (status & CORVEXLINK_STATUS_LS_CCW) != 0}};
    out["status"] = bits;
    out["statusRegister"] = status;
    out["time"] = isoTime(time);
    return out;
}

std::string isoTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

}  // namespace corvexweb
