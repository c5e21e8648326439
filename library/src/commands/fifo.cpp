// SPDX-License-Identifier: MIT
// FIFO exports: queue commands in a station's FIFO (waiting for room when it is full),
// reset it, and read its index counter and free room.
#include "../operations.h"
#include "../platform/clock.h"
#include "command.h"
#include "conversions.h"
#include "user_io.h"

using namespace corvex::commands;
namespace platform = corvex::platform;

namespace {

constexpr unsigned kRoomPollMs = 10;
constexpr int kMaxRoomPolls = 91;

// A queued command, the FIFO room it takes, and whether a failed transaction still
// writes the last value into the out-parameter.
struct FifoCommand {
    Command command;
    std::int32_t room;
    bool lastValueOnFailure;
};

constexpr Command queued(char letter, Arg arg) {
    return Command{letter, arg, Groups::Refused, std::nullopt, true};
}

constexpr FifoCommand kQueueUserIo{queued('W', Arg::Signed), 3, false};
constexpr FifoCommand kQueueSpi{queued('U', Arg::Unsigned), 3, false};
constexpr FifoCommand kQueueStepRel{queued('N', Arg::Signed), 4, true};
constexpr FifoCommand kQueueGoAbs{queued('T', Arg::Signed), 4, true};
constexpr FifoCommand kQueueSlewRate{queued('R', Arg::Signed), 3, true};
constexpr FifoCommand kQueueFirstRate{queued('F', Arg::Signed), 3, true};
constexpr FifoCommand kQueueSlope{queued('S', Arg::Signed), 2, true};
constexpr FifoCommand kQueueRepeat{queued('G', Arg::None), 1, true};
constexpr FifoCommand kQueueWait{queued('D', Arg::Unsigned), 3, true};

constexpr Command kFifoReset{'K'};

// ZelmarGetValue() reports the masked counter too.
constexpr std::int32_t maskIndexCounter(std::int32_t value) { return value & 0xFFFF; }
constexpr Query kIndexCounter{Command{'['}, true, &maskIndexCounter, true};
constexpr Query kRemainingBytes{Command{']'}, true};

bool refuseNullOut(Call &call, const std::int32_t *out) {
    if (out != nullptr) return false;
    call.errors().select(MessageEntry::WrongAddress);
    return true;
}

// Polls the free room every 10 ms, at most 91 times, until the command fits; then sends
// it again. The free room left after it, or -1 when no room came or the resend was not
// queued.
int FIFOWaitAndResend(Call &call, const char *command, std::int32_t room, const char *address) {
    std::int32_t free = 0;
    for (int poll = 0; poll < kMaxRoomPolls && free < room; ++poll) {
        platform::sleepMs(kRoomPollMs);
        if (corvex::ops::FIFOGetRemainingBytes(call, address, &free) == -1) return -1;
    }
    if (free < room) {
        call.errors().set(
            CORVEXLINK_ERR_FIFO_WAIT_EXPIRED, "%s",
            "The Delay of 900 Ms has been expired, and Can NOT Write the Command TO FIFO");
        return -1;
    }
    // Only a resend that the station takes is queued: a failure, or FIFO full once more,
    // ends the export with -1 and that answer's error state.
    if (corvex::link::ItcCommand(call, command) != corvex::link::kTransactionOk) return -1;
    return free - room;
}

// The common course of a queued command. On success *out is the free room after it.
int runFifo(Call &call, const char *address, const FifoCommand &fifo, std::int32_t value,
            std::int32_t *out) {
    if (refuseNullOut(call, out)) return -1;
    const auto target = resolveTarget(call, address, fifo.command.groups);
    if (!target) return -1;
    const CommandText text = formatCommand(*target, fifo.command, value);
    switch (corvex::link::ItcCommand(call, text.data())) {
    case corvex::link::kTransactionOk: *out = call.caller.lastValue; return 1;
    case corvex::link::kTransactionFifoFull: {
        const int left = FIFOWaitAndResend(call, text.data(), fifo.room, address);
        if (left == -1) return -1;
        *out = left;
        return 1;
    }
    default:
        if (fifo.lastValueOnFailure) *out = call.caller.lastValue;
        return -1;
    }
}

int queueUserIo(Call &call, const char *address, int value, std::int32_t *freeBytes) {
    if (refuseNullOut(call, freeBytes)) return -1;
    std::int32_t marked = value;
    if (!applyUserIoRules(call, address, UserIoAction::Write, marked)) return -1;
    return runFifo(call, address, kQueueUserIo, marked, freeBytes);
}

// The slope travels as one byte: outside -256..255 it cannot be sent as meant.
int queueSlope(Call &call, const char *address, int slope, std::int32_t *freeBytes) {
    if (slope < kMinFifoSlope || slope > kMaxFifoSlope) {
        if (refuseNullOut(call, freeBytes)) return -1;
        call.errors().select(MessageEntry::Acceleration);
        return -1;
    }
    return runFifo(call, address, kQueueSlope, fifoSlopeArgument(slope), freeBytes);
}

}  // namespace

namespace corvex::ops {

int FIFOReset(Call &call, const char *address) { return runCommand(call, address, kFifoReset); }

int FIFOGetIndexCounter(Call &call, const char *address, int32_t *index) {
    return runQuery(call, address, kIndexCounter, index);
}

int FIFOGetRemainingBytes(Call &call, const char *address, int32_t *freeBytes) {
    return runQuery(call, address, kRemainingBytes, freeBytes);
}

int FIFOWriteUserIO(Call &call, const char *address, int value, int32_t *freeBytes) {
    return queueUserIo(call, address, value, freeBytes);
}

int FIFOWriteSPI(Call &call, const char *address, int value, int32_t *freeBytes) {
    return runFifo(call, address, kQueueSpi, value, freeBytes);
}

int FIFOMotorNumberStepRel(Call &call, const char *address, int32_t steps, int32_t *freeBytes) {
    return runFifo(call, address, kQueueStepRel, steps, freeBytes);
}

int FIFOMotorGoAbsPos(Call &call, const char *address, int32_t position, int32_t *freeBytes) {
    return runFifo(call, address, kQueueGoAbs, position, freeBytes);
}

int FIFOMotorSlewRate(Call &call, const char *address, int rate, int32_t *freeBytes) {
    return runFifo(call, address, kQueueSlewRate, rate, freeBytes);
}

int FIFOMotorFirstRate(Call &call, const char *address, int rate, int32_t *freeBytes) {
    return runFifo(call, address, kQueueFirstRate, rate, freeBytes);
}

int FIFOMotorSlope(Call &call, const char *address, int slope, int32_t *freeBytes) {
    return queueSlope(call, address, slope, freeBytes);
}

int FIFOMotorRepeat(Call &call, const char *address, int32_t *freeBytes) {
    return runFifo(call, address, kQueueRepeat, 0, freeBytes);
}

int FIFOMotorWait(Call &call, const char *address, int wait, int32_t *freeBytes) {
    return runFifo(call, address, kQueueWait, wait, freeBytes);
}

}  // namespace corvex::ops
