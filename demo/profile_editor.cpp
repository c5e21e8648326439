// SPDX-License-Identifier: MIT
#include "profile_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "CorvexLink.h"
#include "field_updown.h"
#include "message_box.h"
#include "pictures.h"
#include "profile_csv.h"
#include "settings.h"
#include "status_panels.h"
#include "widget_builders.h"
#include "window_size.h"

namespace demo {

int profile::segmentSlope(int startSpeed, int endSpeed, int steps, int lastSlope) {
    if (steps == 0) return lastSlope;
    const int change = endSpeed - startSpeed;
    const int length = std::abs(steps);
    const float exact = static_cast<float>(static_cast<double>(change) / length);
    int slope = change / length;
    if (std::fabs(static_cast<double>(exact)) - std::abs(slope) > 0.5) slope += exact > 0 ? 1 : -1;
    return slope;
}

namespace {

const QString kCaption = QStringLiteral(" Motor Profile");
// The drawing area's place in its panel: room for the speed labels at the left and for
// "Step Rate" above.
constexpr int kAreaLeft = 74;
constexpr int kAreaTop = 24;

namespace csv = corvexlink::profilecsv;

// A profile file is a few kilobytes (a line of at most 24 characters per segment); a larger
// file, or one that is no regular file (a pipe, a device), is not a profile.
constexpr qint64 kLargestProfileFile = 64 * 1024;

QLineEdit *numberField(QWidget *parent, const char *name, int maxLength) {
    auto *field = named(new QLineEdit(QStringLiteral("0"), parent), name);
    field->setMaxLength(maxLength);
    field->setFixedWidth(90);
    return field;
}

// Clear Process reloads the grid from its file. The program draws the grid itself, so the
// file is written from that picture the first time it is needed; where it cannot be
// written the drawn picture serves. A file that is there but cannot be read is an error.
QImage loadGrid(const QString &path, QString *error) {
    if (!QFileInfo::exists(path)) {
        const QImage drawn = gridPicture();
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !drawn.save(path, "BMP"))
            return drawn;
    }
    QImageReader reader(path);
    QImage grid = reader.read();
    if (grid.isNull())
        *error = QStringLiteral("Cannot open file \"%1\". %2")
                     .arg(QDir::toNativeSeparators(path), reader.errorString());
    return grid;
}

}  // namespace

ProfileImage::ProfileImage(QWidget *parent) : QWidget(parent), picture_(gridPicture()) {
    setFixedSize(kGridWidth, kGridHeight);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

void ProfileImage::clearToWhite() {
    picture_.fill(Qt::white);
    update();
}

void ProfileImage::drawPicture(const QImage &picture) {
    QPainter painter(&picture_);
    painter.drawImage(0, 0, picture);
    update();
}

void ProfileImage::drawSegmentLine(QPoint from, QPoint to) {
    QPainter painter(&picture_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setPen(
        QPen(QColor::fromRgb(kProfileLineColour), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawLine(from, to);
    update();
}

void ProfileImage::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

void ProfileImage::mousePressEvent(QMouseEvent *event) {
    emit mouseDown(event->position().toPoint());
}

void ProfileImage::mouseMoveEvent(QMouseEvent *event) {
    emit mouseMove(event->position().toPoint());
}

void ProfileImage::mouseReleaseEvent(QMouseEvent *event) {
    emit mouseUp(event->position().toPoint());
}

TProfile::TProfile(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Profile"));
    setWindowTitle(kCaption);
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowContextHelpButtonHint |
                   Qt::WindowCloseButtonHint);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(10, 10, 10, 6);
    layout->setHorizontalSpacing(14);
    layout->addWidget(buildDrawingPanel(), 0, 0);
    layout->addWidget(buildSidePanel(), 0, 1);
    StatusBar1 = named(new StatusPanels(2, this), "StatusBar1");
    StatusBar1->setPanelWidth(0, 330);
    layout->addWidget(StatusBar1, 1, 0, 1, 2);

    connect(Image, &ProfileImage::mouseDown, this, &TProfile::FormMouseDown);
    connect(Image, &ProfileImage::mouseMove, this, &TProfile::FormMouseMove);
    connect(Image, &ProfileImage::mouseUp, this, &TProfile::FormMouseUp);
    connect(BitBtn1, &QPushButton::clicked, this, &TProfile::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TProfile::BitBtn2Click);
    connect(Return1, &QPushButton::clicked, this, &TProfile::Return1Click);
    connect(SaveProf1, &QPushButton::clicked, this, &TProfile::SaveProf1Click);
    connect(LoadProf1, &QPushButton::clicked, this, &TProfile::LoadProf1Click);

    Return1->setDefault(true);
    Return1->setFocus();  // the fields only show results; the cursor does not start in one
    fixSizeWithCaption(this);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QWidget *TProfile::buildDrawingPanel() {
    auto *panel = new QWidget(this);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);

    // The area and its axis labels stand at fixed places, so each label marks its grid line.
    auto *plot = new QWidget(panel);
    plot->setFixedSize(kAreaLeft + kGridWidth + 22, kAreaTop + kGridHeight + 44);
    Image = named(new ProfileImage(plot), "Image");
    Image->move(kAreaLeft, kAreaTop);
    Image->setToolTip(QStringLiteral(
        "Press and hold left button to\"Draw Segment\"  release to confirm\"End of Segment\""));

    StaticText10 = named(new QLabel(QStringLiteral("Step Rate"), plot), "StaticText10");
    StaticText10->setGeometry(0, 0, kAreaLeft + 60, 18);
    const char *speeds[] = {"20 S/s",   "500 S/s",  "1000 S/s", "1500 S/s",
                            "2000 S/s", "2500 S/s", "3000 S/s", "3500 S/s"};
    for (int k = 0; k < 8; ++k) {
        auto *label = new QLabel(QLatin1String(speeds[k]), plot);
        label->setObjectName(QStringLiteral("SpeedLabel%1").arg(k + 1));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setGeometry(0, kAreaTop + kGridHeight - 40 * k - 9, kAreaLeft - 6, 18);
        SpeedLabels[k] = label;
    }
    for (int k = 0; k < 10; ++k) {
        auto *label = new QLabel(QString::number(400 * (k + 1)), plot);
        label->setObjectName(QStringLiteral("StepLabel%1").arg(k + 1));
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setGeometry(kAreaLeft + 50 * (k + 1) - 22, kAreaTop + kGridHeight + 3, 44, 18);
        StepLabels[k] = label;
    }
    StaticText31 = named(new QLabel(QStringLiteral("Number of Steps "), plot), "StaticText31");
    StaticText31->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    StaticText31->setGeometry(kAreaLeft, kAreaTop + kGridHeight + 22, kGridWidth, 18);
    layout->addWidget(plot);

    StaticText9 = named(
        new QLabel(QStringLiteral(
                       "Please, Drag the Segments Profile maximum drawing  allowed 100 Segemnts"),
                   panel),
        "StaticText9");
    StaticText21 =
        named(new QLabel(QStringLiteral("(Vf - Vi) / (Sf - Si ) = Integer = -127, +127"), panel),
              "StaticText21");
    layout->addWidget(StaticText9);
    layout->addWidget(StaticText21);
    return panel;
}

QWidget *TProfile::buildSidePanel() {
    auto *panel = new QWidget(this);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, kAreaTop, 0, 0);

    auto *fields = new QGridLayout;
    StaticText22 = named(new QLabel(QStringLiteral("Vf - Vi  :"), panel), "StaticText22");
    SpeedProf1 = numberField(panel, "SpeedProf1", 5);
    StaticText23 = named(new QLabel(QStringLiteral("Accelaration :"), panel), "StaticText23");
    ACCProf1 = numberField(panel, "ACCProf1", 4);
    StaticText24 = named(new QLabel(QStringLiteral(" STf  -   STi :"), panel), "StaticText24");
    SNProf1 = numberField(panel, "SNProf1", 8);
    const std::array<std::pair<QLabel *, QLineEdit *>, 3> rows{
        {{StaticText22, SpeedProf1}, {StaticText23, ACCProf1}, {StaticText24, SNProf1}}};
    for (int r = 0; r < 3; ++r) {
        fields->addWidget(rows[r].first, r, 0);
        fields->addWidget(rows[r].second, r, 1);
    }
    layout->addLayout(fields);

    BitBtn2 = named(new QPushButton(QStringLiteral("C&alc. Profile"), panel), "BitBtn2");
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    BitBtn2->setToolTip(QStringLiteral("Calculation of Velocity and Step Numbers of segments"));
    layout->addWidget(BitBtn2);

    Memo1 = named(new QPlainTextEdit(panel), "Memo1");
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFixedWidth(230);
    Memo1->setPlainText(QStringLiteral(
        "When all the \nSegemnts  \nare finished,  Please \nPress \"Calc. Profile\" \n"
        "button and  the Vector \nto be writen to the \nFIFO, will be \ndispalyed."));
    layout->addWidget(Memo1, 1);

    SaveProf1 = named(new QPushButton(QStringLiteral("&Save Profile..."), panel), "SaveProf1",
                      QStringLiteral("Saves the segments as a CSV file, as corvexctl profile "
                                     "plays them"));
    SaveProf1->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    LoadProf1 = named(new QPushButton(QStringLiteral("L&oad Profile..."), panel), "LoadProf1",
                      QStringLiteral("Loads the segments of a CSV file in place of these"));
    LoadProf1->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    auto *files = new QHBoxLayout;
    files->addWidget(SaveProf1);
    files->addWidget(LoadProf1);
    layout->addLayout(files);

    BitBtn1 = named(new QPushButton(QStringLiteral("C&lear Process"), panel), "BitBtn1");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    BitBtn1->setToolTip(QStringLiteral("CLean up the\"Profile Movement\""));
    layout->addWidget(BitBtn1);

    Return1 =
        named(new QPushButton(QStringLiteral("&Return to Motor Desktop N ->:"), panel), "Return1");
    Return1->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    layout->addWidget(Return1);
    return panel;
}

void TProfile::setMotorNumber(const QString &motorNumberText) {
    motorNumber_ = leadingNumber(motorNumberText);
    Return1->setText(QStringLiteral("&Return to Motor Desktop N ->:") + motorNumberText);
}

void TProfile::FormMouseDown(QPoint position) {
    drawing_ = true;
    // The first segment always starts at the left edge, at the height of the press.
    origin_ = firstSegment_ ? QPoint(0, position.y()) : position;
    startSpeed_ = profile::speedAt(position.y());
    startStep_ = profile::stepAt(position.x());
    if (firstSegment_) {
        startSpeed_ = GetFixedSpeed(startSpeed_);
        firstSegment_ = false;
    }
    StatusBar1->setText(
        0,
        QStringLiteral("Origin: Step Number,Speed -> (%1, %2)").arg(startStep_).arg(startSpeed_));
}

void TProfile::FormMouseMove(QPoint position) {
    StatusBar1->setText(1, QStringLiteral("Step Number , Speed : (%1, %2)")
                               .arg(profile::stepAt(position.x()))
                               .arg(profile::speedAt(position.y())));
}

void TProfile::FormMouseUp(QPoint position) {
    if (segments_.count >= kMaxSegments) {
        drawing_ = false;
        errorBox(
            kCaption,
            QStringLiteral("The profile already holds %1 segments, the most a motor takes; this "
                           "segment was not added.\nPress Return to hand the profile over, or "
                           "Clear Process to draw a new one.")
                .arg(kMaxSegments));
        return;
    }
    const int endSpeed = profile::speedAt(position.y());
    const int steps = profile::stepAt(position.x()) - startStep_;
    const int slope =
        profile::segmentSlope(startSpeed_, endSpeed, steps, program().ProfileLastSlope);
    program().ProfileLastSlope = slope;
    const int finalSpeed =
        GetFixedSpeed(std::max(std::abs(steps) * slope + startSpeed_, profile::kLowestSpeed));

    if (drawing_) {
        Image->drawSegmentLine(origin_, QPoint(position.x(), profile::heightOf(finalSpeed)));
        drawing_ = false;
    }
    SpeedProf1->setText(QString::number(finalSpeed));
    ACCProf1->setText(QString::number(slope));
    SNProf1->setText(QString::number(steps));

    const int i = segments_.count++;
    segments_.firstRate[i] = startSpeed_;
    segments_.slope[i] = slope;
    segments_.steps[i] = steps;
}

void TProfile::BitBtn2Click() {
    Memo1->clear();
    Memo1->setPlainText(QStringLiteral("Speed ,Acce., Step N."));
    for (int i = 0; i < segments_.count; ++i)
        Memo1->appendPlainText(QStringLiteral("%1,%2,%3")
                                   .arg(segments_.firstRate[i])
                                   .arg(segments_.slope[i])
                                   .arg(segments_.steps[i]));
}

void TProfile::BitBtn1Click() {
    QGuiApplication::clipboard()->setImage(Image->picture());
    Image->clearToWhite();
    QString error;
    const QImage grid = loadGrid(program().GridBitmapPath, &error);
    if (grid.isNull()) {
        errorBox(QStringLiteral("CorvexLink"), error);
        return;
    }
    Image->drawPicture(grid);
    firstSegment_ = true;
    StatusBar1->setText(0, QStringLiteral("Origin: (%1, %2)").arg(0).arg(0));
    SpeedProf1->clear();
    ACCProf1->clear();
    SNProf1->clear();
    Memo1->clear();
    segments_ = SegmentTable{};
}

void TProfile::Return1Click() {
    // Only a motor of the program takes the profile; an editor opened without one hands
    // nothing over.
    if (motorNumber_ >= 1 && motorNumber_ <= kMotors)
        program().motors[motorNumber_ - 1].segments = segments_;
    accept();
}

}  // namespace demo

namespace demo {

QString TProfile::chooseProfileFile(bool save) {
    // The last folder used, else the documents folder, else the home folder: the first of
    // them that is there (a folder that is not there would be offered as the file's name).
    QString &folder = program().remembered.profileFolder;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    QFileDialog dialog(this, save ? QStringLiteral("Save Profile") : QStringLiteral("Load Profile"),
                       folder, QStringLiteral("Profiles (*.csv);;All files (*)"));
    dialog.setObjectName(QStringLiteral("ProfileFileDialog"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = dialog.selectedFiles().constFirst();
    folder = QFileInfo(path).absolutePath();
    saveSettings();
    return path;
}

void TProfile::SaveProf1Click() {
    const QString path = chooseProfileFile(true);
    if (!path.isEmpty()) saveProfile(path);
}

void TProfile::LoadProf1Click() {
    const QString path = chooseProfileFile(false);
    if (!path.isEmpty()) loadProfile(path);
}

bool TProfile::saveProfile(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    std::vector<csv::Segment> profile;
    for (int i = 0; i < segments_.count; ++i)
        profile.push_back({segments_.firstRate[i], segments_.slope[i], segments_.steps[i]});
    std::ostringstream text;
    try {
        csv::writeProfile(text, profile, name.toStdString());
    } catch (const csv::ProfileError &error) {
        errorBox(kCaption, QStringLiteral("The profile was not saved: %1.")
                               .arg(QString::fromStdString(error.reason())));
        return false;
    }
    // Written whole or not at all: an earlier file of the name stays until the new one is
    // complete.
    QSaveFile file(path);
    const std::string bytes = text.str();
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.commit()) {
        errorBox(kCaption, QStringLiteral("The profile could not be written to %1: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    StatusBar1->setText(0,
                        QStringLiteral("Saved to %1 (%2 segments)").arg(name).arg(profile.size()));
    return true;
}

bool TProfile::loadProfile(const QString &path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    const auto refuse = [&](const QString &what) {
        errorBox(kCaption, QStringLiteral("The profile in %1 was not loaded: %2. The profile on "
                                          "screen is kept.")
                               .arg(QDir::toNativeSeparators(path), what));
        return false;
    };
    if (!info.isFile()) return refuse(QStringLiteral("it is not a file"));
    if (info.size() > kLargestProfileFile)
        return refuse(QStringLiteral("the file is larger than a profile of %1 segments can be")
                          .arg(kMaxSegments));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refuse(file.errorString());
    std::istringstream text(file.read(kLargestProfileFile + 1).toStdString());
    std::vector<csv::Segment> profile;
    try {
        profile = csv::readProfile(text, name.toStdString());
    } catch (const csv::ProfileError &error) {
        const QString reason = QString::fromStdString(error.reason());
        return refuse(error.line() > 0 ? QStringLiteral("line %1: %2").arg(error.line()).arg(reason)
                                       : reason);
    }
    if (profile.size() > static_cast<std::size_t>(kMaxSegments))
        return refuse(QStringLiteral("it holds %1 segments, and a motor's profile takes at most %2")
                          .arg(profile.size())
                          .arg(kMaxSegments));

    segments_ = SegmentTable{};
    for (const csv::Segment &segment : profile) {
        const int i = segments_.count++;
        segments_.firstRate[i] = segment.firstRate;
        segments_.slope[i] = segment.slope;
        segments_.steps[i] = segment.steps;
    }
    // The next segment drawn is added to the loaded ones, starting where it is pressed.
    firstSegment_ = false;
    drawing_ = false;
    drawSegments();
    BitBtn2Click();
    StatusBar1->setText(0, QStringLiteral("Loaded %1 (%2 segments)").arg(name).arg(profile.size()));
    return true;
}

void TProfile::drawSegments() {
    Image->drawPicture(gridPicture());
    // The file keeps no place along the steps, so the segments are drawn end to end.
    int x = 0;
    for (int i = 0; i < segments_.count; ++i) {
        const int steps = segments_.steps[i];
        const int start = segments_.firstRate[i];
        // A file may hold speeds far beyond the area; they are drawn at its edge.
        const long long change = static_cast<long long>(std::abs(steps)) * segments_.slope[i];
        const int finalSpeed =
            std::clamp(GetFixedSpeed(static_cast<int>(std::clamp<long long>(
                           change + start, profile::kLowestSpeed, 2 * profile::kTopSpeed))),
                       0, 2 * profile::kTopSpeed);
        const int end = x + steps / 8;
        Image->drawSegmentLine(QPoint(x, profile::heightOf(start)),
                               QPoint(end, profile::heightOf(finalSpeed)));
        x = end;
    }
}

}  // namespace demo
