// SPDX-License-Identifier: MIT
// The real message boxes: an open box holds up only the handler that raised it, so STOP in
// any window and STOP -ALL- still reach the stations; boxes close newest first; a box
// raised while a modal window is open can still be closed. Clicks here go through the
// window system, which drops input to windows that a modal window holds.
#include <QCheckBox>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>

#include "test_motor_window_helpers.h"
#include "window_placement.h"

using namespace guitest;
using demo::TMtr;
using Frames = std::vector<std::string>;

namespace {

const QString kSlewRateText = QStringLiteral("Wrong Slew Rate Value must be between 16 to 8500");

class RealBoxes : public FourMotors {
protected:
    void SetUp() override {
        FourMotors::SetUp();
        demo::setMessageBoxes(nullptr);
        // A box that a failed check left open would hold the test for ever.
        watchdog.setInterval(15000);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            for (QMessageBox *box : openBoxes()) {
                ADD_FAILURE() << "the box " << box->windowTitle().toStdString() << " was left open";
                box->QDialog::done(0);
            }
        });
        watchdog.start();
    }
    void TearDown() override {
        watchdog.stop();
        for (QMessageBox *box : openBoxes()) box->QDialog::done(0);
        FourMotors::TearDown();
    }

    QTimer watchdog;

    // The message boxes on screen now.
    static std::vector<QMessageBox *> openBoxes() {
        std::vector<QMessageBox *> found;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
                found.push_back(box);
        return found;
    }
    static QMessageBox *openBox(const QString &title) {
        for (QMessageBox *box : openBoxes())
            if (box->windowTitle() == title) return box;
        ADD_FAILURE() << "no open box titled " << title.toStdString();
        return nullptr;
    }

    // A click as the window system delivers it: to the window at the widget's place, so a
    // window held by a modal one does not get it.
    static void userClick(QWidget *widget) {
        ASSERT_NE(widget, nullptr);
        QWidget *window = widget->window();
        ASSERT_NE(window->windowHandle(), nullptr);
        const QPoint at = widget->mapTo(window, widget->rect().center());
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
        QApplication::processEvents();
    }
    static void clickOk(QMessageBox *box) {
        ASSERT_NE(box, nullptr);
        userClick(box->button(QMessageBox::Ok));
    }

    // Runs `whileOpen` as soon as the handler started by `click` waits on its box; the
    // box is closed afterwards in any case, so a failed check cannot leave the test hanging.
    void withBoxOf(const std::function<void()> &click, const QString &title,
                   const std::function<void(QMessageBox *)> &whileOpen) {
        bool seen = false;
        // The handler may wait on the line before its box shows (the window thread goes on
        // meanwhile): the box is looked for until it is there.
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const std::vector<QMessageBox *> open = openBoxes();
            if (std::none_of(open.begin(), open.end(),
                             [&title](QMessageBox *box) { return box->windowTitle() == title; }))
                return;
            poll.stop();
            seen = true;
            QMessageBox *box = openBox(title);
            if (box) whileOpen(box);
            if (box && box->isVisible()) {
                ADD_FAILURE() << "the box " << title.toStdString() << " was still open";
                box->QDialog::done(0);
            }
        });
        poll.start();
        click();
        poll.stop();
        EXPECT_TRUE(seen) << "the handler returned before any box was open";
    }
};

bool contains(const Frames &frames, const std::string &frame) {
    return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

}  // namespace

TEST_F(RealBoxes, StopInAnyWindowActsWhileABoxIsOpenAndTheHandlerGoesOnWhenItCloses) {
    openPortFromMainWindow();
    TMtr *motor1 = openMotor(1);
    TMtr *motor2 = openMotor(2);
    motor2->STSpeed1->setText(QStringLiteral("10"));
    sim().clearTranscript();

    withBoxOf([&] { userClick(motor2->CW1); }, QStringLiteral("Error Message Motor 2"),
              [&](QMessageBox *box) {
                  EXPECT_EQ(box->text(), kSlewRateText);
                  EXPECT_EQ(box->icon(), QMessageBox::Critical);
                  EXPECT_EQ(sent(), Frames{}) << "the CW handler must wait while its box is open";

                  userClick(motor1->Stop1);
                  EXPECT_EQ(sent(), Frames{"_0H"});
                  // The STOP of the window whose handler waits acts too, and so does STOP -ALL-.
                  userClick(motor2->Stop1);
                  EXPECT_EQ(sent(), (Frames{"_0H", "_1H"}));
                  sim().clearTranscript();
                  userClick(mainControl<QPushButton>("STOPALL"));
                  EXPECT_EQ(sent(), (Frames{"_0H", "_1H", "_2H", "_3H"}));
                  sim().clearTranscript();

                  clickOk(box);
              });
    // Closing the box let the CW handler send the rest of its move.
    EXPECT_EQ(sent(), (Frames{"_1F150", "_1S2", "_1N20000"}));
    EXPECT_TRUE(openBoxes().empty());
}

TEST_F(RealBoxes, MotorTimersTickWhileABoxIsOpen) {
    openPortFromMainWindow();
    TMtr *motor1 = openMotor(1);
    TMtr *motor2 = openMotor(2);
    click(motor1->MDEnE1);  // polls encoder and position every 500 ms
    motor2->STSpeed1->setText(QStringLiteral("10"));
    sim().clearTranscript();

    withBoxOf([&] { userClick(motor2->CW1); }, QStringLiteral("Error Message Motor 2"),
              [&](QMessageBox *box) {
                  QTest::qWait(1300);
                  EXPECT_TRUE(contains(sent(), "_0P"))
                      << "no polling tick of motor 1 while the box was open";
                  clickOk(box);
              });
}

TEST_F(RealBoxes, BoxesCloseNewestFirstAndEachHandlerGoesOnWhenItsBoxCloses) {
    openPortFromMainWindow();
    TMtr *motor1 = openMotor(1);
    TMtr *motor2 = openMotor(2);
    motor1->STSpeed1->setText(QStringLiteral("10"));
    motor2->STSpeed1->setText(QStringLiteral("10"));
    sim().clearTranscript();

    withBoxOf([&] { userClick(motor2->CW1); }, QStringLiteral("Error Message Motor 2"),
              [&](QMessageBox *older) {
                  withBoxOf([&] { userClick(motor1->CW1); },
                            QStringLiteral("Error Message Motor 1"),
                            [&](QMessageBox *newer) {
                                EXPECT_EQ(openBoxes().size(), 2u);
                                // The older box cannot be closed while the newer one is open, by OK
                                // or by its frame.
                                EXPECT_FALSE(older->button(QMessageBox::Ok)->isEnabled());
                                clickOk(older);
                                older->close();
                                EXPECT_TRUE(older->isVisible());
                                EXPECT_EQ(sent(), Frames{});
                                clickOk(newer);
                            });
                  EXPECT_EQ(sent(), (Frames{"_0F100", "_0S1", "_0N15000"}));
                  EXPECT_TRUE(older->button(QMessageBox::Ok)->isEnabled());
                  sim().clearTranscript();
                  clickOk(older);
              });
    EXPECT_EQ(sent(), (Frames{"_1F150", "_1S2", "_1N20000"}));
}

TEST_F(RealBoxes, ASecondClickOnTheButtonWhoseBoxIsOpenRunsItsHandlerAgain) {
    openPortFromMainWindow();
    TMtr *motor2 = openMotor(2);
    motor2->STSpeed1->setText(QStringLiteral("10"));
    sim().clearTranscript();

    withBoxOf([&] { userClick(motor2->CW1); }, QStringLiteral("Error Message Motor 2"),
              [&](QMessageBox *first) {
                  QTimer::singleShot(0, [&] {
                      ASSERT_EQ(openBoxes().size(), 2u)
                          << "the second click raised no box of its own";
                      for (QMessageBox *box : openBoxes())
                          if (box != first) clickOk(box);
                  });
                  userClick(motor2->CW1);
                  // The second press has sent its move; the first press is still waiting on its
                  // box.
                  EXPECT_EQ(sent(), (Frames{"_1F150", "_1S2", "_1N20000"}));
                  // A moving station refuses a new move; stopped, it takes the first press's move.
                  userClick(motor2->Stop1);
                  sim().clearTranscript();
                  clickOk(first);
              });
    EXPECT_EQ(sent(), (Frames{"_1F150", "_1S2", "_1N20000"}));
}

TEST_F(RealBoxes, ABoxRaisedInAModalWindowCanBeClosed) {
    openPortFromMainWindow();
    withModal(mainControl<QPushButton>("VIewADD"), [&](QWidget *dialog) {
        withBoxOf([&] { userClick(child<QPushButton>(dialog, "VerifyAddr")); },
                  QStringLiteral(" Verifaying the Address from the Corvex-B board"),
                  [&](QMessageBox *box) {
                      EXPECT_EQ(box->text(), QStringLiteral(" Done Station :1"));
                      EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
                      // The box is wide enough for its whole title, with room for the
                      // title bar's buttons, although its text is short.
                      QFont bold = box->font();
                      bold.setBold(true);
                      const QFontMetrics metrics(bold);
                      EXPECT_GE(box->width(), metrics.horizontalAdvance(box->windowTitle()) +
                                                  3 * metrics.height());
                      // The probes are over: the box waits for the user under the normal pointer.
                      const QCursor *pointer = QGuiApplication::overrideCursor();
                      EXPECT_TRUE(pointer && pointer->shape() == Qt::ArrowCursor);
                      clickOk(box);
                  });
    });
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "a pointer was left over the windows";
}

TEST_F(RealBoxes, ABoxOpensCentredOverTheWindowThatRaisedItAndInsideTheScreen) {
    openPortFromMainWindow();
    TMtr *motor1 = openMotor(1);
    TMtr *motor2 = openMotor(2);
    motor2->STSpeed1->setText(QStringLiteral("10"));
    const QRect screen = demo::availableArea(motor2);

    // Wherever the raising window stands, the box opens over it, not where the other
    // window is, and never outside the screen.
    const QPoint places[] = {screen.topLeft() + QPoint(40, 30), screen.topLeft(),
                             screen.bottomRight() - QPoint(60, 60)};
    for (const QPoint &place : places) {
        motor1->move(screen.topLeft() + QPoint(300, 200));
        motor2->move(place);
        motor2->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(motor2));
        withBoxOf([&] { userClick(motor2->CW1); }, QStringLiteral("Error Message Motor 2"),
                  [&](QMessageBox *box) {
                      EXPECT_EQ(box->parentWidget(), nullptr) << "a box has no owner window";
                      const QRect over = motor2->frameGeometry();
                      const QRect shown = box->frameGeometry();
                      EXPECT_TRUE(screen.contains(shown)) << place.x() << "," << place.y();
                      // Centred where the screen lets it be.
                      const QPoint centred = over.center() - shown.center();
                      const bool fits = screen.contains(
                          QRect(over.center() - QPoint(shown.width() / 2, shown.height() / 2),
                                shown.size()));
                      if (fits) {
                          EXPECT_LE(centred.manhattanLength(), 2)
                              << "box centre " << shown.center().x() << "," << shown.center().y()
                              << " window centre " << over.center().x() << "," << over.center().y();
                      } else {
                          EXPECT_TRUE(shown.intersects(over));
                      }

                      clickOk(box);
                  });
        // The handler went on to start the move; stop it so the next press can move again.
        userClick(motor2->Stop1);
    }
}
