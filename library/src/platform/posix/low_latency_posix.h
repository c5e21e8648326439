// SPDX-License-Identifier: MIT
// Low-latency reception for a serial device: the driver's low_latency flag and, for USB
// adapters that expose one, a 1 ms latency timer. Applied when a port opens, put back when
// it closes; a device that refuses (a pseudo-terminal, a driver without the setting, no
// permission) keeps working as it is.
#pragma once

#include <string>

namespace corvex::platform::posix {

class LowLatency {
public:
    // Applies both settings to the open terminal `fd`, whose device node is `path`, looking
    // for the latency timer under `sysfsRoot`. Returns what was and was not applied, as one
    // diagnostics line.
    std::string apply(int fd, const std::string &path, const std::string &sysfsRoot = "/sys");

    // Puts back what apply() changed. Failures are ignored: a device that went away has no
    // settings left to restore.
    void restore(int fd);

    // The latency-timer half alone: sets the timer of tty `name` to 1 ms. Returns the text
    // for the diagnostics line.
    std::string applyLatencyTimer(const std::string &sysfsRoot, const std::string &name);
    void restoreLatencyTimer();

private:
    bool flagSet_ = false;       // the low_latency flag was off and this object set it
    std::string timerFile_;      // the latency_timer file written, "" when none
    std::string timerPrevious_;  // its text before
};

}  // namespace corvex::platform::posix
