// SPDX-License-Identifier: MIT
// Where windows open: the cascade of motor windows and the centring of a box (the rules on
// rectangles; the real motor windows opened from the main window; the real boxes are in
// test_message_boxes.cpp) and the tool-button pictures from the resources.
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QToolButton>

#include "pictures.h"
#include "test_motor_window_helpers.h"
#include "window_placement.h"

using namespace guitest;
using demo::cascadedPosition;
using demo::centredOver;
using demo::kCascadeStep;

namespace {

const QRect kScreen(0, 0, 1000, 700);
const QPoint kStep(kCascadeStep, kCascadeStep);

}  // namespace

TEST(Cascade, StepsFromTheLastWindowAndPassesOverCornersThatAreTaken) {
    const QSize size(400, 300);
    EXPECT_EQ(cascadedPosition({100, 100}, {{100, 100}}, size, kScreen), QPoint(100, 100) + kStep);
    // The next corner belongs to an older window that is still open: one more step.
    EXPECT_EQ(cascadedPosition({100, 100}, {{100, 100}, QPoint(100, 100) + kStep}, size, kScreen),
              QPoint(100, 100) + kStep * 2);
    // The area need not start at the origin (a panel on the left or at the top).
    const QRect shifted(60, 30, 1000, 700);
    EXPECT_EQ(cascadedPosition({60, 30}, {{60, 30}}, size, shifted), QPoint(60, 30) + kStep);
}

TEST(Cascade, StartsAgainAtTheTopLeftRatherThanLeaveTheScreen) {
    const QSize size(400, 300);
    // The last corner that keeps the window inside is (600, 400).
    EXPECT_EQ(cascadedPosition({600 - kCascadeStep, 300}, {}, size, kScreen),
              QPoint(600, 300 + kCascadeStep));
    EXPECT_EQ(cascadedPosition({600 - kCascadeStep + 1, 300}, {}, size, kScreen), QPoint(0, 0));
    EXPECT_EQ(cascadedPosition({100, 400 - kCascadeStep + 1}, {}, size, kScreen), QPoint(0, 0));
    // A last window the user dragged partly off the screen, to the left or above.
    EXPECT_EQ(cascadedPosition({-200, 100}, {}, size, kScreen), QPoint(0, 0));
    EXPECT_EQ(cascadedPosition({100, -100}, {}, size, kScreen), QPoint(0, 0));
    // The top-left corner is taken too: the cascade goes on from there.
    EXPECT_EQ(cascadedPosition({590, 100}, {{0, 0}}, size, kScreen), kStep);
}

TEST(Cascade, AWindowLargerThanTheScreenStillCascadesEightStepsWithItsTitleOnScreen) {
    const QSize huge(1200, 900);
    QPoint corner(0, 0);
    std::vector<QPoint> taken{corner};
    for (int i = 1; i <= 8; ++i) {
        corner = cascadedPosition(corner, taken, huge, kScreen);
        EXPECT_EQ(corner, kStep * i);
        taken.push_back(corner);
    }
    EXPECT_EQ(cascadedPosition(corner, {}, huge, kScreen), QPoint(0, 0));
}

TEST(Cascade, AWindowThatFitsOnTheScreenIsAlwaysWholeOnIt) {
    // A motor window with its frame on 1024x768: the screen leaves it room for a few steps
    // down only. The first opens in the middle, the others cascade from it.
    const QRect screen(0, 0, 1024, 768);
    for (const QSize size : {QSize(660, 640), QSize(660, 700), QSize(1000, 760)}) {
        QPoint corner = screen.center() - QRect(QPoint(), size).center();
        std::vector<QPoint> taken{corner};
        for (int window = 2; window <= 8; ++window) {
            corner = cascadedPosition(corner, taken, size, screen);
            EXPECT_TRUE(screen.contains(QRect(corner, size)))
                << size.width() << "x" << size.height() << ", window " << window << " at "
                << corner.x() << "," << corner.y();
            taken.push_back(corner);
        }
    }
}

TEST(Cascade, WithEveryCornerTakenTheWindowStillGetsOneAndTheSearchEnds) {
    const QRect small(0, 0, 500, 400);
    const QSize size(400, 300);
    std::vector<QPoint> taken;
    for (int x = 0; x <= 300; ++x)
        for (int y = 0; y <= 300; ++y) taken.emplace_back(x, y);
    const QPoint corner = cascadedPosition({0, 0}, taken, size, small);
    EXPECT_TRUE(small.contains(corner));
}

TEST(CentredOver, CentresOnTheAnchorAndMovesInsideTheScreen) {
    const QSize box(200, 100);
    EXPECT_EQ(centredOver(QRect(100, 100, 400, 300), box, kScreen), QPoint(200, 200));
    // Odd differences round down.
    EXPECT_EQ(centredOver(QRect(100, 100, 401, 301), box, kScreen), QPoint(200, 200));
    // An anchor at an edge or corner keeps the box whole on the screen.
    EXPECT_EQ(centredOver(QRect(-150, -80, 200, 100), box, kScreen), QPoint(0, 0));
    EXPECT_EQ(centredOver(QRect(900, 650, 200, 100), box, kScreen), QPoint(800, 600));
    // A box larger than the screen keeps its top-left corner (its title) on the screen.
    EXPECT_EQ(centredOver(QRect(0, 0, 100, 100), QSize(1200, 900), kScreen), QPoint(0, 0));
}

TEST_F(FourMotors, EachNewMotorWindowOpensAStepFromTheLastOneStillOpen) {
    openPortFromMainWindow();
    demo::TMtr *first = openMotor(1);
    const QRect screen = demo::availableArea(first);
    first->move(screen.topLeft() + QPoint(10, 10));
    demo::TMtr *second = openMotor(2);
    demo::TMtr *third = openMotor(3);
    EXPECT_EQ(second->pos(), first->pos() + kStep);
    EXPECT_EQ(third->pos(), second->pos() + kStep);

    // Closing the middle one: the next cascades from the third, the last still open.
    click(second->MDClose1);
    ASSERT_FALSE(second->isVisible());
    demo::TMtr *fourth = openMotor(4);
    EXPECT_EQ(fourth->pos(), third->pos() + kStep);

    // A second window of a motor that has one open gets a corner of its own too.
    demo::TMtr *again = openMotor(1);
    EXPECT_NE(again, first);
    EXPECT_EQ(again->pos(), fourth->pos() + kStep);

    // No two open motor windows share a corner, and each stays on the screen as far as
    // its size allows.
    std::vector<QPoint> corners;
    for (demo::TMtr *window : {first, third, fourth, again}) {
        ASSERT_TRUE(window->isVisible());
        EXPECT_TRUE(screen.contains(window->pos()));
        EXPECT_EQ(std::count(corners.begin(), corners.end(), window->pos()), 0);
        corners.push_back(window->pos());
    }
}

TEST_F(FourMotors, AMotorWindowOpensAtTheTopLeftWhenTheNextStepWouldLeaveTheScreen) {
    openPortFromMainWindow();
    demo::TMtr *first = openMotor(1);
    const QRect screen = demo::availableArea(first);
    first->move(screen.bottomRight() - QPoint(20, 20));
    EXPECT_EQ(openMotor(2)->pos(), screen.topLeft());
}

TEST_F(FourMotors, EveryMotorWindowOpensWithItsWholeFrameOnTheScreen) {
    openPortFromMainWindow();
    std::vector<demo::TMtr *> opened;
    for (int round = 0; round < 2; ++round)
        for (int m = 1; m <= 4; ++m) opened.push_back(openMotor(m));
    const QRect screen = demo::availableArea(opened.front());
    ASSERT_LE(opened.front()->frameGeometry().height(), screen.height())
        << "the screen is too small for the rule to apply";
    for (demo::TMtr *window : opened) {
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(screen.contains(frame))
            << window->objectName().toStdString() << " at " << frame.x() << "," << frame.y() << " "
            << frame.width() << "x" << frame.height() << " on " << screen.width() << "x"
            << screen.height();
    }
}

TEST_F(GuiTest, ToolButtonsShowTheirOwnPicturesFromTheResources) {
    using demo::ToolPicture;
    const std::pair<const char *, ToolPicture> buttons[] = {
        {"MOpenP", ToolPicture::OpenPort},     {"MChangeSP", ToolPicture::ChangeRate},
        {"MCloseSP", ToolPicture::ClosePort},  {"Maddr", ToolPicture::Address},
        {"MCtrCon", ToolPicture::Controllers}, {"MBInit", ToolPicture::Init},
        {"MCurrent", ToolPicture::Current}};
    std::vector<QImage> seen;
    for (const auto &[name, picture] : buttons) {
        EXPECT_TRUE(QFile::exists(demo::toolPictureFile(picture))) << name;
        const QImage image =
            mainControl<QToolButton>(name)->icon().pixmap(32, 32).toImage().convertToFormat(
                QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(32, 32)) << name << ": no picture drawn";
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
        // Each picture covers a good part of its square, and no two are alike.
        EXPECT_GT(opaque, 32 * 32 / 8) << name;
        for (const QImage &other : seen) EXPECT_NE(image, other) << name;
        seen.push_back(image);
    }
    // Larger sizes are drawn from the picture, not blown up from 32 pixels.
    EXPECT_EQ(demo::programIcon().pixmap(64, 64).size(), QSize(64, 64));
    EXPECT_FALSE(form1()->windowIcon().isNull());
}
