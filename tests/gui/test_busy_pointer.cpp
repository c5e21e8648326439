// SPDX-License-Identifier: MIT
// The busy pointer: shown over the windows while the program waits on the line for more
// than a moment (the scan, board initialisation, the address verification), taken back
// when the wait ends, and replaced by the normal pointer while a box waits for the user.
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "gui_fixture.h"
#include "radio_group.h"

using namespace guitest;
using Clock = std::chrono::steady_clock;

namespace {

class BusyPointer : public GuiTest {
protected:
    // The busy spans recorded so far: from each push of the busy pointer to its pop.
    std::vector<std::pair<Clock::time_point, Clock::time_point>> busySpans() {
        std::vector<std::pair<Clock::time_point, Clock::time_point>> spans;
        std::vector<std::pair<bool, Clock::time_point>> open;  // busy?, when pushed
        for (const RecordedBoxes::CursorChange &change : boxes.cursorChanges) {
            if (change.shape) {
                open.push_back({*change.shape == Qt::WaitCursor, change.at});
            } else if (!open.empty()) {
                if (open.back().first) spans.push_back({open.back().second, change.at});
                open.pop_back();
            }
        }
        EXPECT_TRUE(open.empty()) << "a pointer was left pushed";
        return spans;
    }
    // Whether every frame the simulator received lies inside one of the busy spans.
    ::testing::AssertionResult framesInsideBusySpans() {
        const auto spans = busySpans();
        const std::vector<kx4417::Frame> frames = sim().frames();
        if (frames.empty()) return ::testing::AssertionFailure() << "no frames";
        for (const kx4417::Frame &frame : frames) {
            bool inside = false;
            for (const auto &[from, to] : spans)
                inside = inside || (frame.at >= from && frame.at <= to);
            if (!inside)
                return ::testing::AssertionFailure()
                       << "frame " << frame.bytes << " went out with the normal pointer";
        }
        return ::testing::AssertionSuccess();
    }
};

}  // namespace

TEST_F(BusyPointer, TheScanShowsTheBusyPointerForAllItsProbesAndTakesItBack) {
    openPortFromMainWindow();
    sim().clearTranscript();
    boxes.cursorChanges.clear();

    click(mainControl<QPushButton>("GETC"));
    EXPECT_EQ(boxes.cursorChanges.size(), 2u);
    EXPECT_EQ(busySpans().size(), 1u);
    EXPECT_GE(sim().frames().size(), 16u);
    EXPECT_TRUE(framesInsideBusySpans());
    EXPECT_EQ(boxes.cursor(), Qt::ArrowCursor);
}

TEST_F(BusyPointer, BoardInitialisationShowsTheBusyPointerAndAFailureBoxTheNormalOne) {
    openPortFromMainWindow();
    sim().clearTranscript();
    boxes.cursorChanges.clear();
    click(mainControl<QPushButton>("INITB"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(busySpans().size(), 1u);
    EXPECT_TRUE(framesInsideBusySpans());

    // A silent station makes it fail; its box comes after the wait.
    sim().setSilent(0, true);
    std::vector<Qt::CursorShape> pointerDuringBox;
    boxes.onShow = [&](const demo::ShownBox &) { pointerDuringBox.push_back(boxes.cursor()); };
    click(mainControl<QPushButton>("INITB"));
    boxes.onShow = nullptr;
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral(" ERROR in Init All the Stations"));
    EXPECT_EQ(pointerDuringBox, std::vector<Qt::CursorShape>{Qt::ArrowCursor});
    EXPECT_TRUE(boxes.cursors.empty());
}

TEST_F(BusyPointer, VerificationIsBusyDuringTheProbesAndNotWhileItsBoxWaits) {
    openPortFromMainWindow();
    std::vector<Qt::CursorShape> pointerDuringBox;
    withModal(mainControl<QToolButton>("Maddr"), [&](QWidget *dialog) {
        click(child<demo::RadioGroup>(dialog, "Station1")->item(1));
        sim().clearTranscript();
        boxes.cursorChanges.clear();
        boxes.onShow = [&](const demo::ShownBox &) { pointerDuringBox.push_back(boxes.cursor()); };
        click(child<QPushButton>(dialog, "VerifyAddr"));
        boxes.onShow = nullptr;
    });
    EXPECT_EQ(pointerDuringBox, (std::vector<Qt::CursorShape>{Qt::ArrowCursor, Qt::ArrowCursor}));
    EXPECT_EQ(sim().frames().size(), 8u);  // two boards of four probes
    EXPECT_TRUE(framesInsideBusySpans());
    EXPECT_TRUE(boxes.cursors.empty());
}

TEST_F(BusyPointer, StatusReadsOfSeveralMotorsAreBusyAndAFailureEndsTheWait) {
    openPortFromMainWindow();
    sim().setSilent(1, true);
    withModal(mainControl<QPushButton>("StatusReg"), [&](QWidget *dialog) {
        sim().clearTranscript();
        boxes.cursorChanges.clear();
        click(child<QPushButton>(dialog, "StatusB"));
    });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("MOTOR 2"));
    EXPECT_TRUE(framesInsideBusySpans());
    EXPECT_TRUE(boxes.cursors.empty());
}
