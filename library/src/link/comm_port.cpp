// SPDX-License-Identifier: MIT
#include "comm_port.h"

#include <atomic>

#include "../platform/clock.h"
#include "../platform/diagnostics.h"
#include "../platform/thread_priority.h"
#include "line_rates.h"
#include "trace.h"

namespace corvex::link {

using platform::diag;

namespace {
// How long a close waits for the worker to end. The worker always ends promptly once woken;
// the bound only guards against a worker that the system has already taken away (unload at
// process exit) or a device whose wait does not wake.
constexpr std::uint32_t kWorkerEndBoundMs = 2000;
}  // namespace

namespace {
constexpr std::uint64_t statusWord(std::uint64_t serial, CommPort::Status status) {
    return serial * 4 + static_cast<std::uint64_t>(status);
}
}  // namespace

struct CommPort::Worker {
    std::shared_ptr<platform::SerialDevice> device;
    std::shared_ptr<AnswerSink> sink;
    std::shared_ptr<std::atomic<std::uint64_t>> status;
    std::uint64_t serial = 0;
    std::string tag;
    std::atomic<bool> running{true};
    std::atomic<bool> ended{false};
};

CommPort::CommPort()
    : status_(std::make_shared<std::atomic<std::uint64_t>>(statusWord(0, Status::Closed))),
      sink_(std::make_shared<AnswerSink>()) {}

CommPort::Status CommPort::status() const {
    return static_cast<Status>(status_->load(std::memory_order_acquire) % 4);
}

CommPort::~CommPort() {
    close([] {});
}

bool CommPort::open(std::unique_ptr<platform::SerialDevice> device, std::uint32_t rate,
                    const std::string &tag) {
    if (worker_ || closing_ || !device) return false;
    device->purge();
    platform::LineSettings settings;  // 8N1, no flow control
    settings.baudRate = rate;
    if (!device->configure(settings)) return false;

    auto worker = std::make_shared<Worker>();
    worker->device = std::move(device);
    worker->sink = std::make_shared<AnswerSink>();
    worker->status = status_;
    worker->serial = serial_ + 1;
    worker->tag = tag;
    status_->store(statusWord(worker->serial, Status::Open), std::memory_order_release);
    try {
        thread_ = std::thread(receive, worker);
    } catch (...) {
        status_->store(statusWord(worker->serial, Status::Closed), std::memory_order_release);
        return false;
    }
    worker_ = std::move(worker);
    sink_ = worker_->sink;
    {
        const std::lock_guard<std::mutex> lock(pathMutex_);
        openedPath_ = worker_->device->path();
    }
    ++serial_;
    lineRate_ = rate;

    // The worker moves answers into the buffer the moment they arrive: time-critical
    // priority, else highest. An unprivileged process is always refused real-time
    // scheduling, so the refusals are diagnostics lines rather than modal boxes; the port
    // works at normal priority.
    if (!platform::setThreadPriority(thread_, platform::ThreadPriority::TimeCritical)) {
        diag("Can not setup priority of the CorvexLink thread to THREAD_PRIORITY_TIME_CRITICAL\n");
        if (!platform::setThreadPriority(thread_, platform::ThreadPriority::Highest)) {
            diag("Can not setup priority of the CorvexLink thread to THREAD_PRIORITY_HIGHEST\n");
        }
    }
    return true;
}

int CommPort::close(const std::function<void()> &pump) {
    if (!worker_ || closing_) return 0;
    closing_ = true;
    const std::shared_ptr<Worker> worker = worker_;
    worker->running.store(false);
    worker->device->wake();

    // Keep the caller's window events flowing while the worker ends. Those events may call
    // back into the library: `closing_` makes every open, close and write they reach fail
    // without touching this device or worker. Events are dispatched at least once, so a close
    // behaves the same whether or not the worker has already gone.
    const std::uint32_t start = platform::tickCount();
    do {
        pump();
        if (worker->ended.load()) break;
        if (platform::threadTerminatedBySystem(thread_)) break;  // process exit
        platform::sleepMs(1);
    } while (platform::tickCount() - start < kWorkerEndBoundMs);
    if (thread_.joinable()) {
        if (worker->ended.load()) {
            thread_.join();
        } else {
            // The worker keeps its own reference to the device and the sink: both stay
            // allocated until it ends, and a later open gets new ones.
            diag("CorvexLink: CloseCommPort --> worker did not end\n");
            thread_.detach();
        }
    }

    status_->store(statusWord(worker->serial, Status::Closed), std::memory_order_release);
    platform::sleepMs(20);
    worker->device->setDtr(false);
    worker->device->purge();
    worker_.reset();
    {
        const std::lock_guard<std::mutex> lock(pathMutex_);
        openedPath_.clear();
    }
    closing_ = false;
    return 1;
}

int CommPort::writeBlock(const void *bytes, std::size_t count) {
    if (count == 0) {
        diag("CorvexLink: WriteCommBlock --> Byte count is zero\n");
        return 0;
    }
    if (!worker_ || closing_) return 0;  // nothing open, or being released

    std::lock_guard<std::mutex> lock(writeLock_);
    const platform::IoResult r = worker_->device->write(bytes, count, writeBound(count, lineRate_));
    if (r.status == platform::IoStatus::Ok && r.bytes == count) return 1;
    if (r.bytes > 0) {
        diag("CorvexLink: WriteCommBlock --> Write Timeout: %ld byte(s) of %ld byte(s) sent\n",
             static_cast<long>(r.bytes), static_cast<long>(count));
    } else {
        diag("CorvexLink: WriteCommBlock --> Write failed\n");
    }
    return 0;
}

int CommPort::write(const void *bytes, std::size_t count) {
    int written = writeBlock(bytes, count);
    if (written != 1) {
        diag("CorvexLinkDLL: WriteComm --> second round\n");
        written = writeBlock(bytes, count);
    }
    if (written == 1) trace::record(CORVEXLINK_TRACE_SENT, bytes, count);
    return written;
}

bool CommPort::setLineRate(std::uint32_t rate) {
    if (!worker_ || closing_ || !worker_->device->setBaudRate(rate)) return false;
    lineRate_ = rate;
    return true;
}

std::string CommPort::openedPath() const {
    const std::lock_guard<std::mutex> lock(pathMutex_);
    return openedPath_;
}

const platform::SerialDevice *CommPort::device() const {
    return worker_ ? worker_->device.get() : nullptr;
}

void CommPort::receive(std::shared_ptr<Worker> worker) {
    platform::SerialDevice &device = *worker->device;
    const platform::DiagnosticsTag tag(worker->tag);
    char chunk[kReadChunk];
    while (worker->running.load()) {
        const platform::WaitResult w = device.waitReadable();
        if (w == platform::WaitResult::Woken) continue;
        if (w == platform::WaitResult::LineLost) {
            // The device went away (an adapter unplugged, the far end hung up). Say so
            // once and idle until the close instead of spinning on the dead device.
            diag("CorvexLink: CommWatchThread --> line lost on %s\n", device.path().c_str());
            std::uint64_t open = statusWord(worker->serial, Status::Open);
            worker->status->compare_exchange_strong(open, statusWord(worker->serial, Status::Lost));
            while (worker->running.load()) device.waitForWake();
            break;
        }
        // The stop flag is looked at before every read: a line that never falls silent (a
        // flood of data) must not keep the worker from a close.
        while (worker->running.load()) {
            const std::size_t waiting = device.bytesWaiting();
            const std::size_t n = waiting < sizeof chunk ? waiting : sizeof chunk;
            if (n == 0) break;
            const platform::IoResult r = device.read(chunk, n);
            if (r.status != platform::IoStatus::Ok) {
                diag("CorvexLink: ReadCommBlock --> Read failed (status = 0x%08X)\n",
                     static_cast<unsigned>(r.error));
                break;
            }
            if (r.bytes == 0) break;
            worker->sink->append(chunk, r.bytes);
        }
    }
    worker->ended.store(true);
}

}  // namespace corvex::link
