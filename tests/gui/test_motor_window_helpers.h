// SPDX-License-Identifier: MIT
// Shared by the motor-window and all-motors widget tests: a fixture that opens motor
// windows through the main window and reads the frames the simulator received.
#pragma once

#include <string>
#include <vector>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "gui_fixture.h"
#include "motor_window.h"

namespace guitest {

template <int... Addresses>
class MotorTest : public GuiTestWith<Addresses...> {
protected:
    // No polling tick may run into the port's close at the end of a test.
    void TearDown() override {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *motor = qobject_cast<demo::TMtr *>(window)) motor->Timer1->stop();
        GuiTestWith<Addresses...>::TearDown();
    }

    // Presses "Motor &m" in the main window and returns the window it opened.
    demo::TMtr *openMotor(int motor) {
        const QByteArray name = "MBMotor" + QByteArray::number(motor);
        click(this->template mainControl<QPushButton>(name.constData()));
        demo::TMtr *window = demo::program().windows.Mtr[motor - 1];
        EXPECT_TRUE(window && window->isVisible());
        return window;
    }

    // The frames received since the last clearTranscript(), without their CR; frames that
    // end in one of `skipped` (by default the free-FIFO query of a polling tick) are left out.
    std::vector<std::string> sent(const std::string &skipped = "]") {
        std::vector<std::string> frames;
        for (std::string frame : this->sim().frameTexts()) {
            if (!frame.empty() && frame.back() == '\r') frame.pop_back();
            if (!frame.empty() && skipped.find(frame.back()) != std::string::npos) continue;
            frames.push_back(frame);
        }
        return frames;
    }

    // Runs one polling tick of `window` now, whether or not its timer runs.
    static void tick(demo::TMtr *window) {
        ASSERT_TRUE(QMetaObject::invokeMethod(window, "Timer1Timer", Qt::DirectConnection));
    }

    std::vector<QString> boxTitles() const {
        std::vector<QString> titles;
        for (const demo::ShownBox &box : this->boxes.shown) titles.push_back(box.title);
        return titles;
    }
};

using FourMotors = MotorTest<0, 1, 2, 3>;
using EightMotors = MotorTest<0, 1, 2, 3, 4, 5, 6, 7>;

}  // namespace guitest
