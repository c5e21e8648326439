// SPDX-License-Identifier: MIT
// Position, encoder and status exports.
#include "../export.h"
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

int MotorGetPosition(const char *address, int32_t *position) {
    return corvex::exportCall(
        [&](Call &call) { return runQuery(call, address, kGetPosition, position); });
}
CORVEXLINK_ALIAS(MotorGetPosition)

int MotorSetPosition(const char *address, int32_t position) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kSetPosition, position); });
}
CORVEXLINK_ALIAS(MotorSetPosition)

int MotorEncoderFailsStep(const char *address, int32_t steps) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kEncoderFailsStep, steps); });
}
CORVEXLINK_ALIAS(MotorEncoderFailsStep)

int MotorGetStatusRegister(const char *address, int32_t *status) {
    return corvex::exportCall(
        [&](Call &call) { return runQuery(call, address, kGetStatus, status); });
}
CORVEXLINK_ALIAS(MotorGetStatusRegister)

int EncoderSetPosition(const char *address, int32_t count) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kSetEncoder, count); });
}
CORVEXLINK_ALIAS(EncoderSetPosition)

int EncoderGetPosition(const char *address, int32_t *count) {
    return corvex::exportCall(
        [&](Call &call) { return runQuery(call, address, kGetEncoder, count); });
}
CORVEXLINK_ALIAS(EncoderGetPosition)
