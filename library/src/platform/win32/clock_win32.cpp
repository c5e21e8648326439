// SPDX-License-Identifier: MIT
// Time services on Windows: the performance counter for milliseconds (the plain tick count
// moves in 15.6 ms steps), Sleep for waits.
#include "../clock.h"

#include <windows.h>

namespace corvex::platform {

std::uint32_t tickCount() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);  // never fails on Windows XP and later
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    // Split so that the product cannot overflow however long the machine has been up.
    const LONGLONG seconds = now.QuadPart / frequency;
    const LONGLONG rest = now.QuadPart % frequency;
    return static_cast<std::uint32_t>(seconds * 1000 + rest * 1000 / frequency);
}

void sleepMs(unsigned milliseconds) { ::Sleep(milliseconds); }

void cpuRelax() { YieldProcessor(); }

}  // namespace corvex::platform
