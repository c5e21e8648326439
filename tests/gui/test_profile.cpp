// SPDX-License-Identifier: MIT
// The profile editor: the mouse on the drawing area, the segment arithmetic, Calc. Profile,
// Clear Process and Return, and a returned profile run by the motor window.
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "gui_fixture.h"
#include "profile_editor.h"
#include "pictures.h"
#include "status_panels.h"
#include "test_motor_window_helpers.h"

using namespace guitest;
using demo::profile::heightOf;
using demo::profile::segmentSlope;
using demo::profile::speedAt;

namespace {

TEST(ProfileScales, SlopeRoundsAwayFromZeroOnlyBeyondOneHalf) {
    EXPECT_EQ(segmentSlope(2252, 2748, 400, 9), 1);   // 1.24
    EXPECT_EQ(segmentSlope(2252, 2872, 400, 9), 2);   // 1.55
    EXPECT_EQ(segmentSlope(2748, 2252, 400, 9), -1);  // -1.24
    EXPECT_EQ(segmentSlope(2872, 2252, 400, 9), -2);  // -1.55
    EXPECT_EQ(segmentSlope(2252, 2872, -400, 9), 2);  // the length counts, not the direction
    EXPECT_EQ(segmentSlope(0, 200, 400, 9), 0);       // exactly one half stays
    EXPECT_EQ(segmentSlope(0, -200, 400, 9), 0);
    EXPECT_EQ(segmentSlope(100, 3000, 0, 9), 9);  // no steps: the last slope
}

class ProfileEditor : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        ASSERT_TRUE(gridFolder.isValid());
        demo::program().GridBitmapPath = gridFolder.filePath(QStringLiteral("Grid2.bmp"));
    }

    demo::TProfile *openEditor(const QString &motor = QStringLiteral("3")) {
        editor = demo::createWindow(demo::program().windows.Profile);
        editor->setMotorNumber(motor);
        editor->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(editor));
        return editor;
    }
    void press(QPoint at) { QTest::mousePress(editor->Image, Qt::LeftButton, {}, at); }
    // A move reaches the area through its window, as the pointer's moves do.
    void move(QPoint at) {
        QTest::mouseMove(editor->windowHandle(), editor->Image->mapTo(editor, at));
    }
    void release(QPoint at) {
        move(at);
        QTest::mouseRelease(editor->Image, Qt::LeftButton, {}, at);
    }
    void segment(QPoint from, QPoint to) {
        press(from);
        release(to);
    }
    QString origin() const { return editor->StatusBar1->text(0); }
    // What the fields show: final speed, slope, steps.
    std::vector<QString> fields() const {
        return {editor->SpeedProf1->text(), editor->ACCProf1->text(), editor->SNProf1->text()};
    }
    std::vector<int> storedSegment(int i) const {
        const demo::SegmentTable &table = editor->segments();
        return {table.firstRate[i], table.slope[i], table.steps[i]};
    }
    // How many pixels of column x are drawn in the segments' colour.
    int linePixelsInColumn(int x) const {
        int count = 0;
        for (int y = 0; y < demo::kGridHeight; ++y)
            count += editor->Image->picture().pixel(x, y) == demo::kProfileLineColour;
        return count;
    }

    QTemporaryDir gridFolder;
    demo::TProfile *editor = nullptr;
};

QString fixed(int speed) { return QString::number(GetFixedSpeed(speed)); }

// A queued slope travels as one byte: -1 goes out as 255.
int slopeByte(int slope) { return slope < 0 ? 256 + slope : slope; }

TEST_F(ProfileEditor, OpensOnTheGridDrawnInMemoryWithItsTexts) {
    openEditor(QStringLiteral("3"));
    EXPECT_FALSE(QFile::exists(demo::program().GridBitmapPath))
        << "opening an editor writes no file";

    EXPECT_EQ(editor->windowTitle(), QStringLiteral(" Motor Profile"));
    EXPECT_EQ(editor->Return1->text(), QStringLiteral("&Return to Motor Desktop N ->:3"));
    EXPECT_EQ(editor->Image->size(), QSize(500, 280));
    EXPECT_EQ(editor->Image->picture(), demo::gridPicture());
    const QImage &grid = editor->Image->picture();
    EXPECT_EQ(grid.pixel(50, 17), demo::kGridLine);
    EXPECT_EQ(grid.pixel(17, 40), demo::kGridLine);
    EXPECT_EQ(grid.pixel(49, 39), demo::kGridGround);
    EXPECT_EQ(editor->Memo1->toPlainText().split(QLatin1Char('\n')).size(), 8);
    EXPECT_EQ(fields(), (std::vector<QString>{"0", "0", "0"}));

    click(editor->BitBtn2);
    EXPECT_EQ(editor->Memo1->toPlainText(), QStringLiteral("Speed ,Acce., Step N."));
}

TEST_F(ProfileEditor, FirstSegmentStartsAtTheLeftEdgeFromTheFixedSpeed) {
    openEditor();
    // At y = 150 the scale gives 1632, which no station runs at exactly.
    ASSERT_NE(GetFixedSpeed(speedAt(150)), speedAt(150));
    press(QPoint(40, 150));
    EXPECT_EQ(origin(),
              QStringLiteral("Origin: Step Number,Speed -> (320, %1)").arg(GetFixedSpeed(1632)));
    release(QPoint(240, 150));
    EXPECT_EQ(storedSegment(0)[0], GetFixedSpeed(1632));
    EXPECT_EQ(storedSegment(0)[2], 1600);

    // The line runs from the left edge, two pixels wide.
    EXPECT_EQ(linePixelsInColumn(10), 2);
    EXPECT_EQ(linePixelsInColumn(120), 2);
    EXPECT_EQ(linePixelsInColumn(300), 0);
}

TEST_F(ProfileEditor, LaterSegmentsTakeTheScaleAndRoundTheSlope) {
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));

    press(QPoint(150, 100));
    EXPECT_EQ(origin(), QStringLiteral("Origin: Step Number,Speed -> (1200, 2252)"));
    release(QPoint(200, 60));
    EXPECT_EQ(storedSegment(1), (std::vector<int>{2252, 1, 400}));
    EXPECT_EQ(fields(), (std::vector<QString>{fixed(2652), "1", "400"}));
    // The line ends above the release at the height of the final speed.
    EXPECT_EQ(editor->Image->picture().pixel(199, heightOf(GetFixedSpeed(2652))),
              demo::kProfileLineColour);

    press(QPoint(150, 100));
    release(QPoint(200, 50));
    EXPECT_EQ(storedSegment(2), (std::vector<int>{2252, 2, 400}));
    EXPECT_EQ(fields(), (std::vector<QString>{fixed(3052), "2", "400"}));
    EXPECT_EQ(editor->segments().count, 3);
}

TEST_F(ProfileEditor, BackwardsStraightUpAndSteepFallReleases) {
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));

    // Left of the press: negative steps, the slope from their length.
    segment(QPoint(200, 100), QPoint(150, 60));
    EXPECT_EQ(storedSegment(1), (std::vector<int>{2252, 1, -400}));
    EXPECT_EQ(fields(), (std::vector<QString>{fixed(2652), "1", "-400"}));

    // Straight above: no steps, the last slope again, the start speed as final speed.
    segment(QPoint(150, 100), QPoint(150, 20));
    EXPECT_EQ(storedSegment(2), (std::vector<int>{2252, 1, 0}));
    EXPECT_EQ(fields(), (std::vector<QString>{fixed(2252), "1", "0"}));

    // Dragged below the area: the final speed is raised to 20 before it is fixed.
    segment(QPoint(150, 250), QPoint(160, 290));
    EXPECT_EQ(fields(), (std::vector<QString>{
                            fixed(20), QString::number(segmentSlope(392, -104, 80, 0)), "80"}));
}

TEST_F(ProfileEditor, TheLastSlopeCarriesIntoTheNextEditor) {
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));
    segment(QPoint(150, 100), QPoint(200, 50));  // slope 2
    editor->close();

    openEditor();
    EXPECT_EQ(editor->segments().count, 0);
    segment(QPoint(100, 100), QPoint(100, 40));
    EXPECT_EQ(editor->ACCProf1->text(), QStringLiteral("2"));
}

TEST_F(ProfileEditor, MouseMoveShowsStepAndSpeedWithoutDrawing) {
    openEditor();
    move(QPoint(250, 200));
    EXPECT_EQ(editor->StatusBar1->text(1), QStringLiteral("Step Number , Speed : (2000, 1012)"));
    EXPECT_EQ(editor->Image->picture(), demo::gridPicture());
}

TEST_F(ProfileEditor, CalcProfileListsEverySegment) {
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));
    segment(QPoint(150, 100), QPoint(200, 60));
    click(editor->BitBtn2);
    const QStringList lines = editor->Memo1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Speed ,Acce., Step N."));
    const std::vector<int> first = storedSegment(0);
    EXPECT_EQ(lines[1], QStringLiteral("%1,%2,%3").arg(first[0]).arg(first[1]).arg(first[2]));
    EXPECT_EQ(lines[2], QStringLiteral("2252,1,400"));
}

TEST_F(ProfileEditor, ClearProcessCopiesThePictureAndStartsAgain) {
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));
    segment(QPoint(150, 100), QPoint(200, 60));
    const QImage drawn = editor->Image->picture();

    click(editor->BitBtn1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), drawn);
    EXPECT_EQ(editor->Image->picture(), demo::gridPicture());
    // The grid file was missing and has been written from the drawn grid.
    EXPECT_EQ(QImage(demo::program().GridBitmapPath).convertToFormat(QImage::Format_RGB32),
              demo::gridPicture());
    EXPECT_EQ(origin(), QStringLiteral("Origin: (0, 0)"));
    EXPECT_EQ(fields(), (std::vector<QString>{"", "", ""}));
    EXPECT_TRUE(editor->Memo1->toPlainText().isEmpty());
    EXPECT_EQ(editor->segments().count, 0);
    EXPECT_EQ(editor->segments().steps[1], 0);

    // The next press is a first segment again.
    press(QPoint(150, 150));
    EXPECT_EQ(origin(),
              QStringLiteral("Origin: Step Number,Speed -> (1200, %1)").arg(GetFixedSpeed(1632)));
}

TEST_F(ProfileEditor, ClearProcessWithAnUnreadableGridFileLeavesTheProfile) {
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));
    QFile damaged(demo::program().GridBitmapPath);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("BM not a picture");
    damaged.close();

    click(editor->BitBtn1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(
        QStringLiteral("Cannot open file \"%1\"").arg(demo::program().GridBitmapPath)))
        << boxes.shown[0].text.toStdString();
    EXPECT_EQ(boxes.shown[0].icon, demo::BoxIcon::Error);
    EXPECT_EQ(editor->Image->picture().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(editor->Image->picture().pixel(250, 140), qRgb(255, 255, 255));
    EXPECT_EQ(editor->segments().count, 1);
    EXPECT_EQ(editor->SNProf1->text(), QStringLiteral("1040"));
}

TEST_F(ProfileEditor, ClearProcessWhereNoGridFileCanBeWrittenUsesTheDrawnGrid) {
    // A plain file stands where the grid's folder would have to be made.
    QFile blocker(gridFolder.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    demo::program().GridBitmapPath = gridFolder.filePath(QStringLiteral("blocked/Grid2.bmp"));
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));

    click(editor->BitBtn1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(editor->Image->picture(), demo::gridPicture());
    EXPECT_EQ(editor->segments().count, 0);
}

TEST_F(ProfileEditor, TheGridFileGoesToTheCacheFolderNeverToTheWorkingFolder) {
    QTemporaryDir cache;
    QTemporaryDir working;
    ASSERT_TRUE(cache.isValid() && working.isValid());
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    const QString oldWorking = QDir::currentPath();
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    ASSERT_TRUE(QDir::setCurrent(working.path()));

    // The main window names the grid file when it is created.
    demo::createWindow(demo::program().windows.Form1);
    const QString path = demo::program().GridBitmapPath;
    EXPECT_TRUE(
        path.startsWith(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + '/'))
        << path.toStdString();
    EXPECT_TRUE(path.startsWith(cache.path() + '/')) << path.toStdString();
    openEditor();
    segment(QPoint(10, 200), QPoint(140, 120));
    click(editor->BitBtn1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(
        QDir(working.path())
            .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

    QDir::setCurrent(oldWorking);
    if (oldCache.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", oldCache);
}

TEST_F(ProfileEditor, AHundredAndFirstSegmentIsRefusedWithABox) {
    openEditor();
    for (int i = 0; i < demo::kMaxSegments; ++i) segment(QPoint(i, 200), QPoint(i + 1, 190));
    ASSERT_EQ(editor->segments().count, demo::kMaxSegments);
    EXPECT_TRUE(boxes.shown.empty());
    const QImage before = editor->Image->picture();

    segment(QPoint(300, 100), QPoint(400, 50));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral(" Motor Profile"));
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("100 segments")));
    EXPECT_EQ(editor->segments().count, demo::kMaxSegments);
    EXPECT_EQ(editor->SNProf1->text(), QStringLiteral("8"));
    EXPECT_EQ(editor->Image->picture(), before);

    click(editor->Return1);
    EXPECT_EQ(demo::program().motors[2].segments.count, demo::kMaxSegments);
    EXPECT_EQ(demo::program().motors[2].segments.firstRate[99], speedAt(200));
}

TEST_F(ProfileEditor, ReturnHandsTheProfileToItsMotorOnlyAndTheFrameHandsNothing) {
    openEditor(QStringLiteral("6"));
    segment(QPoint(10, 200), QPoint(140, 120));
    segment(QPoint(150, 100), QPoint(200, 60));
    const demo::SegmentTable drawn = editor->segments();
    click(editor->Return1);
    EXPECT_FALSE(editor->isVisible());

    const auto &motors = demo::program().motors;
    EXPECT_EQ(motors[5].segments.count, 2);
    EXPECT_EQ(motors[5].segments.firstRate, drawn.firstRate);
    EXPECT_EQ(motors[5].segments.slope, drawn.slope);
    EXPECT_EQ(motors[5].segments.steps, drawn.steps);
    for (int m = 0; m < demo::kMotors; ++m) {
        if (m == 5) continue;
        EXPECT_EQ(motors[m].segments.count, 0) << "motor " << m + 1;
    }

    // An editor closed by its frame leaves the table as it was.
    openEditor(QStringLiteral("6"));
    segment(QPoint(10, 100), QPoint(300, 100));
    editor->close();
    EXPECT_EQ(motors[5].segments.count, 2);
    EXPECT_EQ(motors[5].segments.steps, drawn.steps);
}

using ProfileOfMotor6 = MotorTest<0, 1, 2, 3, 4, 5>;

TEST_F(ProfileOfMotor6, ReturnedProfileIsWhatExeProfileSends) {
    openPortFromMainWindow();
    demo::TMtr *window = openMotor(6);
    ASSERT_NE(window, nullptr);

    demo::SegmentTable drawn;
    QString returnCaption;
    whenModalShows([&](QWidget *shown) {
        auto *editor = qobject_cast<demo::TProfile *>(shown);
        ASSERT_NE(editor, nullptr);
        returnCaption = editor->Return1->text();
        auto drag = [editor](QPoint from, QPoint to) {
            QTest::mousePress(editor->Image, Qt::LeftButton, {}, from);
            QTest::mouseRelease(editor->Image, Qt::LeftButton, {}, to);
        };
        drag(QPoint(10, 220), QPoint(100, 140));
        drag(QPoint(110, 140), QPoint(200, 140));
        drag(QPoint(210, 140), QPoint(300, 250));
        drawn = editor->segments();
        click(editor->Return1);
    });
    click(window->BitBtn1);
    EXPECT_EQ(returnCaption, QStringLiteral("&Return to Motor Desktop N ->:6"));
    ASSERT_EQ(drawn.count, 3);
    EXPECT_EQ(demo::program().motors[0].segments.count, 0);

    click(window->MDEFIFO1);
    ASSERT_TRUE(window->MDEXEP1->isEnabled());
    sim().clearTranscript();
    click(window->MDEXEP1);
    window->Timer1->stop();

    std::vector<std::string> expected;
    for (int i = 0; i < drawn.count; ++i) {
        expected.push_back("_5&F" + std::to_string(drawn.firstRate[i]));
        expected.push_back("_5&S" + std::to_string(slopeByte(drawn.slope[i])));
        expected.push_back("_5&N" + std::to_string(drawn.steps[i]));
    }
    EXPECT_EQ(sent(), expected);
    EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
