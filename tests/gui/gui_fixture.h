// SPDX-License-Identifier: MIT
// The widget-test fixture: a simulator with chosen stations on its own pseudo-terminal,
// COM1 pointed at it, every window of the program created as at start-up, and the
// message boxes recorded instead of shown. Tests drive the real windows by their
// component names.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "CorvexLink.h"
#include "main_window.h"
#include "kx4417/simulator.h"
#include "message_box.h"
#include "program.h"
#include "radio_group.h"

namespace guitest {

// Records every message box, beep and pointer change instead of showing it. `onShow` runs
// when a box would be shown, while the handler that shows it is still waiting.
class RecordedBoxes final : public demo::MessageBoxes {
public:
    // One change of the pointer: `shape` pushed, or the newest push taken back (nullopt).
    struct CursorChange {
        std::chrono::steady_clock::time_point at;
        std::optional<Qt::CursorShape> shape;
    };

    void show(const demo::ShownBox &box) override {
        shown.push_back(box);
        if (onShow) onShow(box);
    }
    void beep(int hertz, int milliseconds) override { beeps.push_back({hertz, milliseconds}); }
    void pushCursor(Qt::CursorShape shape) override {
        cursors.push_back(shape);
        cursorChanges.push_back({std::chrono::steady_clock::now(), shape});
    }
    void popCursor() override {
        EXPECT_FALSE(cursors.empty()) << "a pointer was taken back that was never shown";
        if (!cursors.empty()) cursors.pop_back();
        cursorChanges.push_back({std::chrono::steady_clock::now(), std::nullopt});
    }
    // The pointer shown now over the windows (ArrowCursor when nothing is pushed).
    Qt::CursorShape cursor() const { return cursors.empty() ? Qt::ArrowCursor : cursors.back(); }

    std::vector<demo::ShownBox> shown;
    std::vector<std::pair<int, int>> beeps;
    std::vector<Qt::CursorShape> cursors;
    std::vector<CursorChange> cursorChanges;
    std::function<void(const demo::ShownBox &)> onShow;
};

// Runs `action` on the next modal window as soon as it is on screen (the library's port
// dialog, a dialog of the program). Used before the click that opens the window.
void whenModalShows(std::function<void(QWidget *)> action);

// Clicks a button as the user does.
void click(QAbstractButton *button);

// Clicks item `index` of a radio group on its text, as the user does (a click beside the
// text of a stretched item selects nothing).
void clickItem(demo::RadioGroup *group, int index);

// The child of `window` called `name`; fails the test when there is none.
template <class Widget>
Widget *child(QWidget *window, const char *name) {
    Widget *found = window->findChild<Widget *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << "no " << name << " in " << window->objectName().toStdString();
    return found;
}

class GuiTest : public ::testing::Test {
protected:
    explicit GuiTest(std::vector<int> stations = {0, 1, 2, 3}, int stationRate = 9600)
        : stations_(std::move(stations)), stationRate_(stationRate) {}

    void SetUp() override;
    void TearDown() override;

    kx4417::Simulator &sim() { return *sim_; }
    demo::TForm1 *form1() { return demo::program().windows.Form1; }
    template <class Widget = QWidget>
    Widget *mainControl(const char *name) {
        return child<Widget>(form1(), name);
    }
    // Opens the port through the main window's tool button; the library's port dialog
    // is closed with its "&Open Port" button as soon as it shows.
    void openPortFromMainWindow();
    // The same, choosing the item `rateItem` (0 = 9600 .. 4 = 115200) in the dialog first.
    void openPortFromMainWindow(int rateItem);
    // Opens a modal window of the program with `opener` and runs `inside` on it while it is
    // shown; the window is closed afterwards.
    void withModal(QAbstractButton *opener, const std::function<void(QWidget *)> &inside);
    // The same with any way of opening it (a menu item, a library call).
    void withModal(const std::function<void()> &open, const std::function<void(QWidget *)> &inside);
    // The enabled state of MBMotor1..MBMotor8 as a text of '1' and '0'.
    std::string motorButtons();
    // Ends the program as the operator does (closing the main window, which closes the port
    // and writes the settings), runs `whileEnded`, and starts the program again with a
    // freshly loaded library's port selection: every window is built anew from the settings
    // file, as at a real start.
    void restartProgram(const std::function<void()> &whileEnded = {});
    // The settings file of this test (each test has a configuration folder of its own).
    QString settingsFile() const;

    RecordedBoxes boxes;

private:
    // Brings the library's port selection back to what a fresh load has: port 1 at 9600.
    void resetPortSelection();

    std::vector<int> stations_;
    int stationRate_;
    std::unique_ptr<kx4417::Simulator> sim_;
    std::unique_ptr<QTemporaryDir> configFolder_;
};

template <int... Addresses>
class GuiTestWith : public GuiTest {
protected:
    GuiTestWith() : GuiTest({Addresses...}) {}
};

}  // namespace guitest
