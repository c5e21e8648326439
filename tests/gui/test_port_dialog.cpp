// SPDX-License-Identifier: MIT
// The library's port dialog, shown by PortConfigure in a process that runs a
// QApplication: what it shows, that a choice takes effect at once, and that every way of
// closing it opens the port.
#include <cstdlib>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "gui_fixture.h"

using namespace guitest;

namespace {

// The checked "BaudRate" item, -1 when none is.
int checkedRateItem(QWidget *dialog) {
    int checked = -1;
    for (int i = 0; i < 5; ++i) {
        auto *item = child<QRadioButton>(
            dialog, QStringLiteral("RadioGroup1Item%1").arg(i).toLatin1().constData());
        if (item && item->isChecked()) {
            EXPECT_EQ(checked, -1) << "two rates are checked";
            checked = i;
        }
    }
    return checked;
}

QRadioButton *rateItem(QWidget *dialog, int index) {
    return child<QRadioButton>(
        dialog, QStringLiteral("RadioGroup1Item%1").arg(index).toLatin1().constData());
}

}  // namespace

class PortDialogTest : public GuiTest {
protected:
    // Runs PortConfigure, with `inside` acting on the dialog while it is shown (the test
    // closes it there as a user would); returns PortConfigure's result.
    int configure(const std::function<void(QWidget *)> &inside) {
        int result = 0;
        bool shown = false;
        whenModalShows([&](QWidget *dialog) {
            shown = true;
            EXPECT_EQ(static_cast<void *>(dialog), Form2);
            inside(dialog);
        });
        result = PortConfigure();
        EXPECT_TRUE(shown) << "the port dialog did not show";
        EXPECT_EQ(Form2, nullptr) << "the dialog outlived PortConfigure";
        return result;
    }
};

TEST_F(PortDialogTest, RightAfterLoadItShowsNineThousandSixHundredOnPortOneAndOpensThere) {
    const int result = configure([](QWidget *dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("             Serial Port Configuration"));
        EXPECT_EQ(child<QGroupBox>(dialog, "RadioGroup1")->title(), QStringLiteral("BaudRate"));
        EXPECT_EQ(checkedRateItem(dialog), 0);
        auto *port = child<QComboBox>(dialog, "Port1");
        EXPECT_TRUE(port->isEditable());
        EXPECT_EQ(port->count(), 4);
        EXPECT_EQ(port->currentText(), QStringLiteral("1"));
        auto *open = child<QPushButton>(dialog, "Conf1");
        EXPECT_EQ(open->text(), QStringLiteral("&Open Port"));
        click(open);
    });
    EXPECT_EQ(result, 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(ZelmarGetPort(), 1);
    EXPECT_EQ(ZelmarGetBaudRate(), 9600);
    EXPECT_EQ(sim().hostBaudRate(), 9600);
}

TEST_F(PortDialogTest, ItShowsThePortAndRateOfTheLastOpen) {
    ::setenv("CORVEXLINK_COM3", sim().slavePath().c_str(), 1);
    ASSERT_EQ(PortOpen(3, 38400), 1) << ZelmarGetErrorMessage();
    const int result = configure([](QWidget *dialog) {
        EXPECT_EQ(checkedRateItem(dialog), 2);
        EXPECT_EQ(child<QComboBox>(dialog, "Port1")->currentText(), QStringLiteral("3"));
        click(child<QPushButton>(dialog, "Conf1"));
    });
    ::unsetenv("CORVEXLINK_COM3");
    EXPECT_EQ(result, 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(ZelmarGetPort(), 3);
    EXPECT_EQ(sim().hostBaudRate(), 38400);
}

TEST_F(PortDialogTest, EachPortItemNamesItsDeviceInItsTooltip) {
    ::setenv("CORVEXLINK_COM2", "/dev/serial/by-id/usb-example-adapter-if00-port0", 1);
    const std::string simulator = sim().slavePath();
    configure([&](QWidget *dialog) {
        auto *ports = child<QComboBox>(dialog, "Port1");
        EXPECT_EQ(ports->itemData(0, Qt::ToolTipRole).toString().toStdString(), simulator);
        EXPECT_EQ(ports->itemData(1, Qt::ToolTipRole).toString(),
                  QStringLiteral("/dev/serial/by-id/usb-example-adapter-if00-port0"));
        for (int i = 2; i < ports->count(); ++i)
            EXPECT_FALSE(ports->itemData(i, Qt::ToolTipRole).toString().isEmpty()) << "item " << i;
        click(child<QPushButton>(dialog, "Conf1"));
    });
    ::unsetenv("CORVEXLINK_COM2");
}

TEST_F(PortDialogTest, ARateThatIsNoItemShowsNoneAndIsKept) {
    ASSERT_EQ(PortOpen(1, 4800), 1) << ZelmarGetErrorMessage();
    const int result = configure([](QWidget *dialog) {
        EXPECT_EQ(checkedRateItem(dialog), -1);
        dialog->close();
    });
    EXPECT_EQ(result, 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(ZelmarGetBaudRate(), 4800);
    EXPECT_EQ(sim().hostBaudRate(), 4800);
}

TEST_F(PortDialogTest, AChoiceTakesEffectAtOnceAndClosingByTheFrameStillOpens) {
    int rateInside = 0;
    int result = configure([&rateInside](QWidget *dialog) {
        click(rateItem(dialog, 4));
        rateInside = ZelmarGetBaudRate();
        dialog->close();  // what the window's close box does
    });
    EXPECT_EQ(rateInside, 115200);
    EXPECT_EQ(result, 1) << ZelmarGetErrorMessage();
    EXPECT_EQ(sim().hostBaudRate(), 115200);

    // The rate stands also when the open fails.
    ::setenv("CORVEXLINK_COM1", "/nonexistent/corvexlink-com1", 1);
    result = configure([](QWidget *dialog) {
        click(rateItem(dialog, 3));
        dialog->close();
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
    EXPECT_EQ(ZelmarGetBaudRate(), 57600);
}

TEST_F(PortDialogTest, APortTextThatNamesNoItemGivesPortZeroWhichFailsToOpen) {
    int portAfterChoice = 0;
    int portAfterTyping = 0;
    const int result = configure([&](QWidget *dialog) {
        auto *port = child<QComboBox>(dialog, "Port1");
        port->setCurrentIndex(1);
        portAfterChoice = ZelmarGetPort();
        port->lineEdit()->clear();
        QTest::keyClicks(port->lineEdit(), QStringLiteral("7"));
        portAfterTyping = ZelmarGetPort();
        click(child<QPushButton>(dialog, "Conf1"));
    });
    EXPECT_EQ(portAfterChoice, 2);
    EXPECT_EQ(portAfterTyping, 0);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ZelmarGetNumberError(), CORVEXLINK_ERR_OPEN_FAILED);
    EXPECT_STREQ(ZelmarGetErrorMessage(), "Unable to open COM port");
}
