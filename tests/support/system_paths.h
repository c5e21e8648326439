// SPDX-License-Identifier: MIT
// Points the POSIX platform layer at a tree of the test's own instead of the system's /sys,
// /dev and /etc/corvexlink/ports.conf (test build only).
#pragma once

#include <mutex>
#include <string>

#include "platform/posix/system_paths_posix.h"

namespace corvex::test {

struct SystemPathsAccess {
    static void change(void (*edit)(platform::posix::SystemPaths &, const std::string &,
                                    const std::string &),
                       const std::string &a, const std::string &b) {
        std::lock_guard<std::mutex> lock(platform::posix::SystemPathsInUse::mutex());
        edit(platform::posix::SystemPathsInUse::paths(), a, b);
    }
};

// Replaces the system's ports.conf; "" restores /etc/corvexlink/ports.conf.
inline void setSystemPortsConf(const std::string &path) {
    SystemPathsAccess::change(
        [](platform::posix::SystemPaths &p, const std::string &file, const std::string &) {
            p.systemPortsConf =
                file.empty() ? platform::posix::SystemPaths{}.systemPortsConf : file;
        },
        path, "");
}

// Replaces /sys and /dev; empty texts restore them.
inline void setRoots(const std::string &sysfsRoot, const std::string &devRoot) {
    SystemPathsAccess::change(
        [](platform::posix::SystemPaths &p, const std::string &sysfs, const std::string &dev) {
            const platform::posix::SystemPaths defaults;
            p.sysfs = sysfs.empty() ? defaults.sysfs : sysfs;
            p.dev = dev.empty() ? defaults.dev : dev;
        },
        sysfsRoot, devRoot);
}

}  // namespace corvex::test
