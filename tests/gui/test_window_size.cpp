// SPDX-License-Identifier: MIT
// How large windows are: every window and box at least as wide as its caption needs, and
// the main window inside the screen's available area (the rules on sizes; the real main
// window on the screen the tests run on, which ctest also sets to larger scales).
#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include "about_window.h"
#include "adc_window.h"
#include "address_dialog.h"
#include "baud_rate_dialog.h"
#include "current_window.h"
#include "digital_io_window.h"
#include "gui_fixture.h"
#include "motor_window.h"
#include "profile_editor.h"
#include "status_window.h"
#include "window_placement.h"
#include "window_size.h"

using namespace guitest;
using demo::fitOnScreen;
using demo::ScreenFit;

namespace {

// The room a title bar needs beyond the title in bold: at least three buttons about a
// line high. Independent of the allowance the program itself makes.
int titleRoom(const QWidget *window) {
    QFont bold = window->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    return metrics.horizontalAdvance(window->windowTitle()) + 3 * metrics.height();
}

const QSize kMain(650, 704);
const QSize kFrame(8, 42);

}  // namespace

TEST(ScreenFit, AWindowThatFitsKeepsItsNaturalSize) {
    const ScreenFit fit = fitOnScreen(kMain, kFrame, QSize(1024, 768), 16);
    EXPECT_FALSE(fit.scrolls);
    EXPECT_EQ(fit.size, kMain);
    // Exactly filling the area still fits.
    EXPECT_FALSE(fitOnScreen(kMain, kFrame, kMain + kFrame, 16).scrolls);
}

TEST(ScreenFit, AScreenTooLowForTheWindowMakesItScrollWithinTheArea) {
    // 1920x1080 at scale 1.5 and 2560x1440 at scale 2 both leave 1280x720 logical pixels,
    // less a panel.
    const QSize available(1280, 720 - 24);
    const ScreenFit fit = fitOnScreen(kMain, kFrame, available, 16);
    EXPECT_TRUE(fit.scrolls);
    EXPECT_EQ(fit.size, QSize(650 + 16, 720 - 24 - 42)) << "room for the vertical scroll bar";
    // Too narrow as well: both scroll bars, and the window is no larger than the area leaves.
    const ScreenFit small = fitOnScreen(kMain, kFrame, QSize(600, 500), 16);
    EXPECT_TRUE(small.scrolls);
    EXPECT_EQ(small.size, QSize(600, 500) - kFrame);
    // Only too narrow: room for the horizontal scroll bar below.
    EXPECT_EQ(fitOnScreen(QSize(900, 300), kFrame, QSize(800, 600), 16).size,
              QSize(800 - 8, 300 + 16));
}

// ctest runs the widget tests on a screen of 1024x768, and this one also on 1920x1080 at
// scale 1.5 and 2560x1440 at scale 2 (both leave 1280x720 logical pixels).
TEST_F(GuiTest, TheMainWindowFitsTheAvailableAreaOfItsScreen) {
    const QRect screen = demo::availableArea(form1());
    auto *scroll = form1()->findChild<QScrollArea *>(QStringLiteral("MainScroll"));
    const std::string where = std::to_string(screen.width()) + "x" +
                              std::to_string(screen.height()) + " at scale " +
                              std::to_string(form1()->devicePixelRatio());
    if (screen.height() >= 768) {
        // Today's layout: the window has the fixed size its layout asks for.
        EXPECT_EQ(scroll, nullptr) << where;
        EXPECT_EQ(form1()->minimumSize(), form1()->maximumSize()) << where;
        EXPECT_EQ(form1()->size(), form1()->sizeHint()) << where;
        return;
    }
    // The offscreen platform draws no title bar: the window leaves room for one of at least
    // two lines of text, as a desktop draws it.
    const QRect frame = form1()->frameGeometry();
    const QRect withTitleBar(frame.topLeft(),
                             frame.size() + QSize(0, 2 * QFontMetrics(form1()->font()).height()));
    EXPECT_TRUE(screen.contains(withTitleBar))
        << where << ": the window takes " << withTitleBar.width() << "x" << withTitleBar.height()
        << " at " << frame.x() << "," << frame.y();
    ASSERT_NE(scroll, nullptr) << where << ": the content does not scroll";
    // Every control can be brought into view, and the window can be made smaller.
    EXPECT_LT(form1()->minimumHeight(), form1()->height());
    for (const char *name : {"MOpenP", "MBMotor8", "StatusBar4"}) {
        QWidget *control = mainControl(name);
        scroll->ensureWidgetVisible(control);
        const QRect shown(control->mapTo(scroll->viewport(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(shown)) << where << ": " << name;
    }
    // The connection bar, with the port's state, is whole in view wherever the content stands.
    QScrollBar *bar = scroll->verticalScrollBar();
    for (const int value : {bar->minimum(), bar->maximum()}) {
        bar->setValue(value);
        QWidget *connection = mainControl("Bar1");
        EXPECT_EQ(connection->visibleRegion().boundingRect(), connection->rect())
            << where << ", scrolled to " << value;
    }
}

TEST_F(GuiTest, EveryWindowIsAtLeastAsWideAsItsCaptionNeeds) {
    const demo::Windows &w = demo::program().windows;
    const std::vector<QWidget *> windows{form1(),   w.Form3, w.Form4, w.CurrentWin, w.Mtr[0],
                                         w.Profile, w.ADC,   w.Form5, w.MBAbout,    w.Form6};
    for (QWidget *window : windows) {
        window->show();
        EXPECT_GE(window->width(), titleRoom(window))
            << window->objectName().toStdString() << ": " << window->windowTitle().toStdString();
        window->hide();
    }
}
