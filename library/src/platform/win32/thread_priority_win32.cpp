// Thread priority on Windows: the system's own priority levels of a std::thread.
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

}  // namespace corvex::platform
