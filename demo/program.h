// The program-wide state of DemoCorvexLink: the tables every window may read, and one
// reference per window kind to its most recent instance. Everything runs on the window
// thread, so nothing here is locked.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

#include <QString>
#include <QWidget>

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

inline constexpr int kAddresses = 16;  // controller addresses 0..15
inline constexpr int kMotors = 8;      // motor m (1..8) is driven by address m-1

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
    Program() { AddrFound.fill(-1); }

    // Entry a is a once address a has answered, else -1. Never set back to -1.
    std::array<std::int32_t, kAddresses> AddrFound;
    // The grid picture of the profile editor.
    QString GridBitmapPath;
    // Boards minus one chosen in the address dialog (0..3).
    int StationCount = 0;
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

// Start-up: creates every window of the program, hidden, in the program's order.
void createStartupWindows();

}  // namespace demo
