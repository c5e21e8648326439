// SPDX-License-Identifier: MIT
// GetFixedSpeed: the speed a station really runs at for a requested speed.
#include "../export.h"
#include "speed_table.h"

int GetFixedSpeed(int speed) {
    return corvex::lockedCall(
        0, [&](corvex::link::Line &) { return corvex::commands::fixedSpeed(speed); });
}
CORVEXLINK_ALIAS(GetFixedSpeed)
