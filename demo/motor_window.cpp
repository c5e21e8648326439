// SPDX-License-Identifier: MIT
#include "motor_window.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "field_updown.h"
#include "line_wait.h"
#include "main_window.h"
#include "message_box.h"
#include "motor_commands.h"
#include "profile_editor.h"
#include "radio_group.h"
#include "settings.h"
#include "status_lamp.h"
#include "status_panels.h"
#include "stop_keys.h"
#include "widget_builders.h"
#include "window_placement.h"
#include "window_size.h"

namespace demo {
namespace {

constexpr int kEnableHomeItem = 0;
constexpr int kDisableHomeItem = 1;

constexpr int kFreeFifoPanel = 4;
constexpr int kButtonHeight = 26;
// The live reading's interval: about twice a second.
constexpr int kLiveMs = 500;

const char *const kPauseOn = "&PAUSE -ON-";
const char *const kPauseOff = "&PAUSE -OFF-";
const char *const kPowerOn = "POW&ER -ON-";
const char *const kPowerOff = "POW&ER -OFF-";
// The power button's caption before its first click, quote marks included: it is neither
// toggle caption, so the first click takes the "off" branch.
const char *const kPowerFirst = "\"POW&ER -ON-\"";

// One call of EXE Profile per segment entry, in the order they are sent, with the
// format of the status panel (1 to 3) that shows the value sent.
struct SegmentCall {
    int (*send)(const char *address, int value, std::int32_t *freeBytes);
    std::array<std::int32_t, kMaxSegments> SegmentTable::*values;
    const char *panelFormat;
};
const SegmentCall kSegmentCalls[] = {
    {FIFOMotorFirstRate, &SegmentTable::firstRate, "FSpeed:(%1)"},
    {FIFOMotorSlope, &SegmentTable::slope, "ACC :(%1)"},
    {FIFOMotorNumberStepRel, &SegmentTable::steps, "Step N:(%1)"},
};

QToolButton *pictureButton(QWidget *parent, const char *name, const QString &hint) {
    auto *button = named(new QToolButton(parent), name, hint);
    button->setFixedSize(34, 28);
    button->setIconSize(QSize(20, 20));
    return button;
}

QLineEdit *field(QWidget *parent, const char *name, int maxLength, const QString &hint = {}) {
    auto *edit = named(new QLineEdit(parent), name, hint);
    edit->setMaxLength(maxLength);
    return edit;
}

UpDown *upDown(QWidget *parent, const char *name, QLineEdit *buddy, int minimum, int maximum,
               int increment) {
    auto *control = named(new UpDown(parent), name);
    control->setRange(minimum, maximum);
    control->setIncrement(increment);
    control->setAssociate(buddy);
    return control;
}

QLabel *display(QWidget *parent, const char *name, const QString &text) {
    auto *label = named(new QLabel(text, parent), name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(90);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A label with a field and, when given, the field's up/down control, in one grid row.
void addFieldRow(QGridLayout *grid, int row, QLabel *label, QLineEdit *edit,
                 UpDown *control = nullptr) {
    grid->addWidget(label, row, 0);
    auto *pair = new QHBoxLayout;
    pair->setSpacing(1);
    pair->addWidget(edit, 1);
    if (control) pair->addWidget(control);
    grid->addLayout(pair, row, 1);
}

std::int32_t saturated(long long value) {
    return static_cast<std::int32_t>(std::clamp<long long>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

TMtr::TMtr(int motor, QWidget *parent)
    : QDialog(parent), motor_(std::clamp(motor, 1, kMotors)),
      address_(QByteArray::number(motor_ - 1)), errorCaption_(motorErrorCaption(motor_)) {
    setObjectName(QStringLiteral("Mtr%1").arg(motor_));
    setWindowTitle(QStringLiteral("\"%1\"  Desktop Motor Controller  ").arg(motor_));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(setup().pollingMs);
    connect(Timer1, &QTimer::timeout, this, &TMtr::Timer1Timer);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addWidget(buildMovementSetup(), 0, 0);
    layout->addWidget(buildMotionPanel(), 0, 1);
    layout->addWidget(buildPositionPanel(), 1, 0);
    layout->addWidget(buildJogPanel(), 1, 1);
    layout->addWidget(buildFifoPanel(), 2, 0, 1, 2);
    layout->addWidget(buildEncoderPanel(), 3, 0, 1, 2);
    layout->addWidget(buildBottomRow(), 4, 0, 1, 2);

    showRememberedValues();

    fixSizeWithCaption(this);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QWidget *TMtr::buildMovementSetup() {
    GroupBox1 = named(new QGroupBox(QStringLiteral("Movement Setup "), this), "GroupBox1");
    auto *grid = new QGridLayout(GroupBox1);

    Label1 = named(new QLabel(QStringLiteral("Steps to Go:"), GroupBox1), "Label1");
    STNumber1 = field(GroupBox1, "STNumber1", 10, QStringLiteral("Enter total number of steps."));
    addFieldRow(grid, 0, Label1, STNumber1);

    Label2 = named(new QLabel(QStringLiteral("Slew Rate:"), GroupBox1), "Label2");
    STSpeed1 =
        field(GroupBox1, "STSpeed1", 7, QStringLiteral("Maximum speed in steps per second."));
    MDSLUpDown1 = upDown(GroupBox1, "MDSLUpDown1", STSpeed1, 16, 8500, 10);
    addFieldRow(grid, 1, Label2, STSpeed1, MDSLUpDown1);

    Label3 = named(new QLabel(QStringLiteral("Accel/Decel: "), GroupBox1), "Label3");
    STSlope1 = field(GroupBox1, "STSlope1", 4,
                     QStringLiteral("Acceleration or deceleration in steps per second squared."));
    MDADUpDown1 = upDown(GroupBox1, "MDADUpDown1", STSlope1, 0, 255, 1);
    addFieldRow(grid, 2, Label3, STSlope1, MDADUpDown1);

    Label4 = named(new QLabel(QStringLiteral("First Rate : "), GroupBox1), "Label4");
    STInitSpeed1 = field(GroupBox1, "STInitSpeed1", 5);
    MDIRUpDown1 = upDown(GroupBox1, "MDIRUpDown1", STInitSpeed1, 20, 8500, 10);
    addFieldRow(grid, 3, Label4, STInitSpeed1, MDIRUpDown1);

    StepperMode1 =
        named(new RadioGroup(QStringLiteral("Stepper Motor Mode"),
                             {QStringLiteral("Biphasic"), QStringLiteral("Monophasic"),
                              QStringLiteral("Half Step"), QStringLiteral("External Driver")},
                             2, GroupBox1),
              "StepperMode1");
    StepperMode1->setItemIndex(kHalfStepItem);
    grid->addWidget(StepperMode1, 4, 0, 1, 2);
    connect(StepperMode1, &RadioGroup::clicked, this, &TMtr::StepperMode1Click);
    return GroupBox1;
}

QWidget *TMtr::buildMotionPanel() {
    auto *panel = new QWidget(this);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);

    CCW1 = pushButton(panel, "CCW1", QStringLiteral("CC&W"), kButtonHeight,
                      QStringLiteral("Moves stepper counter-clockwise"));
    CW1 = pushButton(panel, "CW1", QStringLiteral("&CW"), kButtonHeight,
                     QStringLiteral("Moves stepper clockwise"));
    Stop1 = pushButton(panel, "Stop1", QStringLiteral("&STOP"), kButtonHeight,
                       QStringLiteral("Stops any Stepper Movement\n") + stopMotorKeyHint());
    for (QPushButton *big : {CCW1, CW1, Stop1}) {
        big->setMinimumHeight(36);
        QFont font = big->font();
        font.setBold(true);
        big->setFont(font);
    }
    MDTrigger1 =
        pushButton(panel, "MDTrigger1", QString(), kButtonHeight, QStringLiteral("Motor Trigger"));
    MDTriggerOFF1 =
        pushButton(panel, "MDTriggerOFF1", QStringLiteral("Trig&ger \"OFF\""), kButtonHeight);
    MDPause1 =
        pushButton(panel, "MDPause1", QString(), kButtonHeight, QStringLiteral("Pause Motion"));
    POWER1 = pushButton(panel, "POWER1", QLatin1String(kPowerFirst), kButtonHeight);
    SeekHome1 = named(
        new RadioGroup(QStringLiteral("Home Seek Position"),
                       {QStringLiteral("Enable Home"), QStringLiteral("Disable Home")}, 2, panel),
        "SeekHome1");
    SeekHome1->setItemIndex(kDisableHomeItem);

    grid->addWidget(CCW1, 0, 0);
    grid->addWidget(CW1, 0, 1);
    grid->addWidget(Stop1, 1, 0, 1, 2);
    grid->addWidget(MDTrigger1, 2, 0);
    grid->addWidget(MDTriggerOFF1, 2, 1);
    grid->addWidget(MDPause1, 3, 0);
    grid->addWidget(POWER1, 3, 1);
    grid->addWidget(SeekHome1, 4, 0, 1, 2);

    connect(CW1, &QPushButton::clicked, this, &TMtr::CW1Click);
    connect(CCW1, &QPushButton::clicked, this, &TMtr::CCW1Click);
    connect(Stop1, &QPushButton::clicked, this, &TMtr::Stop1Click);
    connect(MDTrigger1, &QPushButton::clicked, this, &TMtr::MDTrigger1Click);
    connect(MDTriggerOFF1, &QPushButton::clicked, this, &TMtr::MDTriggerOFF1Click);
    connect(MDPause1, &QPushButton::clicked, this, &TMtr::MDPause1Click);
    connect(POWER1, &QPushButton::clicked, this, &TMtr::POWER1Click);
    connect(SeekHome1, &RadioGroup::clicked, this, &TMtr::SeekHome1Click);
    return panel;
}

QWidget *TMtr::buildPositionPanel() {
    auto *panel = named(new QGroupBox(QString(), this), "PositionPanel");
    auto *grid = new QGridLayout(panel);

    StaticText2 =
        named(new QLabel(QStringLiteral("Motor Position Register : "), panel), "StaticText2");
    MDPosi1 = display(panel, "MDPosi1", QStringLiteral("0"));
    grid->addWidget(StaticText2, 0, 0);
    grid->addWidget(MDPosi1, 0, 1);

    ResetCtr1 = pushButton(panel, "ResetCtr1", QStringLiteral("&Reset Position "), kButtonHeight,
                           QStringLiteral("Resets Stepper Motor Counter"));
    ReadCtr1 = pushButton(panel, "ReadCtr1", QStringLiteral("&Update Position"), kButtonHeight,
                          QStringLiteral("Reads Counter Position"));
    grid->addWidget(ResetCtr1, 1, 0);
    grid->addWidget(ReadCtr1, 1, 1);

    Label5 = named(new QLabel(QStringLiteral("Go to Absolute Position:"), panel), "Label5");
    MDAbst1 = field(panel, "MDAbst1", 8);
    MDAbsUpDown1 = upDown(panel, "MDAbsUpDown1", MDAbst1, -32000, 32000, 100);
    MDAbs1 = pictureButton(panel, "MDAbs1", QStringLiteral("Go to  Absolute Position"));
    MDAbs1->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    auto *absolute = new QHBoxLayout;
    absolute->setSpacing(1);
    absolute->addWidget(MDAbst1, 1);
    absolute->addWidget(MDAbsUpDown1);
    absolute->addSpacing(4);
    absolute->addWidget(MDAbs1);
    grid->addWidget(Label5, 2, 0);
    grid->addLayout(absolute, 2, 1);

    connect(ResetCtr1, &QPushButton::clicked, this, &TMtr::ResetCtr1Click);
    connect(ReadCtr1, &QPushButton::clicked, this, &TMtr::ReadCtr1Click);
    connect(MDAbs1, &QToolButton::clicked, this, &TMtr::MDAbs1Click);
    return panel;
}

QWidget *TMtr::buildJogPanel() {
    auto *panel = named(new QGroupBox(QString(), this), "JogPanel");
    auto *grid = new QGridLayout(panel);

    StaticText1 = named(new QLabel(QStringLiteral("JOG Speed. ->"), panel), "StaticText1");
    MDISJOG1 = field(panel, "MDISJOG1", 5);
    MDUpDownJ1 = upDown(panel, "MDUpDownJ1", MDISJOG1, 20, 8500, 10);
    MDCCKW1 = pictureButton(panel, "MDCCKW1", QStringLiteral("JOG CCW"));
    MDCCKW1->setArrowType(Qt::LeftArrow);
    MDCKW1 = pictureButton(panel, "MDCKW1", QStringLiteral("JOG CW"));
    MDCKW1->setArrowType(Qt::RightArrow);
    auto *jog = new QHBoxLayout;
    jog->setSpacing(1);
    jog->addWidget(MDISJOG1, 1);
    jog->addWidget(MDUpDownJ1);
    jog->addSpacing(6);
    jog->addWidget(MDCCKW1);
    jog->addWidget(MDCKW1);
    grid->addWidget(StaticText1, 0, 0);
    grid->addLayout(jog, 0, 1);

    BitBtn1 = pushButton(panel, "BitBtn1", QStringLiteral("&Open Profile Window"), kButtonHeight,
                         QStringLiteral("Create the Profile Movements"));
    grid->addWidget(BitBtn1, 1, 0, 1, 2);

    connect(MDUpDownJ1, &UpDown::arrowPressed, this, &TMtr::MDJOGCS1);
    connect(MDCCKW1, &QToolButton::clicked, this, [this] { MDJogClick(0); });
    connect(MDCKW1, &QToolButton::clicked, this, [this] { MDJogClick(1); });
    connect(BitBtn1, &QPushButton::clicked, this, &TMtr::BitBtn1Click);
    return panel;
}

QWidget *TMtr::buildFifoPanel() {
    GroupBox2 =
        named(new QGroupBox(QStringLiteral("FIFO Profile Movement Commands  "), this), "GroupBox2");
    auto *grid = new QGridLayout(GroupBox2);

    MDEFIFO1 = named(new QCheckBox(QStringLiteral("Enable FIFO Profile"), GroupBox2), "MDEFIFO1");
    MDResF1 = pushButton(GroupBox2, "MDResF1", QStringLiteral("&Reset FIFO"), kButtonHeight);
    MDEXEP1 = pushButton(GroupBox2, "MDEXEP1", QStringLiteral("&EXE Profile"), kButtonHeight);
    MDEXEP1->setEnabled(false);
    grid->addWidget(MDEFIFO1, 0, 0);
    grid->addWidget(MDResF1, 0, 1);
    grid->addWidget(MDEXEP1, 0, 2);

    StatusBar1 = named(new StatusPanels(5, GroupBox2), "StatusBar1");
    for (int panel = 0; panel < kFreeFifoPanel; ++panel) StatusBar1->setPanelWidth(panel, 110);
    grid->addWidget(StatusBar1, 1, 0, 1, 3);

    // A box that is cleared by the program (STOP, stop-all, Reset CNTR.Encoder) runs its
    // action just as a click does, so the mode value never keeps a bit the box no longer shows.
    connect(MDEFIFO1, &QCheckBox::toggled, this, &TMtr::MDEFIFO1Click);
    connect(MDResF1, &QPushButton::clicked, this, &TMtr::MDResF1Click);
    connect(MDEXEP1, &QPushButton::clicked, this, &TMtr::MDEXEP1Click);
    return GroupBox2;
}

QWidget *TMtr::buildEncoderPanel() {
    MDEnc1 = named(new QGroupBox(QStringLiteral("SHAFT ENCODER    PROCEDURES  "), this), "MDEnc1");
    auto *grid = new QGridLayout(MDEnc1);

    MDEnE1 = named(
        new QCheckBox(QStringLiteral("Enable Shaft Encoder Movements,   Enc. Position :"), MDEnc1),
        "MDEnE1");
    MDEncoder1 = display(MDEnc1, "MDEncoder1", QString());
    MDRsetE1 = pushButton(MDEnc1, "MDRsetE1", QStringLiteral("Reset CNTR.En&coder"), kButtonHeight);
    MDUpP1 = pushButton(MDEnc1, "MDUpP1", QStringLiteral("&Upadate CNTR. Position"), kButtonHeight);
    MDEncoder1->setFixedWidth(140);
    auto *reading = new QHBoxLayout;
    reading->addWidget(MDEnE1);
    reading->addWidget(MDEncoder1);
    reading->addStretch(1);
    grid->addLayout(reading, 0, 0, 1, 2);
    grid->addWidget(MDRsetE1, 1, 0);
    grid->addWidget(MDUpP1, 1, 1);

    connect(MDEnE1, &QCheckBox::toggled, this, &TMtr::MDEnE1Click);
    connect(MDRsetE1, &QPushButton::clicked, this, &TMtr::MDRsetE1Click);
    connect(MDUpP1, &QPushButton::clicked, this, &TMtr::MDUpP1Click);
    return MDEnc1;
}

QWidget *TMtr::buildBottomRow() {
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    Live = named(new QCheckBox(QStringLiteral("Live"), row), "Live",
                 QStringLiteral("Reads the status and the position twice a second while this "
                                "window is open"));
    MovingLamp = named(new StatusLamp(QStringLiteral("Moving"), runningLampColour(), row),
                       "MovingLamp", QStringLiteral("Lit while the motor runs"));
    LimitCcwLamp = named(new StatusLamp(QStringLiteral("CCW limit"), limitLampColour(), row),
                         "LimitCcwLamp", QStringLiteral("Lit while the CCW limit switch is on"));
    LimitCwLamp = named(new StatusLamp(QStringLiteral("CW limit"), limitLampColour(), row),
                        "LimitCwLamp", QStringLiteral("Lit while the CW limit switch is on"));
    LiveTimer = new QTimer(this);
    LiveTimer->setObjectName(QStringLiteral("LiveTimer"));
    LiveTimer->setInterval(kLiveMs);

    MDClose1 = pushButton(row, "MDClose1", QStringLiteral("&Close "), kButtonHeight);
    MDClose1->setMinimumWidth(100);
    layout->addWidget(Live);
    layout->addWidget(MovingLamp);
    layout->addWidget(LimitCcwLamp);
    layout->addWidget(LimitCwLamp);
    layout->addStretch(1);
    layout->addWidget(MDClose1);

    // Only the operator's own click is remembered; the program switches the reading off when
    // the port closes or a read fails, and that is not a choice to keep.
    connect(Live, &QCheckBox::clicked, this, &TMtr::LiveClick);
    connect(LiveTimer, &QTimer::timeout, this, &TMtr::LiveTimerTimer);
    connect(MDClose1, &QPushButton::clicked, this, &TMtr::MDClose1Click);
    return row;
}

void TMtr::showRememberedValues() {
    const MoveValues &move = state().move;
    STNumber1->setText(QString::number(move.steps));
    MDSLUpDown1->setPosition(move.slewRate);
    MDADUpDown1->setPosition(move.accel);
    MDIRUpDown1->setPosition(move.firstRate);
    const MotorWindowFields &fields = program().remembered.motorWindows[motor_ - 1];
    MDUpDownJ1->setPosition(fields.jogSpeed);
    MDAbst1->setText(QString::number(fields.absolutePosition));
    StepperMode1->setItemIndex(fields.stepModeItem);
    SeekHome1->setItemIndex(fields.homeSeek ? kEnableHomeItem : kDisableHomeItem);
    setLive(fields.live);
    MDPause1->setText(QLatin1String(kPauseOn));
    MDTrigger1->setText(QStringLiteral("&Trigger -ON-"));
}

void TMtr::rememberFields() {
    // The move fields as typed, sent or not; a step count that still shows the last CCW
    // press keeps the minus sign that press gave it.
    MoveValues typed = fieldMoveValues(+1);
    MoveValues &move = state().move;
    if (move.steps < 0 && typed.steps == -static_cast<long long>(move.steps))
        typed.steps = move.steps;
    move = typed;
    MotorWindowFields &fields = program().remembered.motorWindows[motor_ - 1];
    fields.jogSpeed = MDUpDownJ1->position();
    fields.absolutePosition = MDAbsUpDown1->position();
    if (StepperMode1->itemIndex() >= 0) fields.stepModeItem = StepperMode1->itemIndex();
    fields.homeSeek = SeekHome1->itemIndex() == kEnableHomeItem;
    fields.place = placeOf(this);
}

MotorState &TMtr::state() const { return program().motors[motor_ - 1]; }

bool TMtr::pollRead(int result) {
    if (result != -1) return true;
    periodicReadFailed();
    return false;
}

void TMtr::periodicReadFailed() {
    // A lost line is said as such; no answer at all is the most a silent line can tell.
    const int error = ZelmarGetNumberError();
    const bool noAnswer = error == CORVEXLINK_ERR_NO_ANSWER || error == CORVEXLINK_ERR_LINE_LOST;
    // Both readings end before the window's one box shows, so that no later tick of the
    // window raises another while it is open.
    Timer1->stop();
    setLive(false);
    if (TForm1 *main = program().windows.Form1; main && noAnswer) main->showLineLost();
    libraryErrorBox(errorCaption_, this);
}

bool TMtr::sendMode() {
    return succeeded(MotorConfigureMode(address_.constData(), state().modeValue));
}

void TMtr::showFreeFifo() {
    StatusBar1->setText(kFreeFifoPanel, QStringLiteral("FREE FIFO:(%1)").arg(state().freeFifo));
}

void TMtr::motorStopped() {
    Timer1->stop();
    ++state().stops;
    // Clearing a box sends the mode without its bit, which waits behind a long wait on the
    // line: the stops of the other motors go out first, and the boxes clear once it ends.
    whenLineFree([window = QPointer<TMtr>(this)] {
        if (!window) return;
        window->MDEFIFO1->setChecked(false);
        window->MDEnE1->setChecked(false);
        window->MDEXEP1->setEnabled(false);
    });
}

MoveValues TMtr::fieldMoveValues(int sign) const {
    return {saturated(sign * static_cast<long long>(leadingNumber(STNumber1->text()))),
            leadingNumber(STSlope1->text()), leadingNumber(STSpeed1->text()),
            leadingNumber(STInitSpeed1->text())};
}

void TMtr::moveRelative(int sign) {
    state().move = fieldMoveValues(sign);
    sendRelativeMove(address_, state().move, errorCaption_, AfterFirstRateFailure::GoOn);
}

void TMtr::stopMotor() { Stop1Click(); }

void TMtr::resumePolling() {
    if (isVisible() && (MDEFIFO1->isChecked() || MDEnE1->isChecked())) Timer1->start();
}

void TMtr::setLive(bool on) {
    Live->setChecked(on);
    if (on && isVisible()) {
        LiveTimer->start();
        return;
    }
    if (on) return;  // a window not yet open starts reading when it shows
    LiveTimer->stop();
    for (StatusLamp *lamp : {MovingLamp, LimitCcwLamp, LimitCwLamp})
        lamp->setState(LampState::Unknown);
}

void TMtr::stopLive() { setLive(false); }

void TMtr::LiveClick(bool checked) {
    program().remembered.motorWindows[motor_ - 1].live = checked;
    saveSettings();
    setLive(checked);
}

void TMtr::LiveTimerTimer() {
    if (lineBusy()) return;  // a read now would hold the window thread until the wait ends
    const char *a = address_.constData();
    std::int32_t status = 0;
    std::int32_t position = 0;
    if (MotorGetStatusRegister(a, &status) == -1 || MotorGetPosition(a, &position) == -1) {
        periodicReadFailed();
        return;
    }
    MDPosi1->setText(QString::number(position));
    MovingLamp->setLit(status & CORVEXLINK_STATUS_RUNING);
    LimitCcwLamp->setLit(status & CORVEXLINK_STATUS_LS_CCW);
    LimitCwLamp->setLit(status & CORVEXLINK_STATUS_LS_CW);
}

void TMtr::CW1Click() { moveRelative(+1); }

void TMtr::CCW1Click() { moveRelative(-1); }

void TMtr::Stop1Click() {
    if (succeeded(MotorStop(address_.constData()))) motorStopped();
}

void TMtr::ReadCtr1Click() {
    MDPosi1->clear();
    std::int32_t position = 0;
    if (!succeeded(MotorGetPosition(address_.constData(), &position))) return;
    // The library has already made the count signed; this button also shows the sign bit
    // alone (8388608) as 0, which the polling tick shows as it is.
    if (position >= CORVEXLINK_COUNT_SIGN_BIT) position = CORVEXLINK_COUNT_SIGN_BIT - position;
    MDPosi1->setText(QString::number(position));
}

void TMtr::ResetCtr1Click() {
    if (succeeded(MotorSetPosition(address_.constData(), 0))) MDPosi1->setText(QStringLiteral("0"));
}

void TMtr::MDEFIFO1Click(bool checked) {
    if (checked) {
        Timer1->start();
        state().modeValue |= kFifoBit;
    } else {
        state().modeValue &= ~kFifoBit;
    }
    if (sendMode()) MDEXEP1->setEnabled(checked);
}

void TMtr::MDResF1Click() {
    succeeded(FIFOReset(address_.constData()));
    if (succeeded(FIFOGetRemainingBytes(address_.constData(), &state().freeFifo))) showFreeFifo();
}

void TMtr::MDEXEP1Click() {
    Timer1->start();
    // A copy: the table stays as it was when the press came, whatever an editor does meanwhile.
    const SegmentTable table = state().segments;
    const int count = std::clamp<std::int32_t>(table.count, 0, kMaxSegments);
    // A queued command waits up to a second for room in the FIFO: each one is sent off the
    // window thread, and a STOP of the motor ends the queueing before its next command.
    BusyCursor busy;
    const std::uint32_t stops = state().stops;
    for (int i = 0; i < count; ++i) {
        StatusBar1->setText(0, QStringLiteral(" Segments :(%1)").arg(i));
        for (std::size_t c = 0; c < std::size(kSegmentCalls); ++c) {
            if (state().stops != stops) return;
            const SegmentCall &call = kSegmentCalls[c];
            const std::int32_t value = (table.*call.values)[i];
            std::int32_t freeFifo = state().freeFifo;
            const LineResult sent = waitOnLine([this, &call, value, &freeFifo] {
                return call.send(address_.constData(), value, &freeFifo);
            });
            state().freeFifo = freeFifo;
            if (sent.result == -1) {
                // A command that waited for room in a FIFO the stop holds fails as a
                // consequence of the stop, which the operator knows of.
                if (state().stops == stops) errorBox(errorCaption_, sent.error);
                return;
            }
            StatusBar1->setText(static_cast<int>(c) + 1,
                                QString::fromLatin1(call.panelFormat).arg(value));
        }
    }
}

void TMtr::MDTrigger1Click() { succeeded(MotorTriggerON(address_.constData())); }

void TMtr::MDTriggerOFF1Click() { succeeded(MotorTriggerOFF(address_.constData())); }

void TMtr::MDPause1Click() {
    // The caption is the state: it changes after the call, also when the call failed.
    if (MDPause1->text() == QLatin1String(kPauseOn)) {
        succeeded(MotorPauseON(address_.constData()));
        MDPause1->setText(QLatin1String(kPauseOff));
    } else {
        succeeded(MotorPauseOFF(address_.constData()));
        MDPause1->setText(QLatin1String(kPauseOn));
    }
}

void TMtr::POWER1Click() {
    // The caption changes before the call and stays changed when the call fails.
    if (POWER1->text() == QLatin1String(kPowerOn)) {
        POWER1->setText(QLatin1String(kPowerOff));
        succeeded(MotorPowerON(address_.constData(), 1));
    } else {
        POWER1->setText(QLatin1String(kPowerOn));
        succeeded(MotorPowerOFF(address_.constData()));
    }
}

void TMtr::StepperMode1Click(int item) {
    if (item < 0 || item >= static_cast<int>(kStepModes.size())) return;
    // The step mode replaces the whole value: the encoder, FIFO and home bits go, although
    // the boxes and the home group keep showing what they showed.
    state().modeValue = kStepModes[item];
    sendMode();
}

void TMtr::MDEnE1Click(bool checked) {
    if (checked) {
        Timer1->start();
        state().modeValue |= kEncoderBit;
    } else {
        state().modeValue &= ~kEncoderBit;
    }
    sendMode();
}

void TMtr::SeekHome1Click(int item) {
    if (item == kEnableHomeItem)
        state().modeValue |= kHomeBit;
    else
        state().modeValue &= kHomeBit - 1;
    sendMode();
}

void TMtr::MDRsetE1Click() {
    MDEnE1->setChecked(false);
    if (setup().encoderResetStopsPolling) Timer1->stop();
    if (succeeded(EncoderSetPosition(address_.constData(), 0)))
        MDEncoder1->setText(QStringLiteral("0"));
}

void TMtr::MDUpP1Click() {
    std::int32_t count = 0;
    if (succeeded(EncoderGetPosition(address_.constData(), &count)))
        MDEncoder1->setText(QString::number(count));
}

void TMtr::MDAbs1Click() {
    succeeded(MotorGoAbsPos(address_.constData(), MDAbsUpDown1->position()));
}

void TMtr::MDJogClick(int direction) { succeeded(MotorJog(address_.constData(), direction)); }

void TMtr::MDJOGCS1() {
    // Runs before the control steps: the speed sent is the one the field shows now.
    succeeded(MotorChangeJogSpeed(address_.constData(), leadingNumber(MDISJOG1->text())));
}

void TMtr::BitBtn1Click() {
    TProfile *editor = createWindow(program().windows.Profile);
    editor->setMotorNumber(QString::number(motor_));
    editor->exec();
}

void TMtr::MDClose1Click() { close(); }

void TMtr::reject() { close(); }

void TMtr::closeEvent(QCloseEvent *event) {
    Timer1->stop();
    LiveTimer->stop();
    rememberFields();
    saveSettings();
    event->accept();
}

void TMtr::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (Live->isChecked() && !LiveTimer->isActive()) LiveTimer->start();
}

void TMtr::Timer1Timer() {
    if (lineBusy()) return;
    const char *a = address_.constData();
    MotorState &motor = state();
    const std::int32_t threshold = setup().fifoThreshold;

    if (motor.freeFifo < threshold) MDEXEP1->setEnabled(false);
    // The tick ends at its first failed read.
    if (!MDEXEP1->isEnabled()) {
        if (!pollRead(FIFOGetRemainingBytes(a, &motor.freeFifo))) return;
        if (motor.freeFifo > threshold) MDEXEP1->setEnabled(true);
    }
    if (MDEnE1->isChecked()) {
        std::int32_t count = 0;
        if (!pollRead(EncoderGetPosition(a, &count))) return;
        MDEncoder1->setText(QString::number(count));
        std::int32_t position = 0;
        if (!pollRead(MotorGetPosition(a, &position))) return;
        MDPosi1->setText(QString::number(position));
    }
    showFreeFifo();
}

}  // namespace demo
