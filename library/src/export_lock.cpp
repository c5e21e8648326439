// SPDX-License-Identifier: MIT
#include "export.h"

namespace corvex {

std::recursive_mutex &exportMutex() {
    static std::recursive_mutex *m = new std::recursive_mutex;  // outlives static destruction
    return *m;
}

}  // namespace corvex
