// SPDX-License-Identifier: MIT
#include "comm_port.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "../platform/clock.h"
#include "../platform/diagnostics.h"
#include "../platform/thread_priority.h"
#include "../platform/ui.h"
#include "line_rates.h"

namespace corvex::link {

using platform::diag;

namespace {

std::atomic<std::uint32_t> g_nextWorkerId{1};

DeviceFactory &deviceFactory() {
    static DeviceFactory *f = new DeviceFactory;  // outlives static destruction
    return *f;
}

void CommWatchThread(CommPort *port);

}  // namespace

// ----- answer sink -------------------------------------------------------------------

namespace {
// How long a waiting caller polls the completion flag before it sleeps: long enough to
// catch an answer that the worker is already moving in, short against any wire time.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(30);
}  // namespace

void AnswerSink::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    buffer_.clear();
    complete_.store(0, std::memory_order_release);
}

void AnswerSink::append(const char *bytes, std::size_t count) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (buffer_.append(bytes, count) && complete_.load(std::memory_order_relaxed) == 0) {
            complete_.store(1, std::memory_order_release);
            wake = sleeping_;
        }
    }
    if (wake) completed_.notify_one();
}

bool AnswerSink::waitComplete(std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    const auto spinEnd = std::min(deadline, Clock::now() + kSpinBeforeSleep);
    while (Clock::now() < spinEnd) {
        if (complete()) return true;
        platform::cpuRelax();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    sleeping_ = true;
    const bool done = completed_.wait_until(lock, deadline, [this] { return complete(); });
    sleeping_ = false;
    return done;
}

std::string AnswerSink::text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::string(buffer_.text());
}

// ----- library-wide instances ----------------------------------------------------------

// Allocated once and never destroyed, so that the close at unload still finds them.
PortState &portState() {
    static PortState *s = new PortState;
    return *s;
}

namespace {
std::atomic<CommPort *> g_commPort{nullptr};  // constant-initialised: readable at any time
}

CommPort &commPort() {
    static CommPort *p = [] {
        auto *created = new CommPort;
        g_commPort.store(created);
        return created;
    }();
    return *p;
}

bool portDeviceOpen() {
    const CommPort *p = g_commPort.load();
    return p != nullptr && p->device != nullptr;
}

AnswerSink &answerSink() {
    static AnswerSink *a = new AnswerSink;
    return *a;
}

void setDeviceFactory(DeviceFactory factory) { deviceFactory() = std::move(factory); }

void resetPortStateForTest() {
    CloseCommPort();
    portState() = PortState{};
}

// ----- rates ---------------------------------------------------------------------------

void SelectBaudRate(std::int32_t rate) {
    const std::int32_t line = lineRateFor(rate);
    if (line != 0) portState().lineBaudRate = line;  // an unsupported rate keeps the line rate
}

void ApplyBaudRate() {
    PortState &st = portState();
    CommPort &port = commPort();
    if (!st.portUsed || !st.portOpen || !port.device) return;
    const auto rate = static_cast<std::uint32_t>(st.lineBaudRate);
    if (port.device->setBaudRate(rate)) {
        port.lineRate = rate;
    }
}

// ----- open and close ----------------------------------------------------------------

bool SetupConnection(CommPort &port) {
    platform::LineSettings s;
    s.baudRate = port.lineRate;
    s.dataBits = port.dataBits;
    s.parity = port.parity;
    s.stopBits = port.stopBits;
    s.dsrDtrHandshake = port.dsrDtrHandshake;
    s.ctsRtsHandshake = port.ctsRtsHandshake;
    s.xonXoff = port.xonXoff;
    return port.device->configure(s);
}

bool OpenCommPort(int portNumber) {
    CommPort &port = commPort();
    if (port.device || port.closing) return false;

    port.device =
        deviceFactory() ? deviceFactory()(portNumber) : platform::openSerialDevice(portNumber);
    if (!port.device) return false;
    port.device->purge();
    if (!SetupConnection(port)) {
        port.device.reset();
        return false;
    }

    port.answer = &answerSink();
    port.running.store(1);
    port.workerId.store(g_nextWorkerId.fetch_add(1));
    try {
        port.worker = std::thread(CommWatchThread, &port);
    } catch (...) {
        port.running.store(0);
        port.workerId.store(0);
        port.device.reset();
        return false;
    }

    // The worker moves answers into the buffer the moment they arrive: time-critical
    // priority, else highest. An unprivileged process is always refused real-time
    // scheduling, so the refusals are diagnostics lines rather than modal boxes; the port
    // works at normal priority.
    if (!platform::setThreadPriority(port.worker, platform::ThreadPriority::TimeCritical)) {
        diag("Can not setup priority of the CorvexLink thread to THREAD_PRIORITY_TIME_CRITICAL\n");
        if (!platform::setThreadPriority(port.worker, platform::ThreadPriority::Highest)) {
            diag("Can not setup priority of the CorvexLink thread to THREAD_PRIORITY_HIGHEST\n");
        }
    }
    return true;
}

bool commPortClosing() { return commPort().closing; }

int CloseCommPort() {
    CommPort &port = commPort();
    if (!port.device || port.closing) return 0;
    port.closing = true;

    port.running.store(0);
    port.device->wake();

    // Keep the caller's window events flowing while the worker ends. Those events may call
    // back into the library: `closing` makes every open, close and write they reach fail
    // without touching this device or worker. The worker always ends promptly once woken;
    // the bound only guards against a worker that the system has already taken away
    // (unload at process exit).
    // Events are dispatched at least once, so a close behaves the same whether or not the
    // worker has already gone.
    const std::uint32_t start = platform::tickCount();
    do {
        platform::pumpMessages();
        if (port.workerId.load() == 0) break;
        if (platform::threadTerminatedBySystem(port.worker)) break;  // process exit
        platform::sleepMs(1);
    } while (platform::tickCount() - start < 2000);
    bool workerEnded = true;
    if (port.worker.joinable()) {
        if (port.workerId.load() == 0) {
            port.worker.join();
        } else {
            diag("CorvexLink: CloseCommPort --> worker did not end\n");
            port.worker.detach();
            workerEnded = false;
        }
    }

    platform::sleepMs(20);
    port.device->setDtr(false);
    port.device->purge();
    if (workerEnded) {
        port.device.reset();
    } else {
        // A worker that may still run keeps using the device: leave it allocated rather
        // than pull it from under that thread.
        static_cast<void>(port.device.release());
    }
    port.closing = false;
    return 1;
}

// ----- reads and writes --------------------------------------------------------------

int WriteCommBlock(CommPort &port, const void *bytes, std::size_t count) {
    if (count == 0) {
        diag("CorvexLink: WriteCommBlock --> Byte count is zero\n");
        return 0;
    }
    if (!port.device || port.closing) return 0;  // nothing open, or being released

    std::lock_guard<std::mutex> lock(port.writeLock);
    const platform::IoResult r = port.device->write(bytes, count, writeBound(count, port.lineRate));
    if (r.status == platform::IoStatus::Ok && r.bytes == count) return 1;
    if (r.bytes > 0) {
        diag("CorvexLink: WriteCommBlock --> Write Timeout: %ld byte(s) of %ld byte(s) sent\n",
             static_cast<long>(r.bytes), static_cast<long>(count));
    } else {
        diag("CorvexLink: WriteCommBlock --> Write failed\n");
    }
    return 0;
}

int WriteComm(const void *bytes, std::size_t count) {
    if (WriteCommBlock(commPort(), bytes, count) == 1) return 1;
    diag("CorvexLinkDLL: WriteComm --> second round\n");
    return WriteCommBlock(commPort(), bytes, count);
}

std::size_t ReadCommBlock(CommPort &port, char *buffer, std::size_t max) {
    const std::size_t waiting = port.device->bytesWaiting();
    const std::size_t n = waiting < max ? waiting : max;
    if (n == 0) return 0;
    const platform::IoResult r = port.device->read(buffer, n);
    if (r.status != platform::IoStatus::Ok) {
        diag("CorvexLink: ReadCommBlock --> Read failed (status = 0x%08X)\n",
             static_cast<unsigned>(r.error));
        return 0;
    }
    return r.bytes;
}

namespace {

void CommWatchThread(CommPort *port) {
    char chunk[kReadChunk];
    while (port->running.load()) {
        const platform::WaitResult w = port->device->waitReadable();
        if (w == platform::WaitResult::Woken) continue;
        if (w == platform::WaitResult::LineLost) {
            // The device went away (an adapter unplugged, the far end hung up). Say so
            // once and idle until the close instead of spinning on the dead device.
            diag("CorvexLink: CommWatchThread --> line lost on %s\n", port->device->path().c_str());
            while (port->running.load()) port->device->waitForWake();
            break;
        }
        for (;;) {
            const std::size_t n = ReadCommBlock(*port, chunk, sizeof chunk);
            if (n == 0) break;
            port->answer->append(chunk, n);
        }
    }
    port->workerId.store(0);
}

}  // namespace

}  // namespace corvex::link
