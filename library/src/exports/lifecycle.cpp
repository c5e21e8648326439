// SPDX-License-Identifier: MIT
// Library load and unload. Loading only gives every item its initial value (the default
// line is created on first use); unloading closes every line whose port is still open, the
// way a close does: once the call under way on it has ended, within a bound, so that the
// worker ends and the device is released without racing a thread that is still inside a
// call (a thread the program did not join).
#include "lifecycle.h"

#include <mutex>
#include <thread>

#include "../link/line_registry.h"
#include "../platform/diagnostics.h"

namespace corvex::exports {

void closeLinesAtUnload() noexcept {
    // allLines() allocates nothing when no line was ever made.
    for (const std::shared_ptr<corvex::link::Line> &line : corvex::link::allLines()) {
        if (!line->port.isOpen()) continue;
        // Retired first: later calls fail without taking the lock, so it comes free as soon
        // as the call under way ends. Tried in turns rather than waited for with a time-out:
        // a try is what every platform's mutex (and every thread checker) knows.
        line->retire();
        std::unique_lock<std::recursive_mutex> lock(line->exportLock, std::try_to_lock);
        const auto giveUp = std::chrono::steady_clock::now() + kUnloadCallBound;
        while (!lock.owns_lock() && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            lock.try_lock();
        }
        if (!lock.owns_lock()) {
            corvex::platform::diag("CorvexLink: unload --> a call on %s did not end, its port "
                                   "is left to the system\n",
                                   line->deviceName().c_str());
            continue;
        }
        {
            const corvex::link::LineGate::Step step(line->gate);
            line->selection.open = false;
        }
        line->closeDevice();
    }
}

}  // namespace corvex::exports

namespace {
__attribute__((destructor)) void atUnload() { corvex::exports::closeLinesAtUnload(); }
}  // namespace
