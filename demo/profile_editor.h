// SPDX-License-Identifier: MIT
// The motion profile editor: the user draws a speed profile with the mouse as a chain of
// straight segments over a grid (steps across, step rate up); each segment becomes a start
// rate, a slope and a step count, which Return hands to the motor window that opened the
// editor. The editor talks to no station.
#pragma once

#include <array>

#include <QDialog>
#include <QImage>
#include <QPoint>

#include "program.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace demo {

class StatusPanels;

// The scales of the drawing area (x, y in pixels, y growing downwards).
namespace profile {

inline constexpr int kAreaHeight = 280;
inline constexpr int kLowestSpeed = 20;  // the speed at the bottom edge
inline constexpr int kTopSpeed = 3492;   // the speed at the top edge

// The step number at x: 8 steps a pixel.
constexpr int stepAt(int x) { return 8 * x; }
// The speed at y: 12.4 steps/s a pixel up from 20 at the bottom edge, truncated toward
// zero. Worked in tenths so that the grid lines give their exact speeds.
constexpr int speedAt(int y) { return ((kAreaHeight - y) * 124 + kLowestSpeed * 10) / 10; }
// Where a speed lies (the inverse of speedAt, truncated toward zero).
constexpr int heightOf(int speed) { return (kTopSpeed - speed) * 10 / 124; }

// The slope of a segment from startSpeed to endSpeed over `steps` (signed) steps: the
// speed change per step, truncated toward zero and moved one away from zero when the
// exact quotient lies more than one half beyond it. A segment of no steps keeps
// `lastSlope`.
int segmentSlope(int startSpeed, int endSpeed, int steps, int lastSlope);

}  // namespace profile

// The colour of the drawn segments.
inline constexpr QRgb kProfileLineColour = 0xFF0000A0;

// The drawing area: shows its picture and reports the mouse in its own pixel coordinates,
// also while the pointer moves with no button held.
class ProfileImage : public QWidget {
    Q_OBJECT

public:
    explicit ProfileImage(QWidget *parent = nullptr);

    const QImage &picture() const { return picture_; }
    // Paints the whole area white.
    void clearToWhite();
    // Draws `picture` over the area from its top left corner.
    void drawPicture(const QImage &picture);
    // Draws a solid line two pixels wide, in plain copy mode.
    void drawSegmentLine(QPoint from, QPoint to);

signals:
    void mouseDown(QPoint position);
    void mouseMove(QPoint position);
    void mouseUp(QPoint position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage picture_;
};

class TProfile : public QDialog {
    Q_OBJECT

public:
    explicit TProfile(QWidget *parent = nullptr);

    // Hands the editor the number text of the motor that opened it ("1" to "8"): Return
    // hands the profile to that motor, and says so on its caption.
    void setMotorNumber(const QString &motorNumberText);
    int motorNumber() const { return motorNumber_; }
    // The segments drawn (or loaded) so far.
    const SegmentTable &segments() const { return segments_; }

    // Saves the segments to `path` as a profile CSV file (the form corvexctl profile
    // plays); false, after an error box, when the profile or the file cannot take them.
    bool saveProfile(const QString &path);
    // Loads the profile CSV file at `path` in place of the segments, and draws it; a file
    // that cannot be read or holds a line that is no segment is refused with an error box
    // naming the line and what is wrong, and the profile on screen is kept.
    bool loadProfile(const QString &path);

    ProfileImage *Image;
    QLabel *StaticText10;                 // "Step Rate"
    std::array<QLabel *, 8> SpeedLabels;  // from the bottom edge up
    QLabel *StaticText31;                 // "Number of Steps "
    std::array<QLabel *, 10> StepLabels;  // from left to right
    QLabel *StaticText9;
    QLabel *StaticText21;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *SaveProf1;  // "&Save Profile..."
    QPushButton *LoadProf1;  // "L&oad Profile..."
    QLabel *StaticText22;
    QLineEdit *SpeedProf1;
    QLabel *StaticText23;
    QLineEdit *ACCProf1;
    QLabel *StaticText24;
    QLineEdit *SNProf1;
    QPlainTextEdit *Memo1;
    StatusPanels *StatusBar1;
    QPushButton *Return1;

private slots:
    void FormMouseDown(QPoint position);
    void FormMouseMove(QPoint position);
    void FormMouseUp(QPoint position);
    void BitBtn1Click();
    void BitBtn2Click();
    void Return1Click();
    void SaveProf1Click();
    void LoadProf1Click();

private:
    QWidget *buildDrawingPanel();
    QWidget *buildSidePanel();
    // Asks for a profile file to save to or to load; empty when the operator cancels.
    QString chooseProfileFile(bool save);
    // Draws the segments one after the other from the left edge over a fresh grid.
    void drawSegments();

    int motorNumber_ = 0;
    SegmentTable segments_;
    int startSpeed_ = 0;
    int startStep_ = 0;
    bool firstSegment_ = true;
    bool drawing_ = false;
    QPoint origin_;
};

}  // namespace demo
