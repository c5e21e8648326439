// SPDX-License-Identifier: MIT
// Stored program exports: record, run once, run in a loop, and the wait command.
#include "../export.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr Command kEnterProgram{'E'};
constexpr Command kRunProgram{'X'};
constexpr Command kLoopProgram{'L'};
constexpr Command kWait{'D', Arg::Unsigned};

}  // namespace

int EnterProgMode(const char *address) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kEnterProgram); });
}
CORVEXLINK_ALIAS(EnterProgMode)

int ExecStoredProg(const char *address) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kRunProgram); });
}
CORVEXLINK_ALIAS(ExecStoredProg)

int ProgramLoop(const char *address) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kLoopProgram); });
}
CORVEXLINK_ALIAS(ProgramLoop)

int MotorWait(const char *address, int wait) {
    return corvex::exportCall([&](Call &call) { return runCommand(call, address, kWait, wait); });
}
CORVEXLINK_ALIAS(MotorWait)
