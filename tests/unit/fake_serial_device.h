// SPDX-License-Identifier: MIT
// A serial device that exists only in memory, for tests of the link without a terminal:
// it records what is written, answers each frame through a function the test gives, can
// refuse writes, and can lose the line.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "line_access.h"
#include "platform/serial_device.h"

namespace corvex::test {

// What the test and the device share; it outlives every device opened on it.
struct FakeLine {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> written;  // every successful write
    std::deque<char> input;            // bytes waiting to be read
    int failWrites = 0;                // the next N writes fail
    // A wake reaches a device's waitReadable only this much later (a driver whose wait does
    // not end at once), and devices record how often they were read.
    std::chrono::milliseconds wakeDelay{0};
    int reads = 0;
    bool woken = false;
    bool lost = false;
    // Bytes the far end sends back for a write (called under the line's lock).
    std::function<std::string(const std::string &)> answer;

    void receive(const std::string &bytes) {
        std::lock_guard<std::mutex> lock(mutex);
        input.insert(input.end(), bytes.begin(), bytes.end());
        changed.notify_all();
    }
    void loseLine() {
        std::lock_guard<std::mutex> lock(mutex);
        lost = true;
        changed.notify_all();
    }
    std::vector<std::string> frames() {
        std::lock_guard<std::mutex> lock(mutex);
        return written;
    }
};

class FakeSerialDevice : public platform::SerialDevice {
public:
    explicit FakeSerialDevice(FakeLine &line) : line_(line) {}

    const std::string &path() const override { return path_; }
    bool configure(const platform::LineSettings &) override { return true; }
    bool setBaudRate(std::uint32_t) override { return true; }
    bool lost() const override {
        std::lock_guard<std::mutex> lock(line_.mutex);
        return line_.lost;
    }
    void purge() override {
        std::lock_guard<std::mutex> lock(line_.mutex);
        line_.input.clear();
    }
    void setDtr(bool) override {}
    std::size_t bytesWaiting() override {
        std::lock_guard<std::mutex> lock(line_.mutex);
        return line_.input.size();
    }
    platform::IoResult write(const void *bytes, std::size_t count,
                             std::chrono::milliseconds /*bound*/) override {
        std::lock_guard<std::mutex> lock(line_.mutex);
        if (line_.failWrites > 0) {
            --line_.failWrites;
            return {platform::IoStatus::Failed, 0, 5};
        }
        const std::string text(static_cast<const char *>(bytes), count);
        line_.written.push_back(text);
        if (line_.answer) {
            const std::string reply = line_.answer(text);
            line_.input.insert(line_.input.end(), reply.begin(), reply.end());
            line_.changed.notify_all();
        }
        return {platform::IoStatus::Ok, count, 0};
    }
    platform::IoResult read(void *buffer, std::size_t max) override {
        std::lock_guard<std::mutex> lock(line_.mutex);
        ++line_.reads;
        std::size_t n = 0;
        for (; n < max && !line_.input.empty(); ++n) {
            static_cast<char *>(buffer)[n] = line_.input.front();
            line_.input.pop_front();
        }
        return {platform::IoStatus::Ok, n, 0};
    }
    platform::WaitResult waitReadable() override {
        std::unique_lock<std::mutex> lock(line_.mutex);
        line_.changed.wait(lock,
                           [this] { return line_.woken || line_.lost || !line_.input.empty(); });
        if (line_.woken) {
            line_.woken = false;
            if (line_.wakeDelay.count() > 0) {
                const auto delay = line_.wakeDelay;
                lock.unlock();
                std::this_thread::sleep_for(delay);
            }
            return platform::WaitResult::Woken;
        }
        return line_.lost ? platform::WaitResult::LineLost : platform::WaitResult::Readable;
    }
    void waitForWake() override {
        std::unique_lock<std::mutex> lock(line_.mutex);
        line_.changed.wait(lock, [this] { return line_.woken; });
        line_.woken = false;
    }
    void wake() override {
        std::lock_guard<std::mutex> lock(line_.mutex);
        line_.woken = true;
        line_.changed.notify_all();
    }

private:
    FakeLine &line_;
    std::string path_ = "fake";
};

// While alive, every port the library opens is a FakeSerialDevice on `line`.
class FakeLineScope {
public:
    explicit FakeLineScope(FakeLine &line) {
        test::seams().openDevice =
            [&line](const std::string &name,
                    platform::OpenFailure &failure) -> std::unique_ptr<platform::SerialDevice> {
            if (name != "COM1") {
                failure.set(platform::OpenFailureKind::NoDevice, name, "no such device");
                return nullptr;
            }
            return std::make_unique<FakeSerialDevice>(line);
        };
    }
    ~FakeLineScope() { test::seams().openDevice = nullptr; }
    FakeLineScope(const FakeLineScope &) = delete;
    FakeLineScope &operator=(const FakeLineScope &) = delete;
};

}  // namespace corvex::test
