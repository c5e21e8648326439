// SPDX-License-Identifier: MIT
// SPI bus exports: configuration, write and read on a board's user-I/O controller.
#include "../export.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr Command kConfigureSpi{'O', Arg::Signed};
constexpr Command kWriteSpi{'U', Arg::Unsigned, Groups::Allowed};
constexpr Query kReadSpi{Command{'V'}, false};

}  // namespace

int ConfigureSPI(const char *address, int config) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kConfigureSpi, config); });
}
CORVEXLINK_ALIAS(ConfigureSPI)

int WriteSPI(const char *address, int value) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kWriteSpi, value); });
}
CORVEXLINK_ALIAS(WriteSPI)

int ReadSPI(const char *address, int32_t *value) {
    return corvex::exportCall([&](Call &call) { return runQuery(call, address, kReadSpi, value); });
}
CORVEXLINK_ALIAS(ReadSPI)
