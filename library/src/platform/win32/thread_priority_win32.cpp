// SPDX-License-Identifier: MIT
// Threads on Windows: the system's own priority levels of a std::thread, and its end.
#include "../thread_priority.h"

#include <pthread.h>
#include <windows.h>

namespace corvex::platform {

bool setThreadPriority(std::thread &thread, ThreadPriority priority) {
    // std::thread runs on the posix threads layer of MinGW; it knows the system handle.
    HANDLE handle = static_cast<HANDLE>(pthread_gethandle(thread.native_handle()));
    if (handle == nullptr) return false;
    const int level = priority == ThreadPriority::TimeCritical ? THREAD_PRIORITY_TIME_CRITICAL
                                                               : THREAD_PRIORITY_HIGHEST;
    return ::SetThreadPriority(handle, level) != FALSE;
}

bool threadTerminatedBySystem(std::thread &thread) {
    if (!thread.joinable()) return false;
    HANDLE handle = static_cast<HANDLE>(pthread_gethandle(thread.native_handle()));
    return handle != nullptr && ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

}  // namespace corvex::platform
