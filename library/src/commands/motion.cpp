// SPDX-License-Identifier: MIT
// Motion exports: speeds, rates, acceleration, mode, direction, moves, jog, stop, reset
// and power.
#include "../export.h"
#include "command.h"
#include "command_state.h"

using namespace corvex::commands;

namespace {

constexpr Command kSlewRate{'R', Arg::Signed, Groups::Refused, Range{16, 8500, kEntrySlewRate}};
constexpr Command kFirstRate{'F', Arg::Signed, Groups::Refused, Range{16, 8500, kEntryFirstRate}};
constexpr Command kAccelDecel{'S', Arg::Signed, Groups::Refused, Range{0, 255, kEntryAcceleration}};
constexpr Command kMode{'M', Arg::Signed};
constexpr Command kJogSpeed{'Y', Arg::Signed, Groups::Allowed};
constexpr Command kStepRel{'N', Arg::Signed};
constexpr Command kGoAbs{'T', Arg::Signed};
constexpr Command kRepeat{'G'};
constexpr Command kStop{'H'};
constexpr Command kSoftReset{'I', Arg::None, Groups::Allowed};
constexpr Command kPower{'*', Arg::Signed, Groups::Allowed};
constexpr Command kJogStart{'J', Arg::None, Groups::Allowed};

// The direction commands carry no value; the letter is the direction.
constexpr Command directionCommand(char sign, Groups groups) {
    return Command{sign, Arg::None, groups};
}

}  // namespace

int MotorSpeed(const char *address, int slewRate, int firstRate, int accel) {
    corvex::ExportGuard guard;
    // No range checks here: the three values go out as given.
    return guarded([&] {
        return runSequence(address, Groups::Refused,
                           {{Command{'R', Arg::Signed}, slewRate},
                            {Command{'F', Arg::Signed}, firstRate},
                            {Command{'S', Arg::Signed}, accel}});
    });
}
CORVEXLINK_ALIAS(MotorSpeed)

int MotorConfigureMode(const char *address, int mode) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kMode, mode); });
}
CORVEXLINK_ALIAS(MotorConfigureMode)

int GetMotorDirection(const char *address) {
    corvex::ExportGuard guard;
    return guarded([&] {
        const auto target = resolveTarget(address, Groups::Refused);
        if (!target) return -1;
        return commandState().direction[static_cast<std::size_t>(target->address)] == '+' ? 1 : 0;
    });
}
CORVEXLINK_ALIAS(GetMotorDirection)

int MotorDirection(const char *address, int flag) {
    corvex::ExportGuard guard;
    return guarded([&] {
        const auto target = resolveTarget(address, Groups::Refused);
        if (!target) return -1;
        const char sign = flag != 0 ? '+' : '-';
        // The table follows the request even when the station does not take it.
        commandState().direction[static_cast<std::size_t>(target->address)] = sign;
        return exportResult(sendTo(*target, directionCommand(sign, Groups::Refused)));
    });
}
CORVEXLINK_ALIAS(MotorDirection)

int MotorSlewRate(const char *address, int rate) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kSlewRate, rate); });
}
CORVEXLINK_ALIAS(MotorSlewRate)

int MotorFirstRate(const char *address, int rate) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kFirstRate, rate); });
}
CORVEXLINK_ALIAS(MotorFirstRate)

int MotorAccelDecel(const char *address, int accel) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kAccelDecel, accel); });
}
CORVEXLINK_ALIAS(MotorAccelDecel)

int MotorChangeJogSpeed(const char *address, int speed) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kJogSpeed, speed); });
}
CORVEXLINK_ALIAS(MotorChangeJogSpeed)

int MotorNumberStepRel(const char *address, int32_t steps) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kStepRel, steps); });
}
CORVEXLINK_ALIAS(MotorNumberStepRel)

int MotorGoAbsPos(const char *address, int32_t position) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kGoAbs, position); });
}
CORVEXLINK_ALIAS(MotorGoAbsPos)

int MotorJog(const char *address, int direction) {
    corvex::ExportGuard guard;
    // The jog direction is not a set direction: the direction table stays as it is.
    return guarded([&] {
        const Command sign = directionCommand(direction == 1 ? '+' : '-', Groups::Allowed);
        return runSequence(address, Groups::Allowed, {{sign}, {kJogStart}});
    });
}
CORVEXLINK_ALIAS(MotorJog)

int MotorRepeat(const char *address) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kRepeat); });
}
CORVEXLINK_ALIAS(MotorRepeat)

int MotorStop(const char *address) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kStop); });
}
CORVEXLINK_ALIAS(MotorStop)

int MotorSoftReset(const char *address) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kSoftReset); });
}
CORVEXLINK_ALIAS(MotorSoftReset)

int MotorPowerON(const char *address, int value) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kPower, value); });
}
CORVEXLINK_ALIAS(MotorPowerON)

int MotorPowerOFF(const char *address) {
    corvex::ExportGuard guard;
    return guarded([&] { return runCommand(address, kPower, 0); });
}
CORVEXLINK_ALIAS(MotorPowerOFF)
