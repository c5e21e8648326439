// SPDX-License-Identifier: MIT
// Library load and unload. Loading only gives every item its initial value (they are
// constant-initialised or created on first use); unloading closes a port that is still
// open through the normal close, so the worker ends and the device is released.
#include "link/comm_port.h"

namespace {

__attribute__((destructor)) void closePortAtUnload() {
    if (!corvex::link::portDeviceOpen()) return;  // nothing to do; allocate nothing now
    corvex::link::CloseCommPort();
    corvex::link::portState().portOpen = false;
}

}  // namespace
