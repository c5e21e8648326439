// SPDX-License-Identifier: MIT
#include "../thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace corvex::platform {

// Time-critical is the highest SCHED_FIFO priority; "highest" is SCHED_RR at its top.
// An unprivileged process is refused both; the caller reports that and goes on.
bool setThreadPriority(std::thread &thread, ThreadPriority priority) {
    const int policy = priority == ThreadPriority::TimeCritical ? SCHED_FIFO : SCHED_RR;
    sched_param param{};
    param.sched_priority = sched_get_priority_max(policy);
    return pthread_setschedparam(thread.native_handle(), policy, &param) == 0;
}

// At exit the threads keep running until the process ends, so none is ever taken away.
bool threadTerminatedBySystem(std::thread &) { return false; }

}  // namespace corvex::platform
