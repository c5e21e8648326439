// SPDX-License-Identifier: MIT
// The exports of the lines themselves: open one by name, open it again, close it, the
// default line's handle, a line's state, device and known stations, and its trace handler.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "../link/line_rates.h"
#include "../link/line_registry.h"
#include "../link/port_ops.h"
#include "alias.h"
#include "course.h"

namespace corvex::exports {

namespace {

int reasonCode(platform::OpenFailureKind kind) {
    switch (kind) {
    case platform::OpenFailureKind::None: return CORVEXLINK_OPEN_OK;
    case platform::OpenFailureKind::NoDevice: return CORVEXLINK_OPEN_NO_DEVICE;
    case platform::OpenFailureKind::PermissionDenied: return CORVEXLINK_OPEN_PERMISSION_DENIED;
    case platform::OpenFailureKind::InUse: return CORVEXLINK_OPEN_IN_USE;
    case platform::OpenFailureKind::Refused: return CORVEXLINK_OPEN_REFUSED;
    case platform::OpenFailureKind::TimedOut: return CORVEXLINK_OPEN_TIMED_OUT;
    case platform::OpenFailureKind::MalformedName: return CORVEXLINK_OPEN_MALFORMED_NAME;
    case platform::OpenFailureKind::NotSerial: return CORVEXLINK_OPEN_NOT_SERIAL;
    case platform::OpenFailureKind::Other: return CORVEXLINK_OPEN_OTHER;
    }
    return CORVEXLINK_OPEN_OTHER;
}

// Fills the caller's result (when given) from an open's outcome.
void fillResult(CorvexLinkResult *result, std::int32_t number, const platform::OpenFailure &failure,
                const char *message, const std::string &device) {
    if (result == nullptr) return;
    *result = CorvexLinkResult{};
    result->number = number;
    result->reason = reasonCode(failure.kind);
    std::snprintf(result->message, sizeof result->message, "%s", message);
    std::snprintf(result->device, sizeof result->device, "%s", device.c_str());
    std::snprintf(result->detail, sizeof result->detail, "%s", failure.reason.c_str());
}

// A failed open: the result, and the same error in the calling thread's state for `id`.
int failOpen(CorvexLinkResult *result, link::ErrorState &errors,
             const platform::OpenFailure &failure) {
    errors.set(CORVEXLINK_ERR_OPEN_FAILED, "Unable to open COM port: %s", failure.text().c_str());
    fillResult(result, CORVEXLINK_ERR_OPEN_FAILED, failure, errors.message(), failure.device);
    return -1;
}

// Reasons kept as one string each (see OpenFailure::set).
constexpr const char *kInUseByLine = "in use by another line of this program";
constexpr const char *kNoDevice = "no device named";
constexpr const char *kNoHandle = "no place for the line's handle";
constexpr const char *kLineRates = "300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200";

// Whether a line of this process has `device` open (a second open of it finds it in use).
bool heldByAnotherLine(const std::string &device) {
    for (const std::shared_ptr<link::Line> &other : link::allLines())
        if (other->port.openedPath() == device) return true;
    return false;
}

bool isLineRate(int rate) {
    return std::any_of(std::begin(link::kLineRates), std::end(link::kLineRates),
                       [rate](const link::LineRate &r) { return r.rate == rate; });
}

// Opens (or opens again) the target's line under its export lock; the line must not be
// retired. 1, or -1 with the result and the thread's state saying why.
int openTarget(const Target &target, CorvexLinkResult *result) {
    link::Line &line = *target.line;
    const std::lock_guard<std::recursive_mutex> lock(line.exportLock);
    const corvex::exports::LineScope scope(target.line);
    link::CallerState &state = corvex::exports::stateFor(target);
    link::Call call{line, state};
    if (line.retired()) {
        link::refuseRetired(call);
        platform::OpenFailure none;
        fillResult(result, CORVEXLINK_ERR_LINE_CLOSED, none, state.errors.message(), {});
        return -1;
    }
    platform::OpenFailure failure;
    if (link::openLinePort(call, failure, link::kOpenSettleMs) != 1) {
        if (failure.kind == platform::OpenFailureKind::None)
            failure.set(platform::OpenFailureKind::Other, line.deviceName(),
                        "the port is being closed");
        if (failure.kind == platform::OpenFailureKind::InUse && heldByAnotherLine(failure.device))
            failure.set(failure.kind, failure.device, kInUseByLine);
        return failOpen(result, state.errors, failure);
    }
    const platform::SerialDevice *device = line.port.device();
    fillResult(result, 0, failure, "", device != nullptr ? device->path() : line.deviceName());
    return 1;
}

}  // namespace

int lineOpen(const char *device, int baudRate, CorvexLinkLine **line, CorvexLinkResult *result) {
    try {
        if (line != nullptr) *line = nullptr;
        platform::OpenFailure failure;
        const std::string named = device != nullptr ? device : "";
        if (named.empty()) {
            failure.set(platform::OpenFailureKind::MalformedName, named, kNoDevice);
        } else if (line == nullptr) {
            failure.set(platform::OpenFailureKind::MalformedName, named, kNoHandle);
        } else if (!isLineRate(baudRate)) {
            char why[128];
            std::snprintf(why, sizeof why, "%d baud is not a line rate (%s)", baudRate, kLineRates);
            failure.set(platform::OpenFailureKind::MalformedName, named, std::string(why));
        }
        if (failure.kind != platform::OpenFailureKind::None) {
            link::ErrorState errors;
            return failOpen(result, errors, failure);
        }
        auto opened = std::make_shared<link::Line>(link::LineSeams{}, link::newLineId(), device);
        opened->selection.baudRate = baudRate;
        const Target target{opened, opened->id, true};
        if (openTarget(target, result) != 1) return -1;
        link::addLine(opened);
        *line = handleOf(opened->id);
        return 1;
    } catch (...) {
        platform::OpenFailure failure;
        failure.set(platform::OpenFailureKind::Other, device != nullptr ? device : "",
                    "out of memory");
        link::ErrorState errors;
        return failOpen(result, errors, failure);
    }
}

int lineReopen(CorvexLinkLine *line, CorvexLinkResult *result) {
    const Target target = handleTarget(line);
    if (!target.line) {
        reportNoLine(target.id);
        platform::OpenFailure none;
        fillResult(result, CORVEXLINK_ERR_LINE_CLOSED, none,
                   threadState(target.id).errors.message(), {});
        return -1;
    }
    try {
        return openTarget(target, result);
    } catch (...) {
        return -1;
    }
}

int lineClose(CorvexLinkLine *handle) {
    const std::uint64_t id = idOf(handle);
    if (id == link::kDefaultLineId) {
        return commandCall(handleTarget(handle),
                           [](link::Call &call) { return link::closeLinePort(call, true); });
    }
    const std::shared_ptr<link::Line> line = link::removeLine(id);
    if (!line) {
        reportNoLine(id);
        return -1;
    }
    // Calls under way fail at their next transaction; the lock is free once they have ended.
    line->retire();
    try {
        const std::lock_guard<std::recursive_mutex> lock(line->exportLock);
        const LineScope scope(line);
        link::Call call{*line, threadState(id)};
        if (line->selection.open) link::closeLinePort(call, false);
    } catch (...) {
        // The lock could not be had; the line is retired, its device closed when it is freed.
    }
    return 1;
}

int lineGetState(CorvexLinkLine *handle) {
    try {
        const Target target = handleTarget(handle);
        if (!target.line || target.line->retired()) return CORVEXLINK_LINE_INVALID;
        switch (target.line->port.status()) {
        case link::CommPort::Status::Open: return CORVEXLINK_LINE_OPEN;
        case link::CommPort::Status::Lost: return CORVEXLINK_LINE_LOST;
        case link::CommPort::Status::Closed: return CORVEXLINK_LINE_NOT_OPEN;
        }
    } catch (...) {
    }
    return CORVEXLINK_LINE_INVALID;
}

int lineGetDevice(CorvexLinkLine *handle, char *device, int size) {
    if (device == nullptr || size <= 0) return -1;
    return lockedCall(handleTarget(handle), -1, [&](link::Line &line) {
        const std::string name = line.deviceName();
        if (name.size() + 1 > static_cast<std::size_t>(size)) return -1;
        std::memcpy(device, name.c_str(), name.size() + 1);
        return 1;
    });
}

int lineKnownControllers(CorvexLinkLine *handle, char *buffer) {
    if (buffer == nullptr) return -1;
    try {
        const Target target = handleTarget(handle);
        if (!target.line) return -1;
        // Without the line's lock: a stop of every known station does not wait for a scan.
        const std::uint32_t found = target.line->stations.found.load(std::memory_order_acquire);
        std::size_t length = 0;
        char list[CORVEXLINK_CONTROLLER_LIST_SIZE] = {};
        for (int address = 0; address < link::kStationCount; ++address) {
            length += static_cast<std::size_t>(
                (found & (1u << address)) == 0
                    ? std::snprintf(list + length, sizeof list - length, "N")
                    : std::snprintf(list + length, sizeof list - length, "%d", address));
            if (address < link::kStationCount - 1) list[length++] = ',';
        }
        std::memcpy(buffer, list, length + 1);
        return 1;
    } catch (...) {
        return -1;
    }
}

}  // namespace corvex::exports

extern "C" int CorvexLinkLineOpen(const char *device, int baudRate, CorvexLinkLine **line,
                                  CorvexLinkResult *result) {
    return corvex::exports::lineOpen(device, baudRate, line, result);
}
CORVEXLINK_ALIAS(CorvexLinkLineOpen)

extern "C" int CorvexLinkLineReopen(CorvexLinkLine *line, CorvexLinkResult *result) {
    return corvex::exports::lineReopen(line, result);
}
CORVEXLINK_ALIAS(CorvexLinkLineReopen)

extern "C" int CorvexLinkLineClose(CorvexLinkLine *line) {
    return corvex::exports::lineClose(line);
}
CORVEXLINK_ALIAS(CorvexLinkLineClose)

extern "C" CorvexLinkLine *CorvexLinkDefaultLine(void) {
    return corvex::exports::handleOf(corvex::link::kDefaultLineId);
}
CORVEXLINK_ALIAS(CorvexLinkDefaultLine)

extern "C" int CorvexLinkLineGetState(CorvexLinkLine *line) {
    return corvex::exports::lineGetState(line);
}
CORVEXLINK_ALIAS(CorvexLinkLineGetState)

extern "C" int CorvexLinkLineGetDevice(CorvexLinkLine *line, char *device, int size) {
    return corvex::exports::lineGetDevice(line, device, size);
}
CORVEXLINK_ALIAS(CorvexLinkLineGetDevice)

extern "C" int CorvexLinkLineKnownControllers(CorvexLinkLine *line, char *buffer) {
    return corvex::exports::lineKnownControllers(line, buffer);
}
CORVEXLINK_ALIAS(CorvexLinkLineKnownControllers)
