// SPDX-License-Identifier: MIT
#include "command_state.h"

namespace corvex::commands {

namespace {

CommandState initialState() {
    CommandState s{};
    s.direction.fill('+');
    s.windingCurrent.fill(kDefaultCurrentMilliamps);
    s.userOutputWord.fill(kUserOutputMark);
    s.boardLines.fill(kAllLinesOff);
    s.masterSetUp.fill(false);
    s.userIoSetUp.fill(false);
    return s;
}

}  // namespace

CommandState &commandState() {
    static CommandState state = initialState();
    return state;
}

void resetCommandStateForTest() { commandState() = initialState(); }

}  // namespace corvex::commands
