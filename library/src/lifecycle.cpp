// SPDX-License-Identifier: MIT
// Library load and unload. Loading only gives every item its initial value (the line is
// created on first use); unloading closes a port that is still open through the normal
// close, so the worker ends and the device is released.
#include "link/line.h"

namespace {

__attribute__((destructor)) void closePortAtUnload() {
    corvex::link::Line *line = corvex::link::Line::existing();
    if (line == nullptr || !line->port.isOpen()) return;  // nothing to do; allocate nothing now
    line->selection.open = false;
    line->closeDevice();
}

}  // namespace
