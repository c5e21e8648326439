// SPDX-License-Identifier: MIT
// The serial device as the link layer sees it. Each operating system fills this in in a
// file of its own (posix/serial_device_posix.cpp), and a line reached over the network
// (network_line.cpp) is one more; nothing above this interface knows which one runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvex::platform {

struct LineSettings {
    std::uint32_t baudRate = 9600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0;    // 0 = none
    std::uint8_t stopBits = 0;  // 0 = one stop bit
    bool dsrDtrHandshake = false;
    bool ctsRtsHandshake = false;
    bool xonXoff = false;
};

enum class WaitResult {
    Readable,  // bytes are waiting
    Woken,     // wake() was called
    LineLost,  // the device went away (hang-up or I/O error)
};

enum class IoStatus { Ok, Failed };

// IoResult::error of a write that did not complete within its bound.
inline constexpr int kWriteTimedOut = -1;

struct IoResult {
    IoStatus status = IoStatus::Failed;
    std::size_t bytes = 0;  // bytes transferred
    int error = 0;          // system error code when Failed
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // The device path the port number resolved to (for diagnostics).
    virtual const std::string &path() const = 0;

    // Programs rate, framing and flow control. Returns false when the device refuses.
    virtual bool configure(const LineSettings &settings) = 0;
    // Changes only the line rate of an open device.
    virtual bool setBaudRate(std::uint32_t baudRate) = 0;
    // Whether setBaudRate() can change the rate of the line itself. A raw TCP stream cannot:
    // the server's own configuration fixes the rate of the line at its end.
    virtual bool canChangeLineRate() const { return true; }
    // Whether the line is known to be gone: the device went away or hung up, the network
    // connection was closed, reset or dropped. It stays so until the device is closed; a
    // new open is needed. Cheap and safe from any thread.
    virtual bool lost() const = 0;
    // Drops pending output and input in both directions.
    virtual void purge() = 0;
    // Raises or drops DTR. Devices without modem lines (pseudo-terminals) ignore it.
    virtual void setDtr(bool on) = 0;
    // Bytes waiting in the input queue (0 on error).
    virtual std::size_t bytesWaiting() = 0;
    // Writes all bytes and waits until the driver has sent them, for at most `bound`. A write
    // that cannot complete within the bound (the far end stopped reading, a stalled adapter)
    // fails with the bytes written so far and error kWriteTimedOut, so that no caller waits
    // without end on a line that does not take its bytes.
    virtual IoResult write(const void *bytes, std::size_t count,
                           std::chrono::milliseconds bound) = 0;
    // Reads at most `max` bytes without blocking.
    virtual IoResult read(void *buffer, std::size_t max) = 0;
    // Blocks until input arrives, wake() is called or the line is lost.
    virtual WaitResult waitReadable() = 0;
    // Blocks until wake() is called (used once the line is lost, so nothing spins).
    virtual void waitForWake() = 0;
    // Ends a pending or the next waitReadable()/waitForWake() at once. Safe from any thread.
    virtual void wake() = 0;
};

// Why a device did not open: the kind, for programs, and the reason in a person's words.
enum class OpenFailureKind {
    None,              // nothing failed
    NoDevice,          // the name leads to no device (nothing at the path, COM<n> names none)
    PermissionDenied,  // the device exists and the user may not open it
    InUse,             // another program (or another line of this one) holds the device
    Refused,           // a network server refused the connection or the COM-port option
    TimedOut,          // a network server did not answer within the open's bound
    MalformedName,     // the name cannot name a device
    NotSerial,         // the device is not a serial line
    Other,             // any other reason (the text says which)
};

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::None;
    std::string device;  // the device the name led to (the name itself when it led nowhere)
    std::string reason;  // "no such device", "connection refused", ...

    void set(OpenFailureKind k, std::string d, std::string r) {
        kind = k;
        device = std::move(d);
        reason = std::move(r);
    }
    // The same for a fixed reason. Defined out of line, so that the text stays one string in
    // the library (built in place, a literal is copied in pieces that read as misspellings).
    void set(OpenFailureKind k, std::string d, const char *r);
    // "<device>: <reason>", as the diagnostics line and the error message give it.
    std::string text() const { return device.empty() ? reason : device + ": " + reason; }
};

// The device path that logical port `port` (COM<port>) names, or "" for none.
std::string resolvePortName(int port);

// The logical port number a device name gives as "COM<n>" (any case) or as a bare decimal
// number; 0 when the name is neither.
int portNumberInName(const std::string &name);

// Opens a device by name for exclusive use: "COM<n>" or a bare port number through the
// port-name resolver, an rfc2217:// or tcp:// name as a network line, anything else as the
// path of a local device. Returns nullptr when the name names nothing, the device does not
// exist, is in use or cannot be opened, or the line cannot be reached; `failure` then says
// which device and why ("/dev/ttyUSB0", "no such device").
std::unique_ptr<SerialDevice> openNamedDevice(const std::string &name, OpenFailure &failure);

// Opens logical port `port` (COM<port>): openNamedDevice for its name. `failure`, when
// given, is the failure's text(), "/dev/ttyUSB0: no such device".
std::unique_ptr<SerialDevice> openSerialDevice(int port, OpenFailure &failure);
std::unique_ptr<SerialDevice> openSerialDevice(int port, std::string *failure = nullptr);

// Opens the local device at `path` (each operating system's own).
std::unique_ptr<SerialDevice> openLocalDevice(const std::string &path, OpenFailure &failure);

}  // namespace corvex::platform
