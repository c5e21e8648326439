// SPDX-License-Identifier: MIT
// Analog inputs behind a board's master controller: one channel, or all eleven at once.
#include <string>

#include "../operations.h"
#include "channel_values.h"
#include "command.h"

using namespace corvex::commands;

namespace {

// Output words around a conversion: the board's line byte with the converter's
// sequencing bits.
constexpr std::int32_t kBeforeConversion = 0xF00;
constexpr std::int32_t kAfterConversion = 0x1F00;

constexpr Command kOutputWrite{'W', Arg::Signed};
constexpr Command kConvert{'Z', Arg::Unsigned};
constexpr Command kConvertAll{'<', Arg::Signed};

// The board whose master controller the text names by its leading number (0, 4, 8 or
// 12), or -1.
int masterBoard(const char *master) {
    const long length = boundedLength(master, kAddressTextLimit);
    if (length < 0) return -1;
    const std::int32_t address =
        leadingNumber(std::string_view(master, static_cast<std::size_t>(length)));
    return address >= 0 && address <= kHighestAddress && isMaster(address) ? boardOf(address) : -1;
}

int readChannel(Call &call, const char *master, int resolution, int channel,
                std::int32_t *reading) {
    if (reading == nullptr) {
        call.errors().select(MessageEntry::WrongAddress);
        return -1;
    }
    *reading = 0;
    std::int32_t code = channel;
    switch (resolution) {
    case CORVEXLINK_ADC_RESOLUTION_MIN: code |= 16; break;
    case 10: code |= 32; break;
    case CORVEXLINK_ADC_RESOLUTION_MAX: code |= 64; break;
    default: call.errors().select(MessageEntry::AdcResolution); return -1;
    }
    const int board = masterBoard(master);
    if (board < 0) {
        call.errors().select(MessageEntry::WrongAddress);
        return -1;
    }
    const auto target = resolveTarget(call, master, Groups::Refused);
    if (!target) return -1;

    const std::int32_t lines = call.stations().boardLines[static_cast<std::size_t>(board)];
    if (sendTo(call, *target, kOutputWrite, lines | kBeforeConversion) == 0) return -1;
    const std::optional<std::int32_t> converted = readValue(call, *target, kConvert, code);
    if (!converted) return -1;
    *reading = *converted;
    return exportResult(sendTo(call, *target, kOutputWrite, lines | kAfterConversion));
}

int readAllChannels(Call &call, const char *master, int resolution, std::int32_t *values) {
    if (values == nullptr || masterBoard(master) < 0) {
        call.errors().select(MessageEntry::WrongAddress);
        return -1;
    }
    if (resolution != 10 && resolution != CORVEXLINK_ADC_RESOLUTION_MAX) {
        call.errors().select(MessageEntry::AdcResolution);
        return -1;
    }
    const auto target = resolveTarget(call, master, Groups::Refused);
    if (!target) return -1;
    // The answer holds eleven numbers: it is read here, not taken as the last value. Noise
    // lines before the answer are left out, as for a single value.
    const CommandText text = formatCommand(*target, kConvertAll, resolution);
    const corvex::link::Reply reply =
        corvex::link::transact(call, text.data(), corvex::link::ValueUse::Keep);
    if (reply.result == corvex::link::kTransactionFailed) return -1;
    storeChannelValues(std::string_view(reply.raw).substr(reply.answer.lineStart), values,
                       CORVEXLINK_ADC_CHANNELS);
    return 1;
}

}  // namespace

namespace corvex::ops {

int GetADCchannel(Call &call, const char *master, int resolution, int channel, int32_t *reading) {
    return readChannel(call, master, resolution, channel, reading);
}

int ReadAllChannelsADC(Call &call, const char *master, int resolution, int32_t *values) {
    return readAllChannels(call, master, resolution, values);
}

}  // namespace corvex::ops
