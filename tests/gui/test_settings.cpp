// SPDX-License-Identifier: MIT
// Remembered settings: what the operator left is back after a restart against the test's
// own configuration folder, with nothing sent until the operator acts; a damaged or
// unreadable settings file is reported once and ignored; the menu entry brings the
// defaults back.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "current_window.h"
#include "field_updown.h"
#include "radio_group.h"
#include "test_motor_window_helpers.h"
#include "window_placement.h"

using namespace guitest;
using demo::TMtr;
using Frames = std::vector<std::string>;

namespace {

using Settings = FourMotors;

const QString kSettingsTitle = QStringLiteral(" ERROR in Settings");

void writeFile(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// The fields of a motor window that the settings keep, as the window shows them.
std::vector<QString> remembered(const TMtr *w) {
    return {w->STNumber1->text(),
            w->STSpeed1->text(),
            w->STSlope1->text(),
            w->STInitSpeed1->text(),
            w->MDISJOG1->text(),
            w->MDAbst1->text(),
            QString::number(w->StepperMode1->itemIndex()),
            QString::number(w->SeekHome1->itemIndex())};
}

const std::vector<QString> kMotor2AtStart{
    QStringLiteral("20000"), QStringLiteral("2000"), QStringLiteral("2"), QStringLiteral("150"),
    QStringLiteral("100"),   QStringLiteral("0"),    QStringLiteral("2"), QStringLiteral("1")};

}  // namespace

TEST_F(Settings, WhatTheOperatorLeftIsBackAfterARestartAndNothingIsSentUntilTheyAct) {
    openPortFromMainWindow();
    TMtr *w = openMotor(2);
    ASSERT_EQ(remembered(w), kMotor2AtStart);
    w->STNumber1->setText(QStringLiteral("1234"));
    w->STSpeed1->setText(QStringLiteral("1500"));
    click(w->CCW1);
    w->MDISJOG1->setText(QStringLiteral("250"));
    w->MDAbst1->setText(QStringLiteral("-700"));
    clickItem(w->StepperMode1, 0);  // "Biphasic"
    clickItem(w->SeekHome1, 0);     // "Enable Home"
    w->move(demo::availableArea(w).topLeft() + QPoint(12, 8));
    const QPoint place = w->pos();
    click(w->MDClose1);
    withModal(mainControl<QPushButton>("CurrW"), [](QWidget *window) {
        child<QLineEdit>(window, "Curr3")->setText(QStringLiteral("700"));
        click(child<QPushButton>(window, "SetCurr1"));
    });
    // The last open is at 19200, which the stations do not hear: the port is open all the same.
    openPortFromMainWindow(1);
    ASSERT_EQ(ZelmarGetBaudRate(), 19200);
    form1()->move(30, 20);
    boxes.shown.clear();

    sim().clearTranscript();
    restartProgram();
    EXPECT_TRUE(QFile::exists(settingsFile()));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(ZelmarGetBaudRate(), 9600) << "the library starts afresh";
    EXPECT_EQ(form1()->pos(), QPoint(30, 20));
    // Every window built at start-up shows what was left; nothing went to a station.
    const std::vector<QString> left{
        QStringLiteral("-1234"), QStringLiteral("1500"), QStringLiteral("2"), QStringLiteral("150"),
        QStringLiteral("250"),   QStringLiteral("-700"), QStringLiteral("0"), QStringLiteral("0")};
    EXPECT_EQ(remembered(demo::program().windows.Mtr[1]), left);
    EXPECT_EQ(demo::program().windows.Mtr[0]->STNumber1->text(), QStringLiteral("15000"));
    EXPECT_EQ(demo::program().motors[1].modeValue, 36 | 0x80);
    EXPECT_EQ(demo::program().RequestedCurrent[2], 700);
    EXPECT_EQ(demo::program().RequestedCurrent[3], 50);
    EXPECT_EQ(sent(""), Frames{});

    // The port dialog offers the port and rate last opened: the dialog is closed at once
    // and the port opens at 19200.
    openPortFromMainWindow();
    EXPECT_EQ(ZelmarGetPort(), 1);
    EXPECT_EQ(ZelmarGetBaudRate(), 19200);
    openPortFromMainWindow(0);  // at 9600 the stations answer again
    sim().clearTranscript();
    TMtr *again = openMotor(2);
    EXPECT_EQ(remembered(again), left);
    EXPECT_EQ(again->pos(), place);
    EXPECT_EQ(sent(""), Frames{});
    // The next mode the operator sends starts from the step mode and home seek shown.
    click(again->MDEnE1);
    EXPECT_EQ(sent("]{P"), Frames{"_1M180"});
    again->Timer1->stop();
}

TEST_F(Settings, TypedFieldsAndPlacesCloseToTheScreensEdgeComeBack) {
    openPortFromMainWindow();
    TMtr *one = openMotor(1);
    one->STSpeed1->setText(QStringLiteral("333"));  // typed, never sent
    one->STInitSpeed1->setText(QStringLiteral("44"));
    // Frames that end a few pixels above the bottom of the screen: whole on it, but not
    // with room for a frame larger than the window system's.
    const QRect screen = demo::availableArea(one);
    const auto nearBottom = [&screen](const QWidget *window, int x, int above) {
        return QPoint(x, screen.bottom() + 1 - window->frameGeometry().height() - above);
    };
    one->move(nearBottom(one, 260, 4 + demo::kCascadeStep));
    TMtr *two = openMotor(2);  // the cascade's place, a step down from motor 1
    ASSERT_EQ(two->pos(), one->pos() + QPoint(demo::kCascadeStep, demo::kCascadeStep));
    form1()->move(nearBottom(form1(), 120, 4));
    const QPoint places[] = {form1()->pos(), one->pos(), two->pos()};
    for (const QPoint &place : places) ASSERT_TRUE(screen.contains(place)) << place.y();

    restartProgram();
    EXPECT_EQ(form1()->pos(), places[0]);
    openPortFromMainWindow();
    EXPECT_EQ(openMotor(2)->pos(), places[2]);
    TMtr *again = openMotor(1);
    EXPECT_EQ(again->pos(), places[1]);
    EXPECT_EQ(again->STSpeed1->text(), QStringLiteral("333"));
    EXPECT_EQ(again->STInitSpeed1->text(), QStringLiteral("44"));
}

TEST_F(Settings, ADamagedFileIsReportedOnceSetAsideAndIgnoredAsAWhole) {
    restartProgram([this] { writeFile(settingsFile(), "[motor1]\nsteps=12\nslewRate=fast\n"); });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, kSettingsTitle);
    EXPECT_EQ(boxes.shown[0].icon, demo::BoxIcon::Error);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("motor1/slewRate is \"fast\"")))
        << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(boxes.shown[0].text.contains(settingsFile() + QStringLiteral(".damaged")));
    EXPECT_EQ(demo::program().windows.Mtr[0]->STNumber1->text(), QStringLiteral("15000"));
    EXPECT_FALSE(QFile::exists(settingsFile()));
    EXPECT_TRUE(QFile::exists(settingsFile() + QStringLiteral(".damaged")));

    // The next start finds no damage (the program wrote a sound file when it ended).
    restartProgram();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(QFile::exists(settingsFile()));

    // A file that is no settings file at all, and a value the program never writes.
    for (const QByteArray &damage :
         {QByteArray("this line has no equals sign\n"), QByteArray("[motor4]\nstepMode=35\n"),
          QByteArray("[port]\nnumber=2\n"), QByteArray("[motor2]\nlive=yes\n")}) {
        boxes.shown.clear();
        restartProgram([&] { writeFile(settingsFile(), damage); });
        ASSERT_EQ(boxes.shown.size(), 1u) << damage.toStdString();
        EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("is damaged")));
        EXPECT_EQ(demo::program().motors[3].modeValue, 33);
    }
}

TEST_F(Settings, AnUnreadableFileIsReportedAndLeftAlone) {
    // A folder where the file should be: it cannot be read, and is not written over.
    restartProgram([this] {
        QFile::remove(settingsFile());
        ASSERT_TRUE(QDir().mkpath(settingsFile()));
    });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, kSettingsTitle);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("cannot be read")));
    openPortFromMainWindow();
    click(openMotor(1)->MDClose1);
    EXPECT_TRUE(QFileInfo(settingsFile()).isDir());
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(Settings, RestoreDefaultsShowsTheStartUpValuesAndForgetsTheFile) {
    openPortFromMainWindow();
    TMtr *w = openMotor(2);
    w->STNumber1->setText(QStringLiteral("55"));
    click(w->CW1);
    w->MDISJOG1->setText(QStringLiteral("300"));
    clickItem(w->StepperMode1, 1);
    click(w->MDClose1);
    TMtr *open = openMotor(2);
    ASSERT_EQ(open->MDISJOG1->text(), QStringLiteral("300"));
    ASSERT_TRUE(QFile::exists(settingsFile()));

    sim().clearTranscript();
    form1()->RestoreDefaults1->trigger();
    EXPECT_EQ(remembered(open), kMotor2AtStart);
    EXPECT_FALSE(QFile::exists(settingsFile()));
    EXPECT_EQ(sent(""), Frames{});

    restartProgram();
    EXPECT_EQ(remembered(demo::program().windows.Mtr[1]), kMotor2AtStart);
    EXPECT_TRUE(boxes.shown.empty());
}
