// SPDX-License-Identifier: MIT
// Puts the whole library back to its load-time state (tests only): closes the port and
// resets the link and command-set state.
#pragma once

#include "commands/command_state.h"
#include "link/comm_port.h"
#include "link/transaction.h"

namespace corvex::test {

inline void resetLibrary() {
    corvex::link::resetPortStateForTest();
    corvex::link::resetTransactionStateForTest();
    corvex::commands::resetCommandStateForTest();
}

}  // namespace corvex::test
