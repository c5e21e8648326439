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
    corvex::ExportGuard guard;
    return guarded([&] { return runQuery(address, kGetPosition, position); });
}
CORVEXLINK_ALIAS(MotorGetPosition)

int MotorSetPosition(const char *address, int32_t position) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kSetPosition, position); });
}
CORVEXLINK_ALIAS(MotorSetPosition)

int MotorEncoderFailsStep(const char *address, int32_t steps) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kEncoderFailsStep, steps); });
}
CORVEXLINK_ALIAS(MotorEncoderFailsStep)

int MotorGetStatusRegister(const char *address, int32_t *status) {
    corvex::ExportGuard guard;
    return guarded([&] { return runQuery(address, kGetStatus, status); });
}
CORVEXLINK_ALIAS(MotorGetStatusRegister)

int EncoderSetPosition(const char *address, int32_t count) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kSetEncoder, count); });
}
CORVEXLINK_ALIAS(EncoderSetPosition)

int EncoderGetPosition(const char *address, int32_t *count) {
    corvex::ExportGuard guard;
    return guarded([&] { return runQuery(address, kGetEncoder, count); });
}
CORVEXLINK_ALIAS(EncoderGetPosition)
