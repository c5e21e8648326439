// SPDX-License-Identifier: MIT
// The error state that a caller of the exports reads back: the error number, its message,
// and the last failure reported, so that an export whose later steps succeeded (and so
// cleared the state) can still report the step that failed. The fixed messages that
// argument errors select are listed here with the entries that index them.
#pragma once

#include <cstdint>

#include "CorvexLink.h"

namespace corvex::link {

inline constexpr int kErrorMessageSize = 512;  // message with its NUL

// Entries of the fixed message table (kMessageTable in error_state.cpp). Selecting one sets
// the message and leaves the number as it is.
enum class MessageEntry : int {
    TimeOut = 0,
    WrongAddress = 1,
    Broadcast = 2,
    Current = 3,
    AdcResolution = 4,
    Acceleration = 5,
    SlewRate = 6,
    FirstRate = 7,
};

class ErrorState {
public:
    std::int32_t number() const { return number_; }
    const char *message() const { return message_; }

    // Sets the number and the message (printf rules, cut to kErrorMessageSize - 1 characters).
    // A non-empty message counts as a failure reported.
    void set(std::int32_t number, const char *format, ...) __attribute__((format(printf, 3, 4)));
    // Sets the message of a table entry; the number stays as it is.
    void select(MessageEntry entry);
    // Number CORVEXLINK_ERR_CLEARED and an empty message: the start of a checked operation.
    void clear();

    // A mark of the failures reported so far. keepFailureSince(mark), called when an
    // operation fails, puts back the last failure reported after `mark` if a later
    // successful step has cleared the state since; it changes nothing when the state holds a
    // message or no failure came after the mark.
    std::uint32_t mark() const { return failureSerial_; }
    void keepFailureSince(std::uint32_t mark);

private:
    void recordFailure();

    std::int32_t number_ = CORVEXLINK_ERR_NONE;
    char message_[kErrorMessageSize] = {};
    std::uint32_t failureSerial_ = 0;  // counts every failure reported
    std::int32_t failureNumber_ = 0;
    char failureMessage_[kErrorMessageSize] = {};
};

}  // namespace corvex::link
