// Scheduling priority of the calling thread.
#pragma once

namespace corvex::platform {

enum class ThreadPriority { TimeCritical, Highest };

// Raises the calling thread's priority; false when the system refuses.
bool setCurrentThreadPriority(ThreadPriority priority);

}  // namespace corvex::platform
