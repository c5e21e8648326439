// SPDX-License-Identifier: MIT
#include "system_paths_posix.h"

namespace corvex::platform::posix {

std::mutex &SystemPathsInUse::mutex() {
    static std::mutex *m = new std::mutex;  // never destroyed: usable during process exit
    return *m;
}

SystemPaths &SystemPathsInUse::paths() {
    static SystemPaths *p = new SystemPaths;
    return *p;
}

SystemPaths SystemPathsInUse::get() {
    std::lock_guard<std::mutex> lock(mutex());
    return paths();
}

}  // namespace corvex::platform::posix
