// Scheduling priority of the calling thread.
#pragma once

#include <thread>

namespace corvex::platform {

enum class ThreadPriority { TimeCritical, Highest };

// Raises a thread's priority; false when the system refuses.
bool setThreadPriority(std::thread &thread, ThreadPriority priority);

}  // namespace corvex::platform
