// SPDX-License-Identifier: MIT
#include "error_state.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

namespace corvex::link {

namespace {

// The fixed messages of argument errors, in the order of MessageEntry.
constexpr const char *kMessageTable[] = {
    "COM Port Time Out",
    "Wrong Address in list",
    "Broadcasting not allowed in this command",
    "Wrong Current Value need to be from 50(mA) to 2000 (mA)",
    "Wrong ADC Resolution",
    "Wrong Acceleration Value must be between 0 to 255, for TRAPEZOIDAL MODE",
    "Wrong Slew Rate Value must be between 16 to 8500",
    "Wrong First Rate Value must be between 16 to 8500",
};
static_assert(std::size(kMessageTable) == static_cast<std::size_t>(MessageEntry::FirstRate) + 1);

void copyText(char (&dest)[kErrorMessageSize], const char *src) {
    std::snprintf(dest, sizeof dest, "%s", src);
}

}  // namespace

void ErrorState::set(std::int32_t number, const char *format, ...) {
    number_ = number;
    va_list args;
    va_start(args, format);
    std::vsnprintf(message_, sizeof message_, format, args);
    va_end(args);
    if (message_[0] != '\0') recordFailure();
}

void ErrorState::select(MessageEntry entry) {
    const auto index = static_cast<std::size_t>(entry);
    if (index >= std::size(kMessageTable)) return;
    copyText(message_, kMessageTable[index]);
    recordFailure();
}

void ErrorState::clear() {
    number_ = CORVEXLINK_ERR_CLEARED;
    message_[0] = '\0';
}

void ErrorState::keepFailureSince(std::uint32_t mark) {
    if (message_[0] != '\0' || failureSerial_ == mark) return;
    number_ = failureNumber_;
    copyText(message_, failureMessage_);
}

void ErrorState::recordFailure() {
    ++failureSerial_;
    failureNumber_ = number_;
    copyText(failureMessage_, message_);
}

}  // namespace corvex::link
