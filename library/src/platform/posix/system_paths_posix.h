// SPDX-License-Identifier: MIT
// Where the POSIX platform layer finds the system's own files: the sysfs and /dev trees that
// the port listing reads and the /dev/ttyS<n-1> fallback names, and the machine-wide
// ports.conf. One record for the process; the test build points it at a tree of its own
// (through the friend below, defined only in the tests).
#pragma once

#include <mutex>
#include <string>

namespace corvex::test {
struct SystemPathsAccess;
}

namespace corvex::platform::posix {

struct SystemPaths {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
    std::string systemPortsConf = "/etc/corvexlink/ports.conf";
};

class SystemPathsInUse {
public:
    // A copy of the paths in use.
    static SystemPaths get();

private:
    friend struct corvex::test::SystemPathsAccess;
    static std::mutex &mutex();
    static SystemPaths &paths();  // guarded by mutex()
};

}  // namespace corvex::platform::posix
