// SPDX-License-Identifier: MIT
// A serial device for tests that wraps the real one (the simulator's pseudo-terminal) and
// lets a test see every write before it goes out: to make writes fail as a broken driver
// would, or to arrange the simulator's answer to a particular frame at the moment that
// frame is sent.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "line_access.h"
#include "platform/serial_device.h"

namespace corvex::test {

// What a test controls; shared by every device opened while a TapScope is alive.
struct Tap {
    std::mutex mutex;
    int failWrites = 0;  // the next N writes fail without reaching the line
    // Called with the bytes of each write (before it is made, on the writer's thread).
    std::function<void(const std::string &bytes)> beforeWrite;
};

class TapDevice : public platform::SerialDevice {
public:
    TapDevice(std::unique_ptr<platform::SerialDevice> inner, Tap &tap)
        : inner_(std::move(inner)), tap_(tap) {}

    const std::string &path() const override { return inner_->path(); }
    bool configure(const platform::LineSettings &s) override { return inner_->configure(s); }
    bool setBaudRate(std::uint32_t rate) override { return inner_->setBaudRate(rate); }
    bool lost() const override { return inner_->lost(); }
    void purge() override { inner_->purge(); }
    void setDtr(bool on) override { inner_->setDtr(on); }
    std::size_t bytesWaiting() override { return inner_->bytesWaiting(); }
    platform::IoResult write(const void *bytes, std::size_t count,
                             std::chrono::milliseconds bound) override {
        {
            // The hook runs in place (not a copy), so the state it keeps between writes
            // persists; it must not call back into the tap.
            std::lock_guard<std::mutex> lock(tap_.mutex);
            if (tap_.failWrites > 0) {
                --tap_.failWrites;
                return platform::IoResult{platform::IoStatus::Failed, 0, 5};
            }
            if (tap_.beforeWrite)
                tap_.beforeWrite(std::string(static_cast<const char *>(bytes), count));
        }
        return inner_->write(bytes, count, bound);
    }
    platform::IoResult read(void *buffer, std::size_t max) override {
        return inner_->read(buffer, max);
    }
    platform::WaitResult waitReadable() override { return inner_->waitReadable(); }
    void waitForWake() override { inner_->waitForWake(); }
    void wake() override { inner_->wake(); }

private:
    std::unique_ptr<platform::SerialDevice> inner_;
    Tap &tap_;
};

// While alive, every port the library opens is the system's device wrapped in a TapDevice.
class TapScope {
public:
    TapScope() {
        test::seams().openDevice =
            [this](const std::string &name,
                   platform::OpenFailure &failure) -> std::unique_ptr<platform::SerialDevice> {
            auto inner = platform::openNamedDevice(name, failure);
            if (!inner) return nullptr;
            return std::make_unique<TapDevice>(std::move(inner), tap_);
        };
    }
    ~TapScope() { test::seams().openDevice = nullptr; }
    TapScope(const TapScope &) = delete;
    TapScope &operator=(const TapScope &) = delete;

    void failNextWrites(int count) {
        std::lock_guard<std::mutex> lock(tap_.mutex);
        tap_.failWrites = count;
    }
    // `action` runs once, just before the first write whose bytes start with `prefix`.
    void onceBefore(std::string prefix, std::function<void()> action) {
        std::lock_guard<std::mutex> lock(tap_.mutex);
        tap_.beforeWrite = [prefix = std::move(prefix), action = std::move(action),
                            done = false](const std::string &bytes) mutable {
            if (done || bytes.compare(0, prefix.size(), prefix) != 0) return;
            done = true;
            action();
        };
    }
    // `hook` sees every write from now on.
    void beforeEachWrite(std::function<void(const std::string &)> hook) {
        std::lock_guard<std::mutex> lock(tap_.mutex);
        tap_.beforeWrite = std::move(hook);
    }

private:
    Tap tap_;
};

}  // namespace corvex::test
