// SPDX-License-Identifier: MIT
// The commands of the main window's "Board Control Panel" that act on all motors at once:
// trigger all, pause all, stop all, the fixed relative move of all motors clockwise or
// counter-clockwise, and jogging all motors. Each decides which motors take part, calls
// the library once for the group or once per motor, and writes the outcome into the
// motors' status panels of the main window.
#pragma once

namespace demo {

class TForm1;

// Toggles the trigger lines of the motor group; the button's caption holds the state.
void triggerAll(TForm1 &form);
// Toggles the pause lines of the motor group; the button's caption holds the state.
void pauseAll(TForm1 &form);
// Stops every motor whose button is enabled, one at a time, and resets its current window.
void stopAll(TForm1 &form);
// Moves four or eight motors by 1000 steps, clockwise for `sign` +1, counter-clockwise
// for -1, after reporting which of them were still moving.
void moveAll(TForm1 &form, int sign);
// Jogs four or eight motors, clockwise for `direction` 1, counter-clockwise for 0.
void jogAll(TForm1 &form, int direction);

}  // namespace demo
