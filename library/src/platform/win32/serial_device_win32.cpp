// SPDX-License-Identifier: MIT
// The serial device on Windows: a COM port opened for overlapped I/O. The receive worker
// waits on a pending one-byte overlapped read together with a wake event; the byte that
// read brings is held here and handed out first by the next read(). This works on real
// Windows and under Wine on a pseudo-terminal, where waiting for comm events does not.
#include "../serial_device.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "../clock.h"

namespace corvex::platform {
namespace {

constexpr DWORD kQueueSize = 4096;

// An unsignalled, unnamed event (manual-reset for overlapped operations).
HANDLE newEvent(BOOL manualReset) { return ::CreateEventA(nullptr, manualReset, FALSE, nullptr); }

class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice(HANDLE handle, HANDLE readEvent, HANDLE writeEvent, HANDLE wakeEvent,
                      std::string path)
        : handle_(handle), readEvent_(readEvent), writeEvent_(writeEvent), wakeEvent_(wakeEvent),
          path_(std::move(path)) {
        // The link's waits sleep in 1 ms steps; keep the system timer that fine while a
        // port is open instead of the default 15.6 ms.
        timerRaised_ = holdFineTimer(true);
    }

    ~Win32SerialDevice() override {
        cancelPendingRead();
        ::CloseHandle(handle_);
        ::CloseHandle(readEvent_);
        ::CloseHandle(writeEvent_);
        ::CloseHandle(wakeEvent_);
        if (timerRaised_) holdFineTimer(false);
    }

    const std::string &path() const override { return path_; }

    bool configure(const LineSettings &s) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) return false;
        // Every field is written: a device may report any earlier settings (a
        // pseudo-terminal under Wine reports software flow control on).
        dcb.BaudRate = s.baudRate;
        dcb.fBinary = TRUE;
        dcb.fParity = TRUE;
        dcb.fOutxCtsFlow = s.ctsRtsHandshake ? TRUE : FALSE;
        dcb.fOutxDsrFlow = s.dsrDtrHandshake ? TRUE : FALSE;
        dcb.fDtrControl = s.dsrDtrHandshake ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fTXContinueOnXoff = TRUE;
        dcb.fOutX = s.xonXoff ? TRUE : FALSE;
        dcb.fInX = s.xonXoff ? TRUE : FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;  // NUL bytes reach the link, which skips them itself
        dcb.fRtsControl = s.ctsRtsHandshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        dcb.fAbortOnError = FALSE;
        dcb.XonLim = 100;
        dcb.XoffLim = 100;
        dcb.ByteSize = s.dataBits;
        dcb.Parity = s.parity;      // 0 none, 1 odd, 2 even: the same codes as NOPARITY...
        dcb.StopBits = s.stopBits;  // 0 one, 2 two: ONESTOPBIT, TWOSTOPBITS
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.ErrorChar = 0;
        dcb.EofChar = 0;
        dcb.EvtChar = 0;
        if (!::SetCommState(handle_, &dcb)) return false;
        // Raising DTR fails on devices without modem lines (a pseudo-terminal): tolerated.
        setDtr(true);
        return true;
    }

    bool setBaudRate(std::uint32_t rate) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) return false;
        dcb.BaudRate = rate;
        return ::SetCommState(handle_, &dcb) != FALSE;
    }

    void purge() override {
        // The worker's pending one-byte read is left running (no RXABORT): it belongs to
        // the receive loop, which would otherwise see it aborted at random.
        std::lock_guard<std::mutex> lock(heldMutex_);
        ::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        held_ = false;
    }

    void setDtr(bool on) override { ::EscapeCommFunction(handle_, on ? SETDTR : CLRDTR); }

    bool lost() const override { return lost_.load(); }

    std::size_t bytesWaiting() override {
        std::lock_guard<std::mutex> lock(heldMutex_);
        return (held_ ? 1u : 0u) + queued();
    }

    IoResult write(const void *bytes, std::size_t count, std::chrono::milliseconds bound) override {
        IoResult r;
        OVERLAPPED ov{};
        ::ResetEvent(writeEvent_);
        ov.hEvent = writeEvent_;
        DWORD written = 0;
        if (!::WriteFile(handle_, bytes, static_cast<DWORD>(count), &written, &ov)) {
            if (::GetLastError() != ERROR_IO_PENDING) {
                r.error = static_cast<int>(::GetLastError());
                return r;
            }
            // Wait for the driver at most `bound`; a write still pending then is cancelled,
            // and what it sent before the cancel is reported.
            const auto ms = static_cast<DWORD>(std::max<long long>(bound.count(), 0));
            const bool done = ::WaitForSingleObject(writeEvent_, ms) == WAIT_OBJECT_0;
            if (!done) ::CancelIoEx(handle_, &ov);
            if (!::GetOverlappedResult(handle_, &ov, &written, TRUE) || !done) {
                r.error = done ? static_cast<int>(::GetLastError()) : kWriteTimedOut;
                r.bytes = written;
                return r;
            }
        }
        r.bytes = written;
        r.status = written == count ? IoStatus::Ok : IoStatus::Failed;
        return r;
    }

    IoResult read(void *buffer, std::size_t max) override {
        IoResult r;
        r.status = IoStatus::Ok;
        if (max == 0) return r;
        auto *out = static_cast<unsigned char *>(buffer);
        std::lock_guard<std::mutex> lock(heldMutex_);
        if (held_) {
            out[r.bytes++] = heldByte_;
            held_ = false;
        }
        const std::size_t want = std::min(max - r.bytes, queued());
        if (want == 0) return r;
        // Only bytes already in the driver's queue are asked for, so the read ends at once
        // even with no time-outs set.
        OVERLAPPED ov{};
        HANDLE event = newEvent(TRUE);
        if (event == nullptr) {
            r.error = static_cast<int>(::GetLastError());
            r.status = r.bytes > 0 ? IoStatus::Ok : IoStatus::Failed;
            return r;
        }
        ov.hEvent = event;
        DWORD got = 0;
        BOOL ok = ::ReadFile(handle_, out + r.bytes, static_cast<DWORD>(want), &got, &ov);
        if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
            ok = ::GetOverlappedResult(handle_, &ov, &got, TRUE);
        }
        if (!ok && r.bytes == 0) {
            r.error = static_cast<int>(::GetLastError());
            r.status = IoStatus::Failed;
        }
        ::CloseHandle(event);
        r.bytes += ok ? got : 0;
        return r;
    }

    WaitResult waitReadable() override {
        const WaitResult w = waitForInput();
        if (w == WaitResult::LineLost) lost_.store(true);
        return w;
    }

    void waitForWake() override { ::WaitForSingleObject(wakeEvent_, INFINITE); }

    void wake() override { ::SetEvent(wakeEvent_); }

private:
    WaitResult waitForInput() {
        for (;;) {
            // While the one-byte read is pending, every arriving byte goes to it first, so
            // the queue is looked at only when none is pending (the order stays intact).
            if (!readPending_ && bytesWaiting() > 0) return WaitResult::Readable;
            if (!readPending_ && !startByteRead()) return WaitResult::LineLost;
            if (!readPending_) continue;  // the byte came at once
            HANDLE handles[2] = {readEvent_, wakeEvent_};
            const DWORD which = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (which == WAIT_OBJECT_0 + 1) return WaitResult::Woken;
            if (which != WAIT_OBJECT_0) return WaitResult::LineLost;
            DWORD got = 0;
            const BOOL ok = ::GetOverlappedResult(handle_, &readOv_, &got, FALSE);
            const DWORD error = ok ? 0 : ::GetLastError();
            readPending_ = false;
            if (ok && got == 1) {
                std::lock_guard<std::mutex> lock(heldMutex_);
                heldByte_ = pendingByte_;
                held_ = true;
                continue;
            }
            if (ok || error == ERROR_OPERATION_ABORTED) {
                // An empty completion or a read cancelled by a purge: start another, with a
                // pause so that a device that keeps doing this cannot make the loop spin.
                sleepMs(1);
                continue;
            }
            // A broken pipe (the far end closed), a device that is not ready any more:
            // the line is gone.
            return WaitResult::LineLost;
        }
    }

    // Bytes in the driver's input queue; clears a pending error state on the way.
    std::size_t queued() {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle_, &errors, &status)) return 0;
        return status.cbInQue;
    }

    // Starts the overlapped one-byte read that the worker waits on. False when the device
    // refuses it (the line is gone); readPending_ stays false when the byte came at once.
    bool startByteRead() {
        readOv_ = OVERLAPPED{};
        ::ResetEvent(readEvent_);
        readOv_.hEvent = readEvent_;
        DWORD got = 0;
        if (::ReadFile(handle_, &pendingByte_, 1, &got, &readOv_)) {
            if (got == 1) {
                std::lock_guard<std::mutex> lock(heldMutex_);
                heldByte_ = pendingByte_;
                held_ = true;
            } else {
                sleepMs(1);
            }
            return true;
        }
        if (::GetLastError() != ERROR_IO_PENDING) return false;
        readPending_ = true;
        return true;
    }

    void cancelPendingRead() {
        if (!readPending_) return;
        ::CancelIoEx(handle_, &readOv_);
        DWORD got = 0;
        ::GetOverlappedResult(handle_, &readOv_, &got, TRUE);  // the buffer must outlive it
        readPending_ = false;
    }

    static bool holdFineTimer(bool on);

    HANDLE handle_;
    HANDLE readEvent_;
    HANDLE writeEvent_;
    HANDLE wakeEvent_;  // auto-reset: one wake() ends one wait, even one not yet begun
    std::string path_;
    bool timerRaised_ = false;
    std::atomic<bool> lost_{false};  // the worker's wait found the line gone

    // Worker-only: the pending one-byte read.
    OVERLAPPED readOv_{};
    unsigned char pendingByte_ = 0;
    bool readPending_ = false;

    // The byte that the pending read brought, until read() hands it out.
    std::mutex heldMutex_;
    unsigned char heldByte_ = 0;
    bool held_ = false;
};

bool Win32SerialDevice::holdFineTimer(bool on) {
    return (on ? ::timeBeginPeriod(1) : ::timeEndPeriod(1)) == TIMERR_NOERROR;
}

}  // namespace

std::string resolvePortName(int port) {
    if (port <= 0) return {};
    char name[40];
    std::snprintf(name, sizeof name, "CORVEXLINK_COM%d", port);
    if (const char *mapped = std::getenv(name); mapped != nullptr && mapped[0] != '\0') {
        return mapped;
    }
    // The device namespace reaches every port, COM10 and above included.
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", port);
    return name;
}

namespace {

// Why a device did not open. Windows answers "access denied" for a port that another
// program holds open, so that reason names both.
void setOpenFailure(OpenFailure &failure, const std::string &path, DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        failure.set(OpenFailureKind::NoDevice, path, "no such device");
        return;
    case ERROR_ACCESS_DENIED:
        failure.set(OpenFailureKind::InUse, path, "in use by another program, or access denied");
        return;
    case ERROR_SHARING_VIOLATION:
        failure.set(OpenFailureKind::InUse, path, "in use by another program");
        return;
    default:
        failure.set(OpenFailureKind::Other, path, "Windows error " + std::to_string(error));
        return;
    }
}

}  // namespace

std::unique_ptr<SerialDevice> openLocalDevice(const std::string &path, OpenFailure &failure) {
    // No sharing: a port in use by another program fails to open.
    HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        setOpenFailure(failure, path, ::GetLastError());
        return nullptr;
    }

    // Only a communications device is a port (a plain file or a pipe is refused).
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};  // all zero: reads end when the bytes asked for are there
    HANDLE readEvent = newEvent(TRUE);
    HANDLE writeEvent = newEvent(TRUE);
    HANDLE wakeEvent = newEvent(FALSE);
    if (!::GetCommState(handle, &dcb) || !::SetupComm(handle, kQueueSize, kQueueSize) ||
        !::SetCommTimeouts(handle, &timeouts) || readEvent == nullptr || writeEvent == nullptr ||
        wakeEvent == nullptr) {
        failure.set(OpenFailureKind::NotSerial, path, "not a serial device");
        for (HANDLE h : {readEvent, writeEvent, wakeEvent}) {
            if (h != nullptr) ::CloseHandle(h);
        }
        ::CloseHandle(handle);
        return nullptr;
    }
    ::PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    return std::make_unique<Win32SerialDevice>(handle, readEvent, writeEvent, wakeEvent, path);
}

}  // namespace corvex::platform
