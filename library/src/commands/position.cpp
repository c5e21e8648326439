// SPDX-License-Identifier: MIT
// Position, encoder and status exports.
#include "../operations.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr Query kGetPosition{Command{'P'}, true, &CorvexLinkFromSignMagnitude24};
constexpr Query kGetEncoder{Command{'{'}, true, &CorvexLinkFromSignMagnitude24};
constexpr Query kGetStatus{Command{'='}, true};
constexpr Command kSetPosition{'A', Arg::Signed};
constexpr Command kEncoderFailsStep{'#', Arg::Signed};
constexpr Command kSetEncoder{'}', Arg::Signed};

}  // namespace

namespace corvex::ops {

int MotorGetPosition(Call &call, const char *address, int32_t *position) {
    return runQuery(call, address, kGetPosition, position);
}

int MotorSetPosition(Call &call, const char *address, int32_t position) {
    return runCommand(call, address, kSetPosition, position);
}

int MotorEncoderFailsStep(Call &call, const char *address, int32_t steps) {
    return runCommand(call, address, kEncoderFailsStep, steps);
}

int MotorGetStatusRegister(Call &call, const char *address, int32_t *status) {
    return runQuery(call, address, kGetStatus, status);
}

int EncoderSetPosition(Call &call, const char *address, int32_t count) {
    return runCommand(call, address, kSetEncoder, count);
}

int EncoderGetPosition(Call &call, const char *address, int32_t *count) {
    return runQuery(call, address, kGetEncoder, count);
}

}  // namespace corvex::ops
