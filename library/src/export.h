// SPDX-License-Identifier: MIT
// Helpers shared by every file that defines exported functions.
#pragma once

#include <mutex>

#include "CorvexLink.h"

// Exports each function also under its name with a leading underscore (PortOpen as
// _PortOpen), so callers that look symbols up by the documented decorated names find
// them. Must stand in the file that defines the function.
#define CORVEXLINK_ALIAS(name) extern "C" CORVEXLINK_ALIAS_OF(#name) decltype(name) _##name;

// The attributes that make a definition an exported alias of `target` (a string).
#if defined(_WIN32)
#    define CORVEXLINK_ALIAS_OF(target) __attribute__((alias(target))) __declspec(dllexport)
#else
#    define CORVEXLINK_ALIAS_OF(target) __attribute__((alias(target), visibility("default")))
#endif

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
