// SPDX-License-Identifier: MIT
// Stored program exports: record, run once, run in a loop, and the wait command.
#include "../operations.h"
#include "command.h"

using namespace corvex::commands;

namespace {

constexpr Command kEnterProgram{'E'};
constexpr Command kRunProgram{'X'};
constexpr Command kLoopProgram{'L'};
constexpr Command kWait{'D', Arg::Unsigned};

}  // namespace

namespace corvex::ops {

int EnterProgMode(Call &call, const char *address) {
    return runCommand(call, address, kEnterProgram);
}

int ExecStoredProg(Call &call, const char *address) {
    return runCommand(call, address, kRunProgram);
}

int ProgramLoop(Call &call, const char *address) { return runCommand(call, address, kLoopProgram); }

int MotorWait(Call &call, const char *address, int wait) {
    return runCommand(call, address, kWait, wait);
}

}  // namespace corvex::ops
