// SPDX-License-Identifier: MIT
#include "command.h"

#include <cstdio>

#include "CorvexLink.h"

namespace corvex::commands {

std::optional<Target> resolveTarget(Call &call, const char *text, Groups groups) {
    const ParsedAddress parsed = ParseStationAddress(text);
    const bool wrong = parsed.kind == AddressKind::Wrong ||
                       (parsed.kind == AddressKind::Single && parsed.address > kHighestAddress);
    if (wrong) {
        call.errors().select(MessageEntry::WrongAddress);
        return std::nullopt;
    }
    if (parsed.kind == AddressKind::Group && groups == Groups::Refused) {
        call.errors().select(MessageEntry::Broadcast);
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

int sendTo(Call &call, const Target &target, const Command &command, std::int32_t value) {
    const CommandText text = formatCommand(target, command, value);
    return link::ItcCommand(call, text.data());
}

int runCommand(Call &call, const char *address, const Command &command, std::int32_t value) {
    const std::optional<Target> target = resolveTarget(call, address, command.groups);
    if (!target) return -1;
    if (command.check && (value < command.check->min || value > command.check->max)) {
        call.errors().select(command.check->entry);
        return -1;
    }
    return exportResult(sendTo(call, *target, command, value));
}

int runSequence(Call &call, const char *address, Groups groups, std::initializer_list<Step> steps) {
    const std::optional<Target> target = resolveTarget(call, address, groups);
    if (!target) return -1;
    for (const Step &step : steps) {
        if (sendTo(call, *target, step.command, step.value) == link::kTransactionFailed) return -1;
    }
    return 1;
}

std::optional<std::int32_t> readValue(Call &call, const Target &target, const Command &command,
                                      std::int32_t value) {
    const CommandText text = formatCommand(target, command, value);
    const link::Reply reply = link::transact(call, text.data(), link::ValueUse::Store);
    if (reply.result == link::kTransactionFailed) return std::nullopt;
    if (!reply.answer.hasValue) {
        // A bare prompt (or text without a number) carries no reading: reporting the last
        // value instead would hand over another command's, or another station's, number.
        call.errors().set(CORVEXLINK_ERR_NO_VALUE,
                          "No value in the answer (command = %s, answer = %s)", text.data(),
                          reply.raw.c_str());
        return std::nullopt;
    }
    return reply.answer.value;
}

int runQuery(Call &call, const char *address, const Query &query, std::int32_t *out) {
    if (out == nullptr) {
        call.errors().select(MessageEntry::WrongAddress);
        return -1;
    }
    if (query.zeroFirst) *out = 0;
    const std::optional<Target> target = resolveTarget(call, address, query.command.groups);
    if (!target) return -1;
    const std::optional<std::int32_t> read = readValue(call, *target, query.command);
    if (!read) return -1;
    const std::int32_t value = *read;
    *out = query.convert != nullptr ? query.convert(value) : value;
    if (query.lastValueConverted) call.caller.lastValue = *out;
    return 1;
}

}  // namespace corvex::commands
