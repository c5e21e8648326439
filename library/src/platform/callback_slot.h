// SPDX-License-Identifier: MIT
// A caller's callback (a function with its context, or any callable that tests true when
// set), called without any lock held, that can be changed
// from any thread at any time. A change returns only once no other thread is still inside a
// call of the callback it replaced, so the caller may free the old context right after it.
// The calling thread's own calls are not waited for: a callback may change itself. Nor are
// the calls of threads that are themselves changing the callback (two callbacks that each
// replace the other would otherwise wait for each other).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace corvex::platform {

template <typename Callable>
class CallbackSlot {
public:
    // Sets (or with an empty callable removes) the callback; waits as described above.
    void set(Callable callable) {
        std::unique_lock<std::mutex> lock(mutex_);
        callable_ = std::move(callable);
        ++changing_[index(std::this_thread::get_id())].changes;
        idle_.wait(lock, [this] { return othersInside() == 0; });
        --changing_[index(std::this_thread::get_id())].changes;
        prune();
    }

    // Calls `invoke(callable)` with a copy of the callback set now, outside the lock; false
    // when none is set.
    template <typename Invoke>
    bool call(Invoke &&invoke) {
        Callable callable;
        const std::thread::id self = std::this_thread::get_id();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!static_cast<bool>(callable_)) return false;
            callable = callable_;
            ++changing_[index(self)].inside;
        }
        struct Leave {
            CallbackSlot &slot;
            std::thread::id self;
            ~Leave() {
                {
                    std::lock_guard<std::mutex> lock(slot.mutex_);
                    --slot.changing_[slot.index(self)].inside;
                    slot.prune();
                }
                slot.idle_.notify_all();
            }
        } leave{*this, self};
        invoke(callable);
        return true;
    }

private:
    struct ThreadUse {
        std::thread::id thread;
        int inside = 0;   // calls of the callback under way on the thread
        int changes = 0;  // set() calls under way on the thread
    };

    // The entry of `thread`, made when missing (under mutex_).
    std::size_t index(std::thread::id thread) {
        for (std::size_t i = 0; i < changing_.size(); ++i)
            if (changing_[i].thread == thread) return i;
        changing_.push_back(ThreadUse{thread});
        return changing_.size() - 1;
    }
    // Calls under way on other threads that are not themselves changing the callback.
    int othersInside() const {
        int n = 0;
        for (const ThreadUse &use : changing_)
            if (use.thread != std::this_thread::get_id() && use.changes == 0) n += use.inside;
        return n;
    }
    void prune() {
        for (std::size_t i = 0; i < changing_.size();) {
            if (changing_[i].inside == 0 && changing_[i].changes == 0) {
                changing_[i] = changing_.back();
                changing_.pop_back();
            } else {
                ++i;
            }
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    Callable callable_{};
    std::vector<ThreadUse> changing_;  // threads inside a call or a change; a few at most
};

}  // namespace corvex::platform
