// SPDX-License-Identifier: MIT
#include "main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "demo_version.h"
#include "about_window.h"
#include "adc_window.h"
#include "all_motors.h"
#include "address_dialog.h"
#include "baud_rate_dialog.h"
#include "current_window.h"
#include "digital_io_window.h"
#include "help_window.h"
#include "line_wait.h"
#include "message_box.h"
#include "motor_window.h"
#include "pictures.h"
#include "program.h"
#include "settings.h"
#include "status_panels.h"
#include "status_window.h"
#include "stop_keys.h"
#include "widget_builders.h"
#include "window_placement.h"
#include "window_size.h"

namespace demo {
namespace {

const QString kNoControllers = QStringLiteral("N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,N,");
constexpr int kButtonHeight = 28;

QToolButton *toolButton(QWidget *parent, const char *name, ToolPicture picture,
                        const QString &hint) {
    auto *button = named(new QToolButton(parent), name);
    button->setIcon(toolPicture(picture));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(44, 44);
    button->setToolTip(hint);
    return button;
}

QFrame *toolPanel(QWidget *parent, const char *name, std::initializer_list<QToolButton *> buttons) {
    auto *panel = named(new QFrame(parent), name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto *layout = new QHBoxLayout(panel);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    for (QToolButton *button : buttons) {
        button->setParent(panel);
        layout->addWidget(button);
    }
    return panel;
}

void setColours(QWidget *widget, const QColor &background, const QColor &text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFont boldFont(const QWidget *widget) {
    QFont font = widget->font();
    font.setBold(true);
    return font;
}

// The profile editor's grid picture lives in the user's cache folder, never in the folder
// the program was started from.
QString gridBitmapPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty()) folder = QDir::tempPath() + QStringLiteral("/CorvexLink");
    return folder + QStringLiteral("/Grid2.bmp");
}

}  // namespace

TForm1::TForm1(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("  CorvexLink  SERIES   Demo  Version: " DEMO_SHORT_VERSION
                                  "    \" Zelmar Electronics Inc.\""));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    program().GridBitmapPath = gridBitmapPath();

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(8);
    setCentralWidget(central);
    buildToolPanels(central);
    buildGroups(central);
    buildMenu();

    portToolButtons_ = {MChangeSP, Maddr, MCurrent, MCtrCon, MBInit};
    portPanelButtons_ = {VIewADD,    GETC,      INITB,    CurrW,   IO,     ADCB,  MBTriggerAll,
                         MBPauseAll, JOGALLCCW, JOGALLCW, STOPALL, CCWALL, CWALL, StatusReg};
    for (QWidget *control : portToolButtons_) control->setEnabled(false);
    for (QWidget *control : portPanelButtons_) control->setEnabled(false);
    for (QPushButton *button : MBMotor) button->setEnabled(false);

    placeOnScreen();
    // Where the window stood when the program last ended, if its frame, as the window system
    // drew it then, is whole on a screen there.
    const std::optional<WindowPlace> &place = program().remembered.mainWindowPlace;
    if (place && placeFits(*place, size(), frameAllowance(font()))) move(place->corner);
}

void TForm1::placeOnScreen() {
    const QRect available = availableArea(this);
    const QSize natural = sizeHint();
    const QSize frame = frameAllowance(font());
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const ScreenFit fit = fitOnScreen(natural, frame, available.size(), scrollBar);
    if (!fit.scrolls) {
        // The window keeps the size its layout asks for, in the middle of the screen.
        setFixedSize(fit.size);
        move(available.center() - rect().center());
        return;
    }
    // A screen too small for the window (a large scale on a small screen): the window fits
    // the screen's available area and its content scrolls; it can be made larger up to the
    // size that shows everything, or smaller.
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("MainScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    QWidget *content = takeCentralWidget();
    // The connection bar, with the port's state, stands below the content that scrolls, so
    // it is always in view.
    content->layout()->removeWidget(Bar1);
    scroll->setWidget(content);
    auto *window = new QWidget(this);
    auto *column = new QVBoxLayout(window);
    const QMargins margins = content->layout()->contentsMargins();
    column->setContentsMargins(0, 0, 0, margins.bottom());
    column->setSpacing(4);
    column->addWidget(scroll, 1);
    auto *barRow = new QHBoxLayout;
    barRow->setContentsMargins(margins.left(), 0, margins.right(), 0);
    barRow->addWidget(Bar1);
    barRow->addStretch(1);
    column->addLayout(barRow);
    setCentralWidget(window);
    setMaximumSize(natural + QSize(scrollBar, scrollBar));
    resize(fit.size);
    move(centredOver(available, fit.size + frame, available));
}

void TForm1::buildToolPanels(QWidget *central) {
    auto *layout = static_cast<QVBoxLayout *>(central->layout());

    MOpenP = toolButton(central, "MOpenP", ToolPicture::OpenPort,
                        QStringLiteral("Open the Serial Port"));
    MChangeSP = toolButton(
        central, "MChangeSP", ToolPicture::ChangeRate,
        QStringLiteral("Change the Baud Rate for the Serial port and the Corvex-B Booards"));
    MCloseSP = toolButton(central, "MCloseSP", ToolPicture::ClosePort,
                          QStringLiteral("Close the Serial Port"));
    Maddr = toolButton(
        central, "Maddr", ToolPicture::Address,
        QStringLiteral("Set the Addres ( S1, S2, S3, S4 jumpers) for all the Stations  "));
    MCtrCon = toolButton(central, "MCtrCon", ToolPicture::Controllers,
                         QStringLiteral("Get the KX4417 Controllers Connected"));
    MBInit = toolButton(central, "MBInit", ToolPicture::Init,
                        QStringLiteral("Initialization of the Stepper Controller Board"));
    MCurrent = toolButton(central, "MCurrent", ToolPicture::Current,
                          QStringLiteral("Set the Winding Current for all the Motors"));
    MComm1 = toolPanel(central, "MComm1", {MOpenP, MChangeSP, MCloseSP});
    PanM = toolPanel(central, "PanM", {Maddr, MCtrCon, MBInit, MCurrent});

    auto *panels = new QGridLayout;
    panels->addWidget(new QLabel(QStringLiteral("Communiction Procedures:"), central), 0, 0);
    panels->addWidget(MComm1, 1, 0, Qt::AlignLeft);
    panels->addWidget(new QLabel(QStringLiteral("Setting and Initialization :"), central), 0, 2);
    panels->addWidget(PanM, 1, 2, Qt::AlignLeft);
    panels->setColumnStretch(1, 1);
    panels->setColumnStretch(3, 2);
    layout->addLayout(panels);

    connect(MOpenP, &QToolButton::clicked, this, &TForm1::MOpenPClick);
    connect(MChangeSP, &QToolButton::clicked, this, &TForm1::MChangeSPClick);
    connect(MCloseSP, &QToolButton::clicked, this, &TForm1::MCloseSPClick);
    connect(Maddr, &QToolButton::clicked, this, &TForm1::MaddrClick);
    connect(MCtrCon, &QToolButton::clicked, this, &TForm1::MCtrConClick);
    connect(MBInit, &QToolButton::clicked, this, &TForm1::INITBClick);
    connect(MCurrent, &QToolButton::clicked, this, &TForm1::MCurrentClick);

    auto *note = new QLabel(
        QStringLiteral(
            "When Open Port, or ring phone (Speed Button) is selected,both procedures use "
            "PortConfigure function,  \n"
            "from CorvexLink.DLL. The DEMO V" DEMO_SHORT_VERSION_COMMA
            "  the maximum  baud rate supported is 38400."),
        central);
    note->setObjectName(QStringLiteral("Label3"));
    layout->addWidget(note);

    auto *addressRow = new QHBoxLayout;
    auto *addressLabel =
        named(new QLabel(QStringLiteral("KX4417 CONTROLLERS ADDRESS FOUND:"), central), "Label1");
    addressLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    addressLabel->setMargin(3);
    MBMotorConn = named(new QLabel(kNoControllers, central), "MBMotorConn");
    MBMotorConn->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MBMotorConn->setMargin(3);
    MBMotorConn->setFont(boldFont(MBMotorConn));
    setColours(MBMotorConn, QColor(128, 128, 128), QColor(0, 255, 255));
    addressRow->addWidget(addressLabel);
    addressRow->addWidget(MBMotorConn, 1);
    layout->addLayout(addressRow);
}

void TForm1::buildGroups(QWidget *central) {
    auto *layout = static_cast<QVBoxLayout *>(central->layout());

    InitGroup =
        named(new QGroupBox(
                  QStringLiteral(
                      "Initialization  Functions, Please Do \"Board Initialization \" First   "),
                  central),
              "GroupBox1");
    auto *init = new QGridLayout(InitGroup);
    VIewADD =
        pushButton(InitGroup, "VIewADD", QStringLiteral("&View Address Setting"), kButtonHeight);
    GETC =
        pushButton(InitGroup, "GETC", QStringLiteral("&Get Connected Controllers"), kButtonHeight);
    INITB = pushButton(InitGroup, "INITB", QStringLiteral(" Board &Initialization"), kButtonHeight);
    CurrW = pushButton(InitGroup, "CurrW", QStringLiteral("Winding &Current  "), kButtonHeight);
    IO = pushButton(InitGroup, "IO", QStringLiteral("&Configure Digital IO"), kButtonHeight);
    ADCB = pushButton(InitGroup, "ADCB", QStringLiteral("&Analog D. Converter"), kButtonHeight);
    const std::array<QPushButton *, 6> initButtons{VIewADD, GETC, INITB, CurrW, IO, ADCB};
    for (int i = 0; i < 6; ++i) init->addWidget(initButtons[i], i / 3, i % 3);
    layout->addWidget(InitGroup);
    connect(VIewADD, &QPushButton::clicked, this, &TForm1::MaddrClick);
    connect(GETC, &QPushButton::clicked, this, &TForm1::MCtrConClick);
    connect(INITB, &QPushButton::clicked, this, &TForm1::INITBClick);
    connect(CurrW, &QPushButton::clicked, this, &TForm1::MCurrentClick);
    connect(IO, &QPushButton::clicked, this, &TForm1::IOClick);
    connect(ADCB, &QPushButton::clicked, this, &TForm1::ADCBClick);

    MotorGroup =
        named(new QGroupBox(QStringLiteral("Motor Controller Desktops  "), central), "GroupBox2");
    auto *motors = new QGridLayout(MotorGroup);
    for (int m = 1; m <= kMotors; ++m) {
        QPushButton *button =
            pushButton(MotorGroup, "", QStringLiteral("Motor &%1").arg(m), kButtonHeight);
        button->setObjectName(QStringLiteral("MBMotor%1").arg(m));
        MBMotor[m - 1] = button;
        motors->addWidget(button, (m - 1) / 4, (m - 1) % 4);
        connect(button, &QPushButton::clicked, this, [this, m] { MBMotorClick(m); });
    }
    motors->addWidget(
        new QLabel(QStringLiteral("This Version Controls until 8 Axes only,  "), MotorGroup), 2, 0,
        1, 4);
    motors->addWidget(
        new QLabel(
            QStringLiteral("Controllers Address : \"0\" \"1\" \"2\" \"3\" \"4\" \"5\" \"6\" \"7\""),
            MotorGroup),
        3, 0, 1, 4);
    layout->addWidget(MotorGroup);

    BoardGroup =
        named(new QGroupBox(QStringLiteral("Board Control Panel  "), central), "GroupBox3");
    auto *board = new QGridLayout(BoardGroup);
    board->addWidget(new QLabel(QStringLiteral("Parameters:- Step to Go: 1000,-Slew Rate: 600 "
                                               "Step/s,-Accel/Decel: 1,-First Rate: 50 Step/Sec"),
                                BoardGroup),
                     0, 0, 1, 4);
    MBTriggerAll =
        pushButton(BoardGroup, "MBTriggerAll", QStringLiteral("&TRIGGER ALL-ON-"), kButtonHeight);
    MBPauseAll =
        pushButton(BoardGroup, "MBPauseAll", QStringLiteral("&PAUSE  -ALL- "), kButtonHeight);
    STOPALL = pushButton(BoardGroup, "STOPALL", QStringLiteral("&STOP -ALL-"), kButtonHeight,
                         QStringLiteral("Stops every motor found\n") + stopAllKeyHint());
    StatusReg = pushButton(BoardGroup, "StatusReg", QStringLiteral("View &Status Registers"),
                           kButtonHeight);
    CCWALL = pushButton(BoardGroup, "CCWALL", QStringLiteral("C&CW -ALL-"), kButtonHeight);
    CWALL = pushButton(BoardGroup, "CWALL", QStringLiteral("C&W  -ALL-"), kButtonHeight);
    JOGALLCCW = pushButton(BoardGroup, "JOGALLCCW", QStringLiteral("&JOG -ALL-"), kButtonHeight);
    JOGALLCW = pushButton(BoardGroup, "JOGALLCW", QStringLiteral("JOG -A&LL-"), kButtonHeight);
    const std::array<QPushButton *, 8> boardButtons{MBTriggerAll, MBPauseAll, STOPALL,   StatusReg,
                                                    CCWALL,       CWALL,      JOGALLCCW, JOGALLCW};
    for (int i = 0; i < 8; ++i) board->addWidget(boardButtons[i], 1 + i / 4, i % 4);
    connect(StatusReg, &QPushButton::clicked, this, &TForm1::StatusRegClick);
    connect(MBTriggerAll, &QPushButton::clicked, this, &TForm1::MBTriggerAllClick);
    connect(MBPauseAll, &QPushButton::clicked, this, &TForm1::MBPauseAllClick);
    connect(STOPALL, &QPushButton::clicked, this, &TForm1::STOPALLClick);
    connect(CWALL, &QPushButton::clicked, this, &TForm1::CWALLClick);
    connect(CCWALL, &QPushButton::clicked, this, &TForm1::CCWALLClick);
    connect(JOGALLCW, &QPushButton::clicked, this, [this] { JOGALLClick(1); });
    connect(JOGALLCCW, &QPushButton::clicked, this, [this] { JOGALLClick(0); });

    for (int b = 0; b < 4; ++b) {
        auto *bar = new StatusPanels(2, BoardGroup);
        bar->setObjectName(QStringLiteral("StatusBar%1").arg(b + 1));
        bar->setPanelWidth(0, 300);
        for (int i = 0; i < 2; ++i) {
            bar->panel(i)->setFont(boldFont(bar));
            bar->setText(i, QStringLiteral("Motor %1:").arg(2 * b + i + 1));
        }
        StatusBar[b] = bar;
        board->addWidget(bar, 3 + b, 0, 1, 4);
    }
    // The first bar's yellow text stands on a dark ground so it stays readable.
    for (int i = 0; i < 2; ++i)
        setColours(StatusBar[0]->panel(i), QColor(48, 52, 60), QColor(255, 255, 0));
    layout->addWidget(BoardGroup);

    Bar1 = named(new QLabel(QStringLiteral("Connection:"), central), "Bar1");
    Bar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bar1->setMargin(3);
    Bar1->setFont(boldFont(Bar1));
    Bar1->setMinimumWidth(300);
    layout->addWidget(Bar1, 0, Qt::AlignLeft);
}

void TForm1::buildMenu() {
    QMenuBar *bar = menuBar();
    Exit1 = named(bar->addAction(QStringLiteral("&Exit")), "Exit1");
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);

    SerialCommunication1 =
        named(bar->addMenu(QStringLiteral("&Serial Communication")), "SerialCommunication1");
    OpenSerialPort1 = named(SerialCommunication1->addAction(QStringLiteral("&Open Serial Port")),
                            "OpenSerialPort1");
    CloseSerialPort1 = named(SerialCommunication1->addAction(QStringLiteral("&Close Serial Port")),
                             "CloseSerialPort1");
    ChangeBaudRate1 = named(SerialCommunication1->addMenu(QStringLiteral("&Change Baud Rate")),
                            "ChangeBaudRate1");
    const char *rates[] = {"&9600", "&19200", "&38400", "&57600", "11&5200", "&230400"};
    for (int i = 0; i < 6; ++i) {
        BaudRateItems[i] = ChangeBaudRate1->addAction(QLatin1String(rates[i]));
        BaudRateItems[i]->setObjectName(QStringLiteral("BaudRate%1").arg(i + 1));
        BaudRateItems[i]->setEnabled(i < 3);
    }
    connect(OpenSerialPort1, &QAction::triggered, this, &TForm1::MOpenPClick);
    connect(CloseSerialPort1, &QAction::triggered, this, &TForm1::MCloseSPClick);

    SettingParameters1 =
        named(bar->addMenu(QStringLiteral("Set&ting Parameters")), "SettingParameters1");
    SettingWidingCurrent1 =
        named(SettingParameters1->addAction(QStringLiteral("Setting &Widing Current")),
              "SettingWidingCurrent1");
    AddressSetting1 =
        named(SettingParameters1->addAction(QStringLiteral("&Address Setting")), "AddressSetting1");
    SetADCChannels1 = named(SettingParameters1->addAction(QStringLiteral("Set &ADC Channels")),
                            "SetADCChannels1");
    SetIODigitals1 =
        named(SettingParameters1->addAction(QStringLiteral("Set  &IO Digitals")), "SetIODigitals1");
    SettingParameters1->addSeparator();
    RestoreDefaults1 =
        named(SettingParameters1->addAction(QStringLiteral("&Restore Default Settings")),
              "RestoreDefaults1");
    RestoreDefaults1->setToolTip(QStringLiteral(
        "Forgets the remembered port, move values, fields, currents and window places"));
    connect(SettingWidingCurrent1, &QAction::triggered, this, &TForm1::MCurrentClick);
    connect(RestoreDefaults1, &QAction::triggered, this, &TForm1::RestoreDefaults1Click);
    connect(AddressSetting1, &QAction::triggered, this, &TForm1::MaddrClick);
    connect(SetADCChannels1, &QAction::triggered, this, &TForm1::ADCBClick);
    connect(SetIODigitals1, &QAction::triggered, this, &TForm1::IOClick);

    Help1 = named(bar->addMenu(QStringLiteral("&Help")), "Help1");
    DLLCommandsInformation1 = named(Help1->addAction(QStringLiteral("&DLL Commands Information")),
                                    "DLLCommandsInformation1");
    OperatorsGuide1 =
        named(Help1->addAction(QStringLiteral("&Operator's Guide")), "OperatorsGuide1");
    About1 = named(Help1->addAction(QStringLiteral("&About")), "About1");
    connect(DLLCommandsInformation1, &QAction::triggered, this,
            &TForm1::DLLCommandsInformation1Click);
    connect(OperatorsGuide1, &QAction::triggered, this, &TForm1::OperatorsGuide1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
}

QLabel *TForm1::motorPanel(int motor) const {
    return StatusBar[(motor - 1) / 2]->panel((motor - 1) % 2);
}

void TForm1::setBar(const QColor &background, const QString &text) {
    setColours(Bar1, background, Qt::white);
    Bar1->setText(text);
}

void TForm1::showLineLost() {
    setBar(QColor(255, 0, 0), QStringLiteral(" Serial Line Lost: no answer on COM%1 at %2")
                                  .arg(ZelmarGetPort())
                                  .arg(ZelmarGetBaudRate()));
}

void TForm1::MOpenPClick() {
    // The dialog's own loop takes the choice up as soon as it shows.
    if (!portChoiceRestored_ && program().remembered.port > 0)
        QTimer::singleShot(0, this, &TForm1::choosePortInDialog);
    portChoiceRestored_ = true;
    if (PortConfigure() == -1) {
        libraryErrorBox(QStringLiteral(" ERROR in Open Port"));
        return;
    }
    rememberPortAndRate();
    RefreshConnectedControllers();
    setBar(QColor(0, 128, 0),
           QStringLiteral(" Serial Port Opened at: %1").arg(ZelmarGetBaudRate()));
    for (QWidget *control : portToolButtons_) control->setEnabled(true);
    for (QWidget *control : portPanelButtons_) control->setEnabled(true);
    for (TMtr *window : motorWindows()) window->resumePolling();
}

void TForm1::choosePortInDialog() {
    auto *dialog = static_cast<QWidget *>(Form2);
    if (!dialog) return;
    const RememberedSettings &remembered = program().remembered;
    // The dialog's items, chosen as the operator chooses them: each choice takes effect in
    // the library's selection at once.
    const auto rate = std::find(kDialogRates.begin(), kDialogRates.end(), remembered.baudRate) -
                      kDialogRates.begin();
    if (auto *item =
            dialog->findChild<QAbstractButton *>(QStringLiteral("RadioGroup1Item%1").arg(rate)))
        item->click();
    if (auto *port = dialog->findChild<QComboBox *>(QStringLiteral("Port1")))
        port->setCurrentIndex(remembered.port - 1);
}

void TForm1::RefreshConnectedControllers() {
    // Whatever a dialog that has just closed (the port dialog) left on the screen over this
    // window is painted over before the scan starts.
    repaint();
    // Every silent address costs the library's probe time: seconds in all, during which
    // the windows stay painted and the STOP keys and buttons act.
    char answer[64] = {};
    waitOnLine([&answer] { return GetConnectedControllers(answer); });
    const QString text = QString::fromLatin1(answer);
    MBMotorConn->setText(text);

    // Entry k of the answer is the address k or "N". Only an entry that names its own
    // address is recorded, so AddrFound never holds anything but -1 or its index.
    const QStringList entries = (text + QLatin1Char(',')).split(QLatin1Char(','));
    auto &found = program().AddrFound;
    for (int k = 0; k < kAddresses && k < entries.size(); ++k) {
        bool number = false;
        const int address = entries[k].toInt(&number, 10);
        if (number && address == k) found[k] = k;
    }
    for (int m = 1; m <= kMotors; ++m)
        if (found[m - 1] == m - 1) MBMotor[m - 1]->setEnabled(true);
}

void TForm1::stopMotorTimers() {
    // Every motor window, earlier windows of a motor included: a tick that ran on into the
    // close, or after it, would only raise an error box for a port that is gone. The live
    // reading ends too.
    for (TMtr *window : motorWindows()) {
        window->Timer1->stop();
        window->stopLive();
    }
}

void TForm1::rememberOnLeaving() {
    for (TMtr *window : motorWindows())
        if (window->isVisible()) window->rememberFields();
    program().remembered.mainWindowPlace = placeOf(this);
    saveSettings();
}

void TForm1::showPortClosed(bool allControls) {
    setBar(QColor(255, 0, 0), QStringLiteral(" Serial Port Closed"));
    for (QWidget *control : portToolButtons_) control->setEnabled(false);
    MBMotorConn->setText(kNoControllers);
    if (allControls)
        for (QWidget *control : portPanelButtons_) control->setEnabled(false);
}

void TForm1::MCloseSPClick() {
    stopMotorTimers();
    if (PortClose() == -1) {
        libraryErrorBox(QStringLiteral(" ERROR in Close the Serial Port"));
        return;
    }
    showPortClosed(true);
}

void TForm1::closeEvent(QCloseEvent *event) {
    rememberOnLeaving();
    stopMotorTimers();
    if (PortClose() == 1) showPortClosed(false);
    event->accept();
    // Closing the main window ends the program, also while motor windows are open.
    QCoreApplication::quit();
}

void TForm1::Exit1Click() {
    rememberOnLeaving();
    stopMotorTimers();
    if (PortClose() == 1) showPortClosed(false);
    QCoreApplication::quit();
}

void TForm1::INITBClick() {
    const LineResult initialised = waitOnLine(MotorStationsInit);
    if (initialised.result == -1)
        errorBox(QStringLiteral(" ERROR in Init All the Stations"), initialised.error);
}

void TForm1::MCtrConClick() { RefreshConnectedControllers(); }

void TForm1::MChangeSPClick() { createWindow(program().windows.Form4)->exec(); }

void TForm1::MaddrClick() { createWindow(program().windows.Form3)->exec(); }

void TForm1::MCurrentClick() { createWindow(program().windows.CurrentWin)->exec(); }

void TForm1::IOClick() { createWindow(program().windows.Form5)->exec(); }

void TForm1::ADCBClick() { createWindow(program().windows.ADC)->exec(); }

void TForm1::StatusRegClick() { createWindow(program().windows.Form6)->exec(); }

void TForm1::About1Click() { createWindow(program().windows.MBAbout)->exec(); }

void TForm1::MBMotorClick(int motor) {
    TMtr *window = createWindow(program().windows.Mtr[motor - 1], motor);
    // A motor window opens where the motor's last window stood, when its frame is whole on
    // a screen there and no other open motor window has that corner. Otherwise the first
    // motor window opens where it places itself (the screen's centre), and each further one
    // a step down and to the right of the last one still open, its whole frame on the screen.
    QWidget *last = nullptr;
    std::vector<QPoint> taken;
    for (const QPointer<QWidget> &opened : motorWindowsOpened_) {
        if (!opened || !opened->isVisible()) continue;
        last = opened;
        taken.push_back(opened->pos());
    }
    // The new window has not been shown, so its frame is not known yet: it gets the one the
    // window system gave the last window of its kind, or the one a frame usually takes. A
    // remembered place is checked with the frame the window had there.
    const QSize frame = last ? last->frameSize() - last->size() : frameAllowance(window->font());
    const std::optional<WindowPlace> &place = program().remembered.motorWindows[motor - 1].place;
    if (place && std::find(taken.begin(), taken.end(), place->corner) == taken.end() &&
        placeFits(*place, window->size(), frame))
        window->move(place->corner);
    else if (last)
        window->move(
            cascadedPosition(last->pos(), taken, window->size() + frame, availableArea(last)));
    std::erase_if(motorWindowsOpened_,
                  [](const QPointer<QWidget> &opened) { return !opened || !opened->isVisible(); });
    motorWindowsOpened_.push_back(window);
    window->show();
}

void TForm1::MBTriggerAllClick() { triggerAll(*this); }

void TForm1::MBPauseAllClick() { pauseAll(*this); }

void TForm1::STOPALLClick() { stopAll(*this); }

void TForm1::CWALLClick() { moveAll(*this, +1); }

void TForm1::CCWALLClick() { moveAll(*this, -1); }

void TForm1::JOGALLClick(int direction) { jogAll(*this, direction); }

void TForm1::RestoreDefaults1Click() {
    restoreDefaultSettings();
    // The open motor windows show the start-up values at once; nothing is sent.
    for (TMtr *window : motorWindows())
        if (window->isVisible()) window->showRememberedValues();
}

void TForm1::DLLCommandsInformation1Click() {
    const QString path = referencePath();
    if (path.isEmpty()) {
        errorBox(QStringLiteral(" ERROR in Help"),
                 QStringLiteral("The reference of the CorvexLink commands was not found in the "
                                "documentation folder."));
        return;
    }
    THelpViewer *&viewer = program().windows.Help;
    if (!viewer) createWindow(viewer);
    viewer->showReference(path);
}

void TForm1::OperatorsGuide1Click() {
    THelpViewer *&viewer = program().windows.Help;
    if (!viewer) createWindow(viewer);
    viewer->showGuide();
}

}  // namespace demo
