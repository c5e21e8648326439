// SPDX-License-Identifier: MIT
// The main window against the simulator: opening and closing the port, the scan and the
// state of the controls, board initialisation, the windows it opens.
#include <chrono>
#include <vector>

#include <QAction>
#include <QPaintEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include "gui_fixture.h"
#include "help_window.h"
#include "window_placement.h"
#include "motor_window.h"

using namespace guitest;

namespace {

const QString kNoControllers = QStringLiteral("N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,");

const char *const kPortControls[] = {
    "MChangeSP", "Maddr",   "MCurrent", "MCtrCon", "MBInit",       "VIewADD",    "GETC",
    "INITB",     "CurrW",   "IO",       "ADCB",    "MBTriggerAll", "MBPauseAll", "JOGALLCCW",
    "JOGALLCW",  "STOPALL", "CCWALL",   "CWALL",   "StatusReg"};

std::vector<int> foundAddresses() {
    std::vector<int> found;
    for (int a = 0; a < 16; ++a)
        if (demo::program().AddrFound[a] != -1) found.push_back(demo::program().AddrFound[a]);
    return found;
}

// Watches, through the whole application, when the port dialog hides and which parts of the
// main window are painted when.
class PaintWatch : public QObject {
public:
    struct Paint {
        std::chrono::steady_clock::time_point at;
        QRect area;  // around what the window repainted of itself
    };

    explicit PaintWatch(QWidget *main) : main_(main) { qApp->installEventFilter(this); }
    ~PaintWatch() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject *object, QEvent *event) override {
        if (event->type() == QEvent::Paint && object == main_)
            paints.push_back({std::chrono::steady_clock::now(),
                              static_cast<QPaintEvent *>(event)->region().boundingRect()});
        if (event->type() == QEvent::Hide && object->objectName() == QLatin1String("Form2")) {
            dialogHidden = std::chrono::steady_clock::now();
            dialogArea = static_cast<QWidget *>(object)->frameGeometry();
        }
        return false;
    }

    std::vector<Paint> paints;
    std::chrono::steady_clock::time_point dialogHidden;
    QRect dialogArea;  // on the screen

private:
    QWidget *main_;
};

}  // namespace

TEST_F(GuiTest, CaptionAndNoteShowTheProgramsShortVersion) {
    EXPECT_EQ(form1()->windowTitle(),
              QStringLiteral(
                  "  CorvexLink  SERIES   Demo  Version: 2.11    \" Zelmar Electronics Inc.\""));
    EXPECT_EQ(mainControl<QLabel>("Label3")->text(),
              QStringLiteral("When Open Port, or ring phone (Speed Button) is selected,both "
                             "procedures use PortConfigure function,  \nfrom CorvexLink.DLL. "
                             "The DEMO V2,11  the maximum  baud rate supported is 38400."));
}

TEST_F(GuiTest, OpeningThroughThePortDialogScansAndEnablesTheFoundMotors) {
    for (const char *name : kPortControls) EXPECT_FALSE(mainControl(name)->isEnabled()) << name;
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral("Connection:"));
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(), kNoControllers);

    openPortFromMainWindow();

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(),
              QStringLiteral("0,1,2,3,N,N,N,N,N,N,N,N,N,N,N,N"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Opened at: 9600"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->palette().color(QPalette::Window), QColor(0, 128, 0));
    EXPECT_EQ(motorButtons(), "11110000");
    for (const char *name : kPortControls) EXPECT_TRUE(mainControl(name)->isEnabled()) << name;
    EXPECT_EQ(foundAddresses(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(sim().hostBaudRate(), 9600);
}

TEST_F(GuiTest, ClosingAndReopeningKeepsTheFoundMotorsAndReportsAStationThatWentSilent) {
    openPortFromMainWindow();
    click(mainControl<QToolButton>("MCloseSP"));

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Closed"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(), kNoControllers);
    for (const char *name : kPortControls) EXPECT_FALSE(mainControl(name)->isEnabled()) << name;
    EXPECT_EQ(motorButtons(), "11110000");
    EXPECT_EQ(foundAddresses(), (std::vector<int>{0, 1, 2, 3}));

    // A station that no longer answers keeps its motor button and its AddrFound entry.
    sim().setSilent(3, true);
    openPortFromMainWindow();
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(),
              QStringLiteral("0,1,2,N,N,N,N,N,N,N,N,N,N,N,N,N"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Opened at: 9600"));
    EXPECT_EQ(motorButtons(), "11110000");
    EXPECT_EQ(foundAddresses(), (std::vector<int>{0, 1, 2, 3}));
    for (const char *name : kPortControls) EXPECT_TRUE(mainControl(name)->isEnabled()) << name;
}

TEST_F(GuiTest, ClosingBeforeAnyOpenShowsTheLibraryTextAndChangesNothing) {
    click(mainControl<QToolButton>("MCloseSP"));
    form1()->CloseSerialPort1->trigger();

    ASSERT_EQ(boxes.shown.size(), 2u);
    for (const demo::ShownBox &box : boxes.shown) {
        EXPECT_EQ(box.title, QStringLiteral(" ERROR in Close the Serial Port"));
        EXPECT_EQ(box.text, QStringLiteral("COM port is NOT open"));
        EXPECT_EQ(box.icon, demo::BoxIcon::Error);
    }
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral("Connection:"));
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(), kNoControllers);
    for (const char *name : kPortControls) EXPECT_FALSE(mainControl(name)->isEnabled()) << name;
    EXPECT_TRUE(mainControl("MOpenP")->isEnabled());
    EXPECT_TRUE(mainControl("MCloseSP")->isEnabled());
}

TEST_F(GuiTest, AFailedOpenShowsTheLibraryTextAndLeavesThePortClosed) {
    ::setenv("CORVEXLINK_COM1", "/nonexistent/corvexlink-com1", 1);
    openPortFromMainWindow();

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral(" ERROR in Open Port"));
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Unable to open COM port"));
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral("Connection:"));
    EXPECT_EQ(motorButtons(), "00000000");
    for (const char *name : kPortControls) EXPECT_FALSE(mainControl(name)->isEnabled()) << name;
}

class GuiTestAddressOne : public GuiTestWith<1> {};

TEST_F(GuiTestAddressOne, OnlyTheMotorOfTheAnsweringAddressIsEnabled) {
    openPortFromMainWindow();
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(),
              QStringLiteral("N,1,N,N,N,N,N,N,N,N,N,N,N,N,N,N"));
    EXPECT_EQ(motorButtons(), "01000000");
    EXPECT_EQ(foundAddresses(), (std::vector<int>{1}));
}

class GuiTestUpperAddresses : public GuiTestWith<8, 9, 10, 11, 12, 13, 14, 15> {};

TEST_F(GuiTestUpperAddresses, AddressesEightToFifteenAreRecordedButEnableNoMotor) {
    openPortFromMainWindow();
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text(),
              QStringLiteral("N,N,N,N,N,N,N,N,8,9,10,11,12,13,14,15"));
    EXPECT_EQ(motorButtons(), "00000000");
    EXPECT_EQ(foundAddresses(), (std::vector<int>{8, 9, 10, 11, 12, 13, 14, 15}));
}

TEST_F(GuiTest, BoardInitialisationSucceedsSilentlyAndReportsAFailingStation) {
    openPortFromMainWindow();
    sim().clearTranscript();
    click(mainControl<QPushButton>("INITB"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(sim().frameTexts().empty()) << "nothing was sent to the stations";

    sim().setSilent(2, true);
    click(mainControl<QToolButton>("MBInit"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral(" ERROR in Init All the Stations"));
    EXPECT_EQ(boxes.shown[0].text, QString::fromLatin1(ZelmarGetErrorMessage()));
    EXPECT_FALSE(boxes.shown[0].text.isEmpty());
    EXPECT_EQ(boxes.shown[0].icon, demo::BoxIcon::Error);
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Opened at: 9600"));
}

TEST_F(GuiTest, EveryWayOfClosingThePortFirstStopsThePollingOfEveryMotorWindow) {
    openPortFromMainWindow();
    demo::TMtr *firstMotor3 = demo::program().windows.Mtr[2];
    click(mainControl<QPushButton>("MBMotor3"));
    ASSERT_NE(firstMotor3, demo::program().windows.Mtr[2]);
    const std::pair<const char *, std::function<void()>> closes[] = {
        {"the tool button", [this] { click(mainControl<QToolButton>("MCloseSP")); }},
        {"the menu item", [this] { form1()->CloseSerialPort1->trigger(); }},
        {"Exit", [this] { form1()->Exit1->trigger(); }},
        {"the window's close", [this] { form1()->close(); }},
    };
    for (const auto &[way, close] : closes) {
        openPortFromMainWindow();
        firstMotor3->Timer1->start(60000);
        for (demo::TMtr *window : demo::program().windows.Mtr) window->Timer1->start(60000);
        close();
        EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Closed"))
            << way;
        for (int m = 0; m < 8; ++m)
            EXPECT_FALSE(demo::program().windows.Mtr[m]->Timer1->isActive())
                << way << ", " << m + 1;
        EXPECT_FALSE(firstMotor3->Timer1->isActive()) << way;
    }
}

TEST_F(GuiTest, TheMainWindowIsRepaintedWhereThePortDialogWasBeforeTheScanStarts) {
    form1()->move(demo::availableArea(form1()).topLeft());
    PaintWatch watch(form1());
    openPortFromMainWindow();
    ASSERT_NE(watch.dialogArea, QRect()) << "the port dialog never hid";
    // The scan is the first wait under the busy pointer after the dialog.
    std::chrono::steady_clock::time_point scan{};
    for (const RecordedBoxes::CursorChange &change : boxes.cursorChanges)
        if (change.at > watch.dialogHidden && change.shape == Qt::WaitCursor) {
            scan = change.at;
            break;
        }
    ASSERT_NE(scan, std::chrono::steady_clock::time_point{}) << "no scan under the busy pointer";
    const QRect covered(form1()->mapFromGlobal(watch.dialogArea.topLeft()),
                        watch.dialogArea.size());
    const QRect stale = covered.intersected(form1()->rect());
    ASSERT_FALSE(stale.isEmpty()) << "the dialog did not stand over the main window";
    bool repainted = false;
    for (const PaintWatch::Paint &paint : watch.paints)
        if (paint.at > watch.dialogHidden && paint.at < scan && paint.area.contains(stale))
            repainted = true;
    EXPECT_TRUE(repainted) << watch.paints.size() << " paints of the main window";
    EXPECT_EQ(mainControl<QLabel>("MBMotorConn")->text().left(8), QStringLiteral("0,1,2,3,"));
}

TEST_F(GuiTest, ClosingTheMainWindowClosesThePortWithoutAnyMessage) {
    openPortFromMainWindow();
    form1()->close();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(mainControl<QLabel>("Bar1")->text(), QStringLiteral(" Serial Port Closed"));
    EXPECT_FALSE(mainControl("MChangeSP")->isEnabled());
    EXPECT_EQ(PortClose(), -1) << "the port was still open";

    // Without an open port, neither closing nor Exit says anything.
    form1()->Exit1->trigger();
    form1()->close();
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(GuiTest, TheBaudRateEntriesOfTheMenuDoNothing) {
    openPortFromMainWindow();
    sim().clearTranscript();
    for (QAction *item : form1()->BaudRateItems) item->trigger();
    EXPECT_TRUE(sim().frameTexts().empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(ZelmarGetBaudRate(), 9600);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(form1()->BaudRateItems[i]->isEnabled(), i < 3) << i;
}

TEST_F(GuiTest, TheHelpItemShowsTheReferenceOfTheExports) {
    form1()->DLLCommandsInformation1->trigger();
    ASSERT_TRUE(boxes.shown.empty()) << boxes.shown[0].text.toStdString();
    demo::THelpViewer *viewer = demo::program().windows.Help;
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    // The overview: the conventions, the error numbers and a link to each export family.
    const QString overview = viewer->Browser->toPlainText();
    for (const char *text : {"Conventions", "Address texts", "Unable to open COM port",
                             "Stored program and FIFO", "Serial devices"})
        EXPECT_TRUE(overview.contains(QLatin1String(text))) << text;
    // The family pages, reached through the overview's links, document their exports.
    const struct {
        const char *page;
        std::vector<const char *> names;
    } families[] = {
        {"group__corvexlink-port.html", {"PortConfigure", "Form2"}},
        {"group__corvexlink-discovery.html", {"GetConnectedControllers", "MotorStationsInit"}},
        {"group__corvexlink-fifo.html", {"FIFOMotorWait"}},
        {"group__corvexlink-devices.html", {"PortList", "PortDevice"}},
        {"group__corvexlink-diagnostics.html", {"CorvexLinkSetDebugHandler"}},
    };
    const QString overviewHtml = viewer->Browser->toHtml();
    for (const auto &family : families) {
        EXPECT_TRUE(overviewHtml.contains(QLatin1String(family.page))) << family.page;
        viewer->Browser->setSource(QUrl(QLatin1String(family.page)));
        const QString page = viewer->Browser->toPlainText();
        for (const char *name : family.names)
            EXPECT_TRUE(page.contains(QLatin1String(name))) << family.page << ": " << name;
        viewer->Browser->backward();
    }
}
