// SPDX-License-Identifier: MIT
// A text field with its up/down control. The field stays an ordinary QLineEdit (the user
// may type anything); the UpDown control is bound to it and, like a classic buddy spin
// control, takes its position from the field's text at the moment an arrow is pressed,
// steps from there within its range and writes the new position back into the field.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace demo {

// The number a field holds: an optional sign and the leading decimal digits; the rest of
// the text is ignored and a text without digits gives 0. Values beyond 32 bits saturate.
int leadingNumber(const QString &text);

class UpDown : public QWidget {
    Q_OBJECT

public:
    enum class Arrow { Up, Down };

    explicit UpDown(QWidget *parent = nullptr);

    // Binds the control to `field`; the field shows the position from now on.
    void setAssociate(QLineEdit *field);
    QLineEdit *associate() const { return field_; }

    void setRange(int minimum, int maximum);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setIncrement(int increment) { increment_ = increment; }
    int increment() const { return increment_; }

    // The position: the bound field's number clamped to the range (the stored position
    // when no field is bound).
    int position() const;
    // Sets the position (clamped) and writes it into the bound field.
    void setPosition(int position);

    // Presses an arrow as the user does: arrowPressed, then the step.
    void press(Arrow arrow);

    QToolButton *upButton() const { return up_; }
    QToolButton *downButton() const { return down_; }

signals:
    // An arrow was pressed; emitted before the control steps, so a handler still reads
    // the field as it was.
    void arrowPressed(demo::UpDown::Arrow arrow);
    // The position changed through an arrow.
    void stepped(int position);

private slots:
    void upClick();
    void downClick();

private:
    QLineEdit *field_ = nullptr;
    QToolButton *up_;
    QToolButton *down_;
    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
    int position_ = 0;
};

}  // namespace demo
