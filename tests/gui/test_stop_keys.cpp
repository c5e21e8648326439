// SPDX-License-Identifier: MIT
// The STOP keys, pressed as the window system delivers keys (to a window, which hands them
// to its widget with the focus): F9 stops all motors from every kind of window, modal ones
// included; F8 stops the motor of the motor window in use and nothing elsewhere; both act
// while a message box is open, and while the program waits on the line for a scan or an
// initialisation, when the STOP buttons are the only other controls it takes.
#include <chrono>
#include <iostream>
#include <thread>

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

namespace {

using Clock = std::chrono::steady_clock;

// Records when `widget` is painted.
class PaintTimes final : public QObject {
public:
    explicit PaintTimes(QWidget *widget) { widget->installEventFilter(this); }
    std::vector<Clock::time_point> times;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) times.push_back(Clock::now());
        return false;
    }
};

Frames withoutStops(const std::vector<kx4417::Frame> &frames) {
    Frames rest;
    for (const kx4417::Frame &frame : frames)
        if (frame.bytes.size() != 4 || frame.bytes[2] != 'H') rest.push_back(frame.bytes);
    return rest;
}

}  // namespace

TEST_F(StopKeys, F9DuringAScanGoesOutAtTheNextProbeAndTheScanSendsWhatItWould) {
    openPortFromMainWindow();
    sim().clearTranscript();
    click(mainControl<QPushButton>("GETC"));
    const Frames scan = withoutStops(sim().frames());
    TMtr *motor = openMotor(1);
    click(motor->MDCKW1);  // a jog runs until it is stopped
    ASSERT_TRUE(sim().station(0).jogging);

    // The operator presses F9 0.7 s into the scan, halfway through a silent probe: the key
    // waits in the window system's queue until the program reads it, as a real key does.
    PaintTimes paints(form1()->MBMotorConn);
    Clock::time_point pressed;
    sim().clearTranscript();
    std::thread operatorHand([&pressed, this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        pressed = Clock::now();
        QMetaObject::invokeMethod(
            qApp,
            [this] {
                form1()->MBMotorConn->update();
                QTest::keyClick(form1()->windowHandle(), demo::kStopAllKey);
            },
            Qt::QueuedConnection);
    });
    click(mainControl<QPushButton>("GETC"));
    operatorHand.join();
    QCoreApplication::processEvents();

    const std::vector<kx4417::Frame> frames = sim().frames();
    const auto stop = std::find_if(frames.begin(), frames.end(),
                                   [](const kx4417::Frame &f) { return f.bytes == "_0H\r"; });
    ASSERT_NE(stop, frames.end()) << "no stop was sent";
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(stop->at - pressed);
    std::cout << "F9 0.7 s into a scan: _0H on the line " << delay.count() << " ms later\n";
    // The library's bound for a stop at 9600 baud: the rest of one transaction, 0.99 s.
    EXPECT_LT(delay.count(), 990);
    EXPECT_NE(frames.back().bytes, "_3H\r") << "the stops went out after the scan";
    // The scan's own frames are those of a scan that nobody interrupted.
    EXPECT_EQ(withoutStops(frames), scan);
    EXPECT_FALSE(sim().station(0).jogging);
    // The window was painted while the scan went on.
    EXPECT_TRUE(std::any_of(paints.times.begin(), paints.times.end(),
                            [&](Clock::time_point t) { return t < frames.back().at; }));
}

TEST_F(StopKeys, DuringBoardInitialisationOnlyTheStopControlsAreTaken) {
    openPortFromMainWindow();
    TMtr *one = openMotor(1);
    TMtr *two = openMotor(2);
    sim().setAnswerDelay(std::chrono::milliseconds(40));  // a slow line: about two seconds
    sim().clearTranscript();
    bool handled = false;
    QTimer::singleShot(400, [&] {
        handled = true;
        EXPECT_EQ(boxes.cursor(), Qt::WaitCursor);
        // Another command is refused, by mouse and by key; STOP and F8 are taken.
        QTest::mouseClick(two->CW1, Qt::LeftButton);
        QTest::keyClick(two->windowHandle(), Qt::Key_W, Qt::AltModifier);  // CC&W
        QTest::mouseClick(one->Stop1, Qt::LeftButton);
        QTest::keyClick(two->windowHandle(), demo::kStopMotorKey);
    });
    click(mainControl<QPushButton>("INITB"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return handled; }, 2000));
    QTest::qWait(100);

    const Frames frames = sent("");
    const auto at = [&frames](const char *frame) {
        return std::find(frames.begin(), frames.end(), frame) - frames.begin();
    };
    // The initialisation ends with the step mode of the last station.
    ASSERT_LT(at("_3M33"), static_cast<long>(frames.size()));
    EXPECT_LT(at("_0H"), at("_1H"));
    EXPECT_LT(at("_1H"), at("_3M33")) << "the stops went out after the initialisation";
    for (const std::string &frame : frames)
        EXPECT_TRUE(frame.rfind("_1N", 0) != 0) << "a refused move was sent: " << frame;
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(boxes.cursor(), Qt::ArrowCursor);
}
