// SPDX-License-Identifier: MIT
// Scheduling priority of a thread, and whether the system has already ended it.
#pragma once

#include <thread>

namespace corvex::platform {

enum class ThreadPriority { TimeCritical, Highest };

// Raises a thread's priority; false when the system refuses.
bool setThreadPriority(std::thread &thread, ThreadPriority priority);

// True when the system has ended the thread without it returning: on Windows every other
// thread is gone before a DLL's unload at process exit, so nobody need wait for them then.
bool threadTerminatedBySystem(std::thread &thread);

}  // namespace corvex::platform
