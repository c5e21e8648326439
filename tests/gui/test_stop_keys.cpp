// SPDX-License-Identifier: MIT
// The STOP keys, pressed as the window system delivers keys (to a window, which hands them
// to its widget with the focus): F9 stops all motors from every kind of window, modal ones
// included; F8 stops the motor of the motor window in use and nothing elsewhere; both act
// while a message box is open.
#include <QAction>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include "help_window.h"
#include "stop_keys.h"
#include "test_motor_window_helpers.h"

using namespace guitest;
using demo::TMtr;
using Frames = std::vector<std::string>;

namespace {

const Frames kAllStops{"_0H", "_1H", "_2H", "_3H"};

class StopKeys : public FourMotors {
protected:
    // Presses `key` in `window` and returns the frames it sent.
    Frames press(QWidget *window, Qt::Key key) {
        sim().clearTranscript();
        EXPECT_NE(window->windowHandle(), nullptr) << window->objectName().toStdString();
        if (window->windowHandle()) QTest::keyClick(window->windowHandle(), key);
        return sent("");
    }

    // Opens each modal kind of window in turn (the profile editor from `motor`) and runs
    // `inside` with it and its name.
    void inEveryModalWindow(TMtr *motor,
                            const std::function<void(const char *, QWidget *)> &inside) {
        const std::pair<const char *, std::function<void()>> modals[] = {
            {"winding current", [this] { click(mainControl<QPushButton>("CurrW")); }},
            {"address dialog", [this] { click(mainControl<QPushButton>("VIewADD")); }},
            {"baud-rate dialog", [this] { click(mainControl<QToolButton>("MChangeSP")); }},
            {"digital I/O", [this] { click(mainControl<QPushButton>("IO")); }},
            {"ADC", [this] { click(mainControl<QPushButton>("ADCB")); }},
            {"status window", [this] { click(mainControl<QPushButton>("StatusReg")); }},
            {"about window", [this] { form1()->About1->trigger(); }},
            {"profile editor", [motor] { click(motor->BitBtn1); }},
            {"port dialog", [this] { click(mainControl<QToolButton>("MOpenP")); }},
        };
        for (const auto &[kind, open] : modals)
            withModal(open, [&, kind = kind](QWidget *window) { inside(kind, window); });
    }
};

}  // namespace

TEST_F(StopKeys, F9StopsAllMotorsFromEveryKindOfWindow) {
    // With the port closed STOP -ALL- is not offered, and neither is its key.
    EXPECT_EQ(press(form1(), demo::kStopAllKey), Frames{});
    openPortFromMainWindow();
    TMtr *motor = openMotor(1);
    EXPECT_EQ(press(form1(), demo::kStopAllKey), kAllStops) << "main window";
    motor->STNumber1->setFocus();
    EXPECT_EQ(press(motor, demo::kStopAllKey), kAllStops) << "motor window";
    EXPECT_EQ(motor->STNumber1->text(), QStringLiteral("15000")) << "the key is not typed";

    inEveryModalWindow(motor, [this](const char *kind, QWidget *window) {
        EXPECT_EQ(press(window, demo::kStopAllKey), kAllStops) << kind;
    });
    if (!demo::referencePath().isEmpty()) {
        form1()->DLLCommandsInformation1->trigger();
        EXPECT_EQ(press(demo::program().windows.Help, demo::kStopAllKey), kAllStops) << "help";
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(StopKeys, F8StopsOnlyTheMotorOfTheMotorWindowInUse) {
    openPortFromMainWindow();
    TMtr *one = openMotor(1);
    TMtr *three = openMotor(3);
    EXPECT_EQ(press(three, demo::kStopMotorKey), Frames{"_2H"});
    EXPECT_EQ(press(one, demo::kStopMotorKey), Frames{"_0H"});
    // In a window that is no motor window the key stops nothing (the profile editor
    // included: it is opened from a motor window but sends nothing of its own).
    EXPECT_EQ(press(form1(), demo::kStopMotorKey), Frames{});
    inEveryModalWindow(one, [this](const char *kind, QWidget *window) {
        EXPECT_EQ(press(window, demo::kStopMotorKey), Frames{}) << kind;
    });
    if (!demo::referencePath().isEmpty()) {
        form1()->DLLCommandsInformation1->trigger();
        EXPECT_EQ(press(demo::program().windows.Help, demo::kStopMotorKey), Frames{}) << "help";
    }
    // Still the motor window's own after the others were open.
    EXPECT_EQ(press(three, demo::kStopMotorKey), Frames{"_2H"});
    // The keys are named where the operator looks for them.
    EXPECT_TRUE(one->Stop1->toolTip().startsWith(QStringLiteral("Stops any Stepper Movement\n")));
    EXPECT_TRUE(one->Stop1->toolTip().contains(QStringLiteral("F8")));
    EXPECT_TRUE(mainControl<QPushButton>("STOPALL")->toolTip().contains(QStringLiteral("F9")));
}

namespace {

// The program's real message boxes, which wait while the other windows go on.
class StopKeysWithABox : public StopKeys {
protected:
    void SetUp() override {
        StopKeys::SetUp();
        demo::setMessageBoxes(nullptr);
    }
    void TearDown() override {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
                box->QDialog::done(0);
        StopKeys::TearDown();
    }
    static QMessageBox *openBox() {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
                return box;
        return nullptr;
    }
};

}  // namespace

TEST_F(StopKeysWithABox, BothKeysActWhileABoxIsOpenAndTheHandlerGoesOnWhenItCloses) {
    openPortFromMainWindow();
    openMotor(1);
    TMtr *two = openMotor(2);
    two->STSpeed1->setText(QStringLiteral("10"));  // refused: CW raises a box
    two->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(two));
    bool seen = false;
    QTimer::singleShot(0, [&] {
        seen = true;
        QMessageBox *box = openBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Error Message Motor 2"));
        // F8 in the box stops the motor of the window that raised it.
        EXPECT_EQ(press(box, demo::kStopMotorKey), Frames{"_1H"});
        EXPECT_EQ(press(box, demo::kStopAllKey), kAllStops);
        EXPECT_TRUE(box->isVisible());
        sim().clearTranscript();
        box->button(QMessageBox::Ok)->click();
    });
    click(two->CW1);
    EXPECT_TRUE(seen) << "the handler returned before its box was open";
    EXPECT_EQ(sent(""), (Frames{"_1F150", "_1S2", "_1N20000"}));
}
