// SPDX-License-Identifier: MIT
// Analog inputs behind a board's master controller: one channel, or all eleven at once.
#include <string>

#include "../export.h"
#include "../link/transaction.h"
#include "channel_values.h"
#include "command.h"
#include "command_state.h"

using namespace corvex::commands;
using corvex::link::SetErrorMessage;

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

}  // namespace

int GetADCchannel(const char *master, int resolution, int channel, int32_t *reading) {
    corvex::ExportGuard guard;
    return guarded([&] {
        if (reading == nullptr) {
            SetErrorMessage(kEntryWrongAddress);
            return -1;
        }
        *reading = 0;
        std::int32_t code = channel;
        switch (resolution) {
        case 8: code |= 16; break;
        case 10: code |= 32; break;
        case 12: code |= 64; break;
        default: SetErrorMessage(kEntryAdcResolution); return -1;
        }
        const int board = masterBoard(master);
        if (board < 0) {
            SetErrorMessage(kEntryWrongAddress);
            return -1;
        }
        const auto target = resolveTarget(master, Groups::Refused);
        if (!target) return -1;

        const std::int32_t lines = commandState().boardLines[static_cast<std::size_t>(board)];
        if (sendTo(*target, kOutputWrite, lines | kBeforeConversion) == 0) return -1;
        if (sendTo(*target, kConvert, code) == 0) return -1;
        *reading = corvex::link::LastValue();
        return exportResult(sendTo(*target, kOutputWrite, lines | kAfterConversion));
    });
}
CORVEXLINK_ALIAS(GetADCchannel)

int ReadAllChannelsADC(const char *master, int resolution, int32_t *values) {
    corvex::ExportGuard guard;
    return guarded([&] {
        if (values == nullptr || masterBoard(master) < 0) {
            SetErrorMessage(kEntryWrongAddress);
            return -1;
        }
        if (resolution != 10 && resolution != 12) {
            SetErrorMessage(kEntryAdcResolution);
            return -1;
        }
        const auto target = resolveTarget(master, Groups::Refused);
        if (!target) return -1;
        // The answer holds eleven numbers: it is read here, not taken as the last value.
        const CommandText text = formatCommand(*target, kConvertAll, resolution);
        const corvex::link::Reply reply =
            corvex::link::transact(text.data(), corvex::link::ValueUse::Keep);
        if (reply.result == corvex::link::kTransactionFailed) return -1;
        storeChannelValues(reply.raw, values, CORVEXLINK_ADC_CHANNELS);
        return 1;
    });
}
CORVEXLINK_ALIAS(ReadAllChannelsADC)
