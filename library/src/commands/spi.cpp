// SPDX-License-Identifier: MIT
// SPI bus exports: configuration, write and read on a board's user-I/O controller.
#include "../operations.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr Command kConfigureSpi{'O', Arg::Signed};
constexpr Command kWriteSpi{'U', Arg::Unsigned, Groups::Allowed};
constexpr Query kReadSpi{Command{'V'}, false};

}  // namespace

namespace corvex::ops {

int ConfigureSPI(Call &call, const char *address, int config) {
    return runCommand(call, address, kConfigureSpi, config);
}

int WriteSPI(Call &call, const char *address, int value) {
    return runCommand(call, address, kWriteSpi, value);
}

int ReadSPI(Call &call, const char *address, int32_t *value) {
    return runQuery(call, address, kReadSpi, value);
}

}  // namespace corvex::ops
