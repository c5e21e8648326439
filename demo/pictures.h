// SPDX-License-Identifier: MIT
// The program's pictures: the tool-button pictures of the main window, which are SVG files
// in the program's resources (demo/pictures/), and the pictures the program draws itself
// because they follow its state: the address-switch pictures of the address dialog and the
// grid of the profile editor.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QString>

namespace demo {

enum class ToolPicture { OpenPort, ChangeRate, ClosePort, Address, Controllers, Init, Current };

// The resource path of a tool-button picture, and the picture as an icon.
QString toolPictureFile(ToolPicture picture);
QIcon toolPicture(ToolPicture picture);
// The program's window icon.
QIcon programIcon();

// The switch block that sets controller address `address` (0..15): four positions on a red
// ground, marked "ON" with an arrow pointing up and numbered 1 to 4. Position k is up (on)
// when bit k-1 of the address is 0 and down (off) when it is 1.
inline constexpr int kSwitchPictureWidth = 100;
inline constexpr int kSwitchPictureHeight = 50;
QPixmap switchPicture(int address);
// Where the slot of position k (1..4) lies in the picture; its knob fills the upper half
// of the slot when on and the lower half when off.
QRect switchSlot(int position);
inline constexpr QRgb kSwitchKnobColour = 0xFFFFFFFF;

// The grid of the profile editor's drawing area: a grey ground with green lines every 50
// pixels across and every 40 pixels down, the edges included.
inline constexpr int kGridWidth = 500;
inline constexpr int kGridHeight = 280;
inline constexpr QRgb kGridGround = 0xFFC0C0C0;
inline constexpr QRgb kGridLine = 0xFF008000;
QImage gridPicture();

}  // namespace demo
