// SPDX-License-Identifier: MIT
// Motion exports: speeds, rates, acceleration, mode, direction, moves, jog, stop, reset
// and power.
#include "../export.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr Command kSlewRate{'R', Arg::Signed, Groups::Refused,
                            Range{16, 8500, MessageEntry::SlewRate}};
constexpr Command kFirstRate{'F', Arg::Signed, Groups::Refused,
                             Range{16, 8500, MessageEntry::FirstRate}};
constexpr Command kAccelDecel{'S', Arg::Signed, Groups::Refused,
                              Range{0, 255, MessageEntry::Acceleration}};
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

// The three speed values go out as given, without the range checks of the single exports.
int setSpeeds(Call &call, const char *address, int slewRate, int firstRate, int accel) {
    return runSequence(call, address, Groups::Refused,
                       {{kSlewRate, slewRate}, {kFirstRate, firstRate}, {kAccelDecel, accel}});
}

int directionOf(Call &call, const char *address) {
    const auto target = resolveTarget(call, address, Groups::Refused);
    if (!target) return -1;
    return call.stations().direction[static_cast<std::size_t>(target->address)] == '+' ? 1 : 0;
}

int setDirection(Call &call, const char *address, int flag) {
    const auto target = resolveTarget(call, address, Groups::Refused);
    if (!target) return -1;
    const char sign = flag != 0 ? '+' : '-';
    // The table follows the request even when the station does not take it.
    call.stations().direction[static_cast<std::size_t>(target->address)] = sign;
    return exportResult(sendTo(call, *target, directionCommand(sign, Groups::Refused)));
}

// The jog direction is not a set direction: the direction table stays as it is.
int jog(Call &call, const char *address, int direction) {
    const Command sign = directionCommand(direction == 1 ? '+' : '-', Groups::Allowed);
    return runSequence(call, address, Groups::Allowed, {{sign}, {kJogStart}});
}

}  // namespace

int MotorSpeed(const char *address, int slewRate, int firstRate, int accel) {
    return corvex::exportCall(
        [&](Call &call) { return setSpeeds(call, address, slewRate, firstRate, accel); });
}
CORVEXLINK_ALIAS(MotorSpeed)

int MotorConfigureMode(const char *address, int mode) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kMode, mode); });
}
CORVEXLINK_ALIAS(MotorConfigureMode)

int GetMotorDirection(const char *address) {
    return corvex::exportCall([&](Call &call) { return directionOf(call, address); });
}
CORVEXLINK_ALIAS(GetMotorDirection)

int MotorDirection(const char *address, int flag) {
    return corvex::exportCall([&](Call &call) { return setDirection(call, address, flag); });
}
CORVEXLINK_ALIAS(MotorDirection)

int MotorSlewRate(const char *address, int rate) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kSlewRate, rate); });
}
CORVEXLINK_ALIAS(MotorSlewRate)

int MotorFirstRate(const char *address, int rate) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kFirstRate, rate); });
}
CORVEXLINK_ALIAS(MotorFirstRate)

int MotorAccelDecel(const char *address, int accel) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kAccelDecel, accel); });
}
CORVEXLINK_ALIAS(MotorAccelDecel)

int MotorChangeJogSpeed(const char *address, int speed) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kJogSpeed, speed); });
}
CORVEXLINK_ALIAS(MotorChangeJogSpeed)

int MotorNumberStepRel(const char *address, int32_t steps) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kStepRel, steps); });
}
CORVEXLINK_ALIAS(MotorNumberStepRel)

int MotorGoAbsPos(const char *address, int32_t position) {
    return corvex::exportCall(
        [&](Call &call) { return runCommand(call, address, kGoAbs, position); });
}
CORVEXLINK_ALIAS(MotorGoAbsPos)

int MotorJog(const char *address, int direction) {
    return corvex::exportCall([&](Call &call) { return jog(call, address, direction); });
}
CORVEXLINK_ALIAS(MotorJog)

int MotorRepeat(const char *address) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kRepeat); });
}
CORVEXLINK_ALIAS(MotorRepeat)

int MotorStop(const char *address) {
    return corvex::stopCall([&](Call &call) { return runCommand(call, address, kStop); });
}
CORVEXLINK_ALIAS(MotorStop)

int MotorSoftReset(const char *address) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kSoftReset); });
}
CORVEXLINK_ALIAS(MotorSoftReset)

int MotorPowerON(const char *address, int value) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kPower, value); });
}
CORVEXLINK_ALIAS(MotorPowerON)

int MotorPowerOFF(const char *address) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kPower, 0); });
}
CORVEXLINK_ALIAS(MotorPowerOFF)
