// SPDX-License-Identifier: MIT
// The program's small shared widgets: the number rule of its fields, the up/down control
// bound to a field, and the radio group.
#include <QLineEdit>
#include <QTest>
#include <QRadioButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include "field_updown.h"
#include "radio_group.h"

using demo::UpDown;

TEST(LeadingNumber, TakesTheSignAndLeadingDigitsAndIgnoresTheRest) {
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("1200")), 1200);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("-10000")), -10000);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("+7")), 7);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("  42 mA")), 42);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("12abc34")), 12);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("abc")), 0);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("")), 0);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("-")), 0);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("99999999999999")), 2147483647);
    EXPECT_EQ(demo::leadingNumber(QStringLiteral("-99999999999999")), -2147483647 - 1);
}

class UpDownTest : public ::testing::Test {
protected:
    void SetUp() override {
        updown.setRange(20, 8500);
        updown.setIncrement(10);
        updown.setAssociate(&field);
        updown.setPosition(100);
    }
    QLineEdit field;
    UpDown updown;
};

TEST_F(UpDownTest, AnArrowReportsTheFieldAsItWasThenSteps) {
    QString seen;
    UpDown::Arrow arrow = UpDown::Arrow::Down;
    QObject::connect(&updown, &UpDown::arrowPressed, [&](UpDown::Arrow a) {
        seen = field.text();
        arrow = a;
    });
    QTest::mouseClick(updown.upButton(), Qt::LeftButton);
    EXPECT_EQ(seen, QStringLiteral("100"));
    EXPECT_EQ(arrow, UpDown::Arrow::Up);
    EXPECT_EQ(field.text(), QStringLiteral("110"));

    QTest::mouseClick(updown.downButton(), Qt::LeftButton);
    EXPECT_EQ(seen, QStringLiteral("110"));
    EXPECT_EQ(field.text(), QStringLiteral("100"));
}

TEST_F(UpDownTest, ThePositionFollowsTheTypedTextWithinTheRange) {
    field.setText(QStringLiteral("3000"));
    EXPECT_EQ(updown.position(), 3000);
    updown.press(UpDown::Arrow::Up);
    EXPECT_EQ(field.text(), QStringLiteral("3010"));

    field.setText(QStringLiteral("abc"));
    EXPECT_EQ(updown.position(), 20);
    field.setText(QStringLiteral("8499"));
    updown.press(UpDown::Arrow::Up);
    EXPECT_EQ(field.text(), QStringLiteral("8500"));
    updown.press(UpDown::Arrow::Up);
    EXPECT_EQ(field.text(), QStringLiteral("8500"));

    updown.setPosition(5);
    EXPECT_EQ(field.text(), QStringLiteral("20"));
}

TEST_F(UpDownTest, ExtremeRangesDoNotOverflow) {
    updown.setRange(-2147483647 - 1, 2147483647);
    updown.setIncrement(2147483647);
    field.setText(QStringLiteral("2147483000"));
    updown.press(UpDown::Arrow::Up);
    EXPECT_EQ(field.text(), QStringLiteral("2147483647"));
    field.setText(QStringLiteral("-2147483000"));
    updown.press(UpDown::Arrow::Down);
    EXPECT_EQ(field.text(), QStringLiteral("-2147483648"));
}

TEST(RadioGroup, SelectsOneItemOrNoneAndReportsOnlyUserClicks) {
    demo::RadioGroup group(
        QStringLiteral("Baud Rate "),
        {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")}, 3);
    int clicked = -1;
    QObject::connect(&group, &demo::RadioGroup::clicked,
                     [&clicked](int index) { clicked = index; });
    EXPECT_EQ(group.itemIndex(), -1);
    group.setItemIndex(2);
    EXPECT_EQ(group.itemIndex(), 2);
    EXPECT_EQ(clicked, -1);
    group.setItemIndex(-1);
    EXPECT_EQ(group.itemIndex(), -1);
    for (int i = 0; i < group.count(); ++i) EXPECT_FALSE(group.item(i)->isChecked());
    group.show();
    QTest::mouseClick(group.item(1), Qt::LeftButton);
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(group.itemIndex(), 1);
}
