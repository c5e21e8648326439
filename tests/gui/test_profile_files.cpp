// SPDX-License-Identifier: MIT
// Profiles that can be kept: a profile drawn in the editor is saved, the program restarted,
// the file loaded and played, and corvexctl plays the same file with the same FIFO frames;
// a malformed file is refused with its line and what is wrong, and the profile on screen
// stays.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include "profile_editor.h"
#include "status_panels.h"
#include "test_motor_window_helpers.h"

using namespace guitest;
using demo::TMtr;
using demo::TProfile;
using Frames = std::vector<std::string>;

namespace {

class ProfileFiles : public FourMotors {
protected:
    void SetUp() override {
        FourMotors::SetUp();
        ASSERT_TRUE(folder.isValid());
        demo::program().GridBitmapPath = folder.filePath(QStringLiteral("Grid2.bmp"));
    }

    // Answers the next file dialog with `path`; `shownFolder` gets the folder it opened in,
    // `shownName` the file name it proposed.
    static void whenFileDialogShows(const QString &path, QString *shownFolder = nullptr,
                                    QString *shownName = nullptr) {
        auto *poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [poll, path, shownFolder, shownName] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            poll->stop();
            poll->deleteLater();
            if (shownFolder) *shownFolder = dialog->directory().absolutePath();
            // Typed into the file name field, as the operator does (selectFile() leaves a
            // field that has the focus as it is).
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            if (shownName) *shownName = name->text();
            name->setText(path);
            static_cast<QDialog *>(dialog)->accept();  // as its Save or Open button does
        });
        poll->start();
    }

    static void segment(TProfile *editor, QPoint from, QPoint to) {
        QTest::mousePress(editor->Image, Qt::LeftButton, {}, from);
        QTest::mouseRelease(editor->Image, Qt::LeftButton, {}, to);
    }

    // The FIFO frames received ("_0&F2252" and the like).
    Frames fifoFrames() {
        Frames frames;
        for (const std::string &frame : sent(""))
            if (frame.find('&') != std::string::npos) frames.push_back(frame);
        return frames;
    }

    void writeFile(const QString &name, const QByteArray &content) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QTemporaryDir folder;
};

std::vector<int> table(const demo::SegmentTable &segments) {
    std::vector<int> values;
    for (int i = 0; i < segments.count; ++i)
        values.insert(values.end(), {segments.firstRate[i], segments.slope[i], segments.steps[i]});
    return values;
}

}  // namespace

TEST_F(ProfileFiles, ASavedProfileIsLoadedAfterARestartAndPlaysAsCorvexctlPlaysIt) {
    const QString path = folder.filePath(QStringLiteral("ramp.csv"));
    // A home without a Documents folder: the first dialog proposes the home itself.
    struct HomeBack {
        const QByteArray home = qgetenv("HOME");
        ~HomeBack() { qputenv("HOME", home); }
    } homeBack;
    qputenv("HOME", folder.path().toLocal8Bit());
    openPortFromMainWindow();
    TMtr *w = openMotor(1);
    std::vector<int> drawn;
    withModal(w->BitBtn1, [&](QWidget *window) {
        auto *editor = qobject_cast<TProfile *>(window);
        ASSERT_NE(editor, nullptr);
        segment(editor, {20, 250}, {100, 150});
        segment(editor, {100, 150}, {250, 150});
        segment(editor, {250, 150}, {320, 262});
        drawn = table(editor->segments());
        QString proposed, name;
        whenFileDialogShows(path, &proposed, &name);
        click(editor->SaveProf1);
        EXPECT_EQ(proposed, QDir(folder.path()).absolutePath());
        EXPECT_EQ(name.toStdString(), "") << "a folder that is not there was offered as the name";
    });
    ASSERT_EQ(drawn.size(), 9u);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    ASSERT_EQ(lines.size(), 5);  // the header, three segments, and the end of the last line
    EXPECT_EQ(lines[0], "Speed ,Acce., Step N.");
    EXPECT_EQ(lines[1], QStringLiteral("%1,%2,%3").arg(drawn[0]).arg(drawn[1]).arg(drawn[2]));
    click(w->MDClose1);

    restartProgram();
    openPortFromMainWindow();
    w = openMotor(1);
    withModal(w->BitBtn1, [&](QWidget *window) {
        auto *editor = qobject_cast<TProfile *>(window);
        ASSERT_NE(editor, nullptr);
        QString shownFolder;
        whenFileDialogShows(path, &shownFolder);
        click(editor->LoadProf1);
        EXPECT_EQ(shownFolder, QDir(folder.path()).absolutePath()) << "the last folder is kept";
        EXPECT_EQ(table(editor->segments()), drawn);
        EXPECT_EQ(editor->Memo1->toPlainText().split(QLatin1Char('\n')).size(), 4);
        click(editor->Return1);
    });
    EXPECT_TRUE(boxes.shown.empty());

    // Played: queued in the FIFO with the profile mode on, the motor runs it.
    click(w->MDEFIFO1);
    sim().clearTranscript();
    click(w->MDEXEP1);
    const Frames played = fifoFrames();
    ASSERT_EQ(played.size(), 9u);
    EXPECT_EQ(played[0], "_0&F" + std::to_string(drawn[0]));
    EXPECT_TRUE(QTest::qWaitFor([this] { return sim().station(0).position != 0; }, 3000));
    click(w->Stop1);
    click(mainControl<QToolButton>("MCloseSP"));

#ifdef CORVEXCTL_PROGRAM_PATH
    sim().clearTranscript();
    QProcess corvexctl;
    corvexctl.start(QStringLiteral(CORVEXCTL_PROGRAM_PATH),
                    {QStringLiteral("--device"), QString::fromStdString(sim().slavePath()),
                     QStringLiteral("profile"), QStringLiteral("0"), path});
    ASSERT_TRUE(corvexctl.waitForFinished(30000));
    EXPECT_EQ(corvexctl.exitCode(), 0) << corvexctl.readAllStandardError().toStdString();
    EXPECT_EQ(fifoFrames(), played);
#else
    GTEST_SKIP() << "corvexctl is not built here";
#endif
}

TEST_F(ProfileFiles, AMalformedFileIsRefusedWithItsLineAndTheProfileOnScreenStays) {
    auto *editor = demo::createWindow(demo::program().windows.Profile);
    editor->setMotorNumber(QStringLiteral("2"));
    editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor));
    segment(editor, {20, 200}, {80, 120});
    segment(editor, {80, 120}, {160, 120});
    const std::vector<int> onScreen = table(editor->segments());
    const QImage picture = editor->Image->picture();

    writeFile(QStringLiteral("bad.csv"), "Speed ,Acce., Step N.\n200,2,300\n200,300,10\n");
    whenFileDialogShows(folder.filePath(QStringLiteral("bad.csv")));
    click(editor->LoadProf1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral(" Motor Profile"));
    EXPECT_TRUE(boxes.shown[0].text.contains(
        QStringLiteral("line 3: slope '300' is not a whole number -256..255")))
        << boxes.shown[0].text.toStdString();
    EXPECT_EQ(table(editor->segments()), onScreen);
    EXPECT_EQ(editor->Image->picture(), picture);

    // More than a motor takes, no segment at all, and no file at all.
    QByteArray many;
    for (int i = 0; i <= demo::kMaxSegments; ++i) many += "300,0,8\n";
    writeFile(QStringLiteral("many.csv"), many);
    writeFile(QStringLiteral("empty.csv"), "# nothing yet\n");
    const std::pair<const char *, const char *> refused[] = {
        {"many.csv", "it holds 101 segments"},
        {"empty.csv", "no segment in the file"},
        {"", "it is not a file"}};
    for (const auto &[name, reason] : refused) {
        boxes.shown.clear();
        EXPECT_FALSE(editor->loadProfile(folder.filePath(QLatin1String(name))));
        ASSERT_EQ(boxes.shown.size(), 1u) << name;
        EXPECT_TRUE(boxes.shown[0].text.contains(QLatin1String(reason))) << name;
        EXPECT_EQ(table(editor->segments()), onScreen) << name;
    }

    // A sound file replaces the profile and is drawn and listed.
    writeFile(QStringLiteral("good.csv"), "\xEF\xBB\xBF# ramp\n200,2,300\n800,0,400\n");
    boxes.shown.clear();
    EXPECT_TRUE(editor->loadProfile(folder.filePath(QStringLiteral("good.csv"))));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(table(editor->segments()), (std::vector<int>{200, 2, 300, 800, 0, 400}));
    EXPECT_NE(editor->Image->picture(), picture);
    EXPECT_EQ(editor->Memo1->toPlainText(),
              QStringLiteral("Speed ,Acce., Step N.\n200,2,300\n800,0,400"));

    // Nothing to save, and a folder that is not there: refused, and no file is left.
    click(editor->BitBtn1);  // Clear Process
    EXPECT_FALSE(editor->saveProfile(folder.filePath(QStringLiteral("none.csv"))));
    EXPECT_TRUE(boxes.shown.back().text.contains(QStringLiteral("holds no segment")));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("none.csv"))));
    segment(editor, {20, 200}, {80, 120});
    EXPECT_FALSE(editor->saveProfile(folder.filePath(QStringLiteral("missing/ramp.csv"))));
    EXPECT_TRUE(boxes.shown.back().text.contains(QStringLiteral("could not be written")));
}
