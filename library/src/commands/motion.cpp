// SPDX-License-Identifier: MIT
// Motion exports: speeds, rates, acceleration, mode, direction, moves, jog, stop, reset
// and power.
#include "../operations.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr Command kSlewRate{
    'R', Arg::Signed, Groups::Refused,
    Range{CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX, MessageEntry::SlewRate}};
constexpr Command kFirstRate{
    'F', Arg::Signed, Groups::Refused,
    Range{CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX, MessageEntry::FirstRate}};
constexpr Command kAccelDecel{
    'S', Arg::Signed, Groups::Refused,
    Range{CORVEXLINK_ACCEL_MIN, CORVEXLINK_ACCEL_MAX, MessageEntry::Acceleration}};
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

namespace corvex::ops {

int MotorSpeed(Call &call, const char *address, int slewRate, int firstRate, int accel) {
    return setSpeeds(call, address, slewRate, firstRate, accel);
}

int MotorConfigureMode(Call &call, const char *address, int mode) {
    return runCommand(call, address, kMode, mode);
}

int GetMotorDirection(Call &call, const char *address) { return directionOf(call, address); }

int MotorDirection(Call &call, const char *address, int flag) {
    return setDirection(call, address, flag);
}

int MotorSlewRate(Call &call, const char *address, int rate) {
    return runCommand(call, address, kSlewRate, rate);
}

int MotorFirstRate(Call &call, const char *address, int rate) {
    return runCommand(call, address, kFirstRate, rate);
}

int MotorAccelDecel(Call &call, const char *address, int accel) {
    return runCommand(call, address, kAccelDecel, accel);
}

int MotorChangeJogSpeed(Call &call, const char *address, int speed) {
    return runCommand(call, address, kJogSpeed, speed);
}

int MotorNumberStepRel(Call &call, const char *address, int32_t steps) {
    return runCommand(call, address, kStepRel, steps);
}

int MotorGoAbsPos(Call &call, const char *address, int32_t position) {
    return runCommand(call, address, kGoAbs, position);
}

int MotorJog(Call &call, const char *address, int direction) {
    return jog(call, address, direction);
}

int MotorRepeat(Call &call, const char *address) { return runCommand(call, address, kRepeat); }

int MotorStop(Call &call, const char *address) { return runCommand(call, address, kStop); }

int MotorSoftReset(Call &call, const char *address) {
    return runCommand(call, address, kSoftReset);
}

int MotorPowerON(Call &call, const char *address, int value) {
    return runCommand(call, address, kPower, value);
}

int MotorPowerOFF(Call &call, const char *address) { return runCommand(call, address, kPower, 0); }

}  // namespace corvex::ops
