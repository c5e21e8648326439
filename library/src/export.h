// Helpers shared by every file that defines exported functions.
#pragma once

#include <mutex>

#include "CorvexLink.h"

// Exports each function also under its name with a leading underscore (PortOpen as
// _PortOpen), so callers that look symbols up by the documented decorated names find
// them. Must stand in the file that defines the function.
#define CORVEXLINK_ALIAS(name)                                                          \
    extern "C" __attribute__((alias(#name), visibility("default"))) decltype(name) _##name;

namespace corvex {

// One recursive lock serialises every export, so two threads can never interleave
// transactions on the one answer buffer. Recursive because exports call exports
// (MotorStationsInit calls MotorSoftReset, PortClose pumps UI events that may call in).
std::recursive_mutex &exportMutex();

class ExportGuard {
public:
    ExportGuard() : lock_(exportMutex()) {}

private:
    std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace corvex
