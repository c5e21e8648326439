// SPDX-License-Identifier: MIT
// The program-wide state of DemoCorvexLink: the tables every window may read, and one
// reference per window kind to its most recent instance. Everything runs on the window
// thread, so nothing here is locked.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QPoint>
#include <QString>
#include <QWidget>

#include "window_placement.h"

namespace demo {

class TForm1;
class TForm3;
class TForm4;
class TCurrentWin;
class TMtr;
class TProfile;
class TADC;
class TForm5;
class TForm6;
class TMBAbout;
class THelpViewer;

inline constexpr int kAddresses = 16;     // controller addresses 0..15
inline constexpr int kMotors = 8;         // motor m (1..8) is driven by address m-1
inline constexpr int kMaxSegments = 100;  // segments of a motor's profile

// What differs between the eight motors; entry m-1 is motor m.
struct MotorSetup {
    // The move values a motor window shows before the first CW or CCW press.
    std::int32_t steps, accel, slewRate, firstRate;
    int pollingMs;                  // interval of the motor window's polling tick
    std::int32_t fifoThreshold;     // free FIFO bytes the tick needs to offer EXE Profile
    std::int32_t freeFifoAtStart;   // the free-FIFO count before the station was asked
    bool encoderResetStopsPolling;  // Reset CNTR.Encoder also stops the polling tick
};

inline constexpr std::array<MotorSetup, kMotors> kMotorSetup{{
    {15000, 1, 2000, 100, 500, 5, 127, true},
    {20000, 2, 2000, 150, 500, 5, 127, false},
    {20000, 2, 1900, 400, 401, 5, 127, false},
    {30000, 4, 2500, 500, 551, 5, 127, false},
    {10000, 4, 700, 50, 551, 5, 127, false},
    {10000, 4, 700, 50, 551, 6, 127, false},
    {10000, 4, 700, 50, 551, 7, 127, false},
    {10000, 4, 700, 50, 551, 8, 128, false},
}};

// The step-mode codes of the motor window's "Stepper Motor Mode" items, in item order, and
// the bits the mode value adds to them.
inline constexpr std::array<std::int32_t, 4> kStepModes{36, 34, 33, 8};
inline constexpr int kHalfStepItem = 2;
inline constexpr std::int32_t kEncoderBit = 0x10;
inline constexpr std::int32_t kFifoBit = 0x40;
inline constexpr std::int32_t kHomeBit = 0x80;

// The values of a motor's last CW or CCW press (steps negated after CCW).
struct MoveValues {
    std::int32_t steps = 0;
    std::int32_t accel = 0;
    std::int32_t slewRate = 0;
    std::int32_t firstRate = 0;
};

// A motor's profile as the profile editor hands it over: segment i runs from
// firstRate[i] with slope[i] for steps[i] steps. Only the first `count` entries count.
struct SegmentTable {
    std::array<std::int32_t, kMaxSegments> firstRate{};
    std::array<std::int32_t, kMaxSegments> slope{};
    std::array<std::int32_t, kMaxSegments> steps{};
    std::int32_t count = 0;
};

// What a motor keeps for the whole run, whichever of its windows is open: a window
// opened again for the same motor finds the values the last one left.
struct MotorState {
    std::int32_t modeValue = 33;  // last value sent with MotorConfigureMode
    std::int32_t freeFifo = 127;  // the station's free FIFO room as last reported
    MoveValues move;
    SegmentTable segments;
    // The motor's stops that succeeded, counted: a queueing of its profile ends at the next.
    std::uint32_t stops = 0;

    static MotorState initial(const MotorSetup &setup) {
        MotorState state;
        state.freeFifo = setup.freeFifoAtStart;
        state.move = {setup.steps, setup.accel, setup.slewRate, setup.firstRate};
        return state;
    }
};

// What a motor window shows besides the remembered move values, as the operator left it
// in the last window of the motor that was closed; a new window opens with it.
struct MotorWindowFields {
    std::int32_t jogSpeed = 100;
    std::int32_t absolutePosition = 0;
    int stepModeItem = kHalfStepItem;
    bool homeSeek = false;             // "Disable Home"
    bool live = false;                 // the "Live" switch, as the operator last set it
    std::optional<WindowPlace> place;  // where it stood
};

// What the program remembers between runs besides the motors' move values, mode values and
// the requested currents (settings.h reads and writes them all).
struct RememberedSettings {
    int port = 0;      // the port last opened (1..4), 0 when none is remembered
    int baudRate = 0;  // the rate it ran at, 0 when none is remembered
    std::array<MotorWindowFields, kMotors> motorWindows;  // motorWindows[m-1] is motor m
    std::optional<WindowPlace> mainWindowPlace;
    QString profileFolder;  // where profiles were last saved or loaded
};

// The most recent instance of each window kind. Opening a window replaces its reference;
// earlier instances live on (hidden once closed) until the program ends.
struct Windows {
    TForm1 *Form1 = nullptr;
    TForm3 *Form3 = nullptr;
    TForm4 *Form4 = nullptr;
    TCurrentWin *CurrentWin = nullptr;
    TProfile *Profile = nullptr;
    TADC *ADC = nullptr;
    TForm5 *Form5 = nullptr;
    TMBAbout *MBAbout = nullptr;
    TForm6 *Form6 = nullptr;
    std::array<TMtr *, kMotors> Mtr{};  // Mtr[0] is Mtr1
    THelpViewer *Help = nullptr;        // the reference viewer, created when first asked for
};

struct Program {
    Program() {
        AddrFound.fill(-1);
        for (int m = 0; m < kMotors; ++m) motors[m] = MotorState::initial(kMotorSetup[m]);
        RequestedCurrent.fill(50);
    }

    // Entry a is a once address a has answered, else -1. Never set back to -1.
    std::array<std::int32_t, kAddresses> AddrFound;
    // The grid picture file of the profile editor, in the user's cache folder.
    QString GridBitmapPath;
    // Boards minus one chosen in the address dialog (0..3).
    int StationCount = 0;
    // motors[m-1] is motor m.
    std::array<MotorState, kMotors> motors;
    // The winding current in mA the user asked for, per address; the program's own copy,
    // never read back from the stations.
    std::array<std::int32_t, kAddresses> RequestedCurrent;
    // The converter resolution (8, 10, 12) and channel (0..10, 11 half scale, 12 null,
    // 13 full scale) chosen in the ADC window; they outlive the window.
    std::int32_t AdcResolution = 10;
    std::int32_t AdcChannel = 13;
    // The slope of the profile editor's last release; a new editor starts from it.
    std::int32_t ProfileLastSlope = 0;
    RememberedSettings remembered;
    Windows windows;
};

Program &program();
// Destroys every window and brings the state back to its start-up values.
void resetProgram();

// Takes ownership of a new top-level window; all are destroyed by resetProgram() or at
// the end of the program.
void adoptWindow(std::unique_ptr<QWidget> window);

// Creates a window, makes the program own it and stores it in its reference.
template <class Window, class... Args>
Window *createWindow(Window *&reference, Args &&...args) {
    auto window = std::make_unique<Window>(std::forward<Args>(args)...);
    reference = window.get();
    adoptWindow(std::move(window));
    return reference;
}

// Start-up: reads the settings, makes the STOP keys work, and creates every window of the
// program, hidden, in the program's order.
void createStartupWindows();

// Every motor window the program has created, oldest first: the current one of each motor
// and the earlier ones, which may still be open.
std::vector<TMtr *> motorWindows();

}  // namespace demo
