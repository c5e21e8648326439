// SPDX-License-Identifier: MIT
#include "command.h"

#include <cstdio>

#include "CorvexLink.h"
#include "../link/transaction.h"

namespace corvex::commands {

std::optional<Target> resolveTarget(const char *text, Groups groups) {
    const ParsedAddress parsed = ParseStationAddress(text);
    const bool wrong = parsed.kind == AddressKind::Wrong ||
                       (parsed.kind == AddressKind::Single && parsed.address > kHighestAddress);
    if (wrong) {
        link::SetErrorMessage(kEntryWrongAddress);
        return std::nullopt;
    }
    if (parsed.kind == AddressKind::Group && groups == Groups::Refused) {
        link::SetErrorMessage(kEntryBroadcast);
        return std::nullopt;
    }
    Target target;
    target.group = parsed.kind == AddressKind::Group;
    target.address = target.group ? -1 : static_cast<int>(parsed.address);
    static_assert(sizeof target.prefix == sizeof parsed.prefix);
    for (std::size_t i = 0; i < sizeof target.prefix; ++i) target.prefix[i] = parsed.prefix[i];
    return target;
}

DecimalText::DecimalText(int value) { std::snprintf(text, sizeof text, "%d", value); }

Target stationTarget(int address) {
    Target target;
    target.address = address;
    std::snprintf(target.prefix, sizeof target.prefix, "%c%X", '_', static_cast<unsigned>(address));
    return target;
}

CommandText formatCommand(const Target &target, const Command &command, std::int32_t value) {
    CommandText text{};
    const char *amp = command.fifo ? "&" : "";
    switch (command.arg) {
    case Arg::None:
        std::snprintf(text.data(), text.size(), "%s%s%c", target.prefix, amp, command.letter);
        break;
    case Arg::Signed:
        std::snprintf(text.data(), text.size(), "%s%s%c%ld", target.prefix, amp, command.letter,
                      static_cast<long>(value));
        break;
    case Arg::Unsigned:
        std::snprintf(text.data(), text.size(), "%s%s%c%lu", target.prefix, amp, command.letter,
                      static_cast<unsigned long>(static_cast<std::uint32_t>(value)));
        break;
    }
    return text;
}

int sendTo(const Target &target, const Command &command, std::int32_t value) {
    const CommandText text = formatCommand(target, command, value);
    return link::ItcCommand(text.data());
}

int runCommand(const char *address, const Command &command, std::int32_t value) {
    const std::optional<Target> target = resolveTarget(address, command.groups);
    if (!target) return -1;
    if (command.check && (value < command.check->min || value > command.check->max)) {
        link::SetErrorMessage(command.check->entry);
        return -1;
    }
    return exportResult(sendTo(*target, command, value));
}

int runSequence(const char *address, Groups groups, std::initializer_list<Step> steps) {
    const std::optional<Target> target = resolveTarget(address, groups);
    if (!target) return -1;
    for (const Step &step : steps) {
        if (sendTo(*target, step.command, step.value) == link::kTransactionFailed) return -1;
    }
    return 1;
}

int runQuery(const char *address, const Query &query, std::int32_t *out) {
    if (out == nullptr) {
        link::SetErrorMessage(kEntryWrongAddress);
        return -1;
    }
    if (query.zeroFirst) *out = 0;
    const std::optional<Target> target = resolveTarget(address, query.command.groups);
    if (!target) return -1;
    if (sendTo(*target, query.command) == link::kTransactionFailed) return -1;
    const std::int32_t value = link::LastValue();
    *out = query.convert != nullptr ? query.convert(value) : value;
    return 1;
}

std::uint32_t failureMark() noexcept { return link::failureMark(); }

int finishExport(int result, std::uint32_t mark) noexcept {
    if (result == -1) link::keepFailureSince(mark);
    return result;
}

void reportInternalError(const char *what) noexcept {
    link::setError(CORVEXLINK_ERR_UNKNOWN_CODE, "CorvexLink internal error: %s",
                   what != nullptr ? what : "");
}

}  // namespace corvex::commands
