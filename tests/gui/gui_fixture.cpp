// SPDX-License-Identifier: MIT
#include "gui_fixture.h"

#include "settings.h"

#include <cstdlib>

#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace guitest {

void whenModalShows(std::function<void(QWidget *)> action) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

void click(QAbstractButton *button) {
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton);
}

void clickItem(demo::RadioGroup *group, int index) {
    ASSERT_NE(group, nullptr);
    QRadioButton *item = group->item(index);
    ASSERT_NE(item, nullptr);
    QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
}

void GuiTest::resetPortSelection() {
    // The library keeps its port and rate selection for the life of the process; a failed
    // open of a missing device brings it back to port 1 at 9600.
    ::setenv("CORVEXLINK_COM1", "/nonexistent/corvexlink-com1", 1);
    PortOpen(1, 9600);
    if (sim_) ::setenv("CORVEXLINK_COM1", sim_->slavePath().c_str(), 1);
}

void GuiTest::SetUp() {
    // Each test has its own configuration folder: the program's settings start empty and
    // go nowhere else.
    configFolder_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(configFolder_->isValid());
    ::setenv("XDG_CONFIG_HOME", configFolder_->path().toLocal8Bit().constData(), 1);
    resetPortSelection();

    kx4417::SimOptions options;
    options.stations = stations_;
    options.stationBaudRate = stationRate_;
    sim_ = std::make_unique<kx4417::Simulator>(options);
    ASSERT_TRUE(sim_->start());
    ::setenv("CORVEXLINK_COM1", sim_->slavePath().c_str(), 1);

    demo::setMessageBoxes(&boxes);
    demo::createStartupWindows();
    form1()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form1()));
}

void GuiTest::TearDown() {
    PortClose();
    demo::resetProgram();
    demo::setMessageBoxes(nullptr);
    sim_->stop();
    ::unsetenv("CORVEXLINK_COM1");
    ::unsetenv("XDG_CONFIG_HOME");
    configFolder_.reset();
}

void GuiTest::restartProgram(const std::function<void()> &whileEnded) {
    form1()->close();
    demo::resetProgram();
    if (whileEnded) whileEnded();
    resetPortSelection();
    demo::createStartupWindows();
    form1()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form1()));
    demo::reportSettingsProblem();
}

QString GuiTest::settingsFile() const {
    return configFolder_->path() + QStringLiteral("/corvexlink/DemoCorvexLink.conf");
}

void GuiTest::openPortFromMainWindow() { openPortFromMainWindow(-1); }

void GuiTest::openPortFromMainWindow(int rateItem) {
    QString shown;
    whenModalShows([&shown, rateItem](QWidget *dialog) {
        shown = dialog->objectName();
        if (rateItem >= 0)
            click(child<QAbstractButton>(
                dialog, QStringLiteral("RadioGroup1Item%1").arg(rateItem).toLatin1().constData()));
        EXPECT_EQ(static_cast<void *>(dialog), Form2);
        click(child<QPushButton>(dialog, "Conf1"));
    });
    click(mainControl<QToolButton>("MOpenP"));
    EXPECT_EQ(shown, QStringLiteral("Form2")) << "the port dialog did not show";
}

void GuiTest::withModal(QAbstractButton *opener, const std::function<void(QWidget *)> &inside) {
    withModal([opener] { click(opener); }, inside);
}

void GuiTest::withModal(const std::function<void()> &open,
                        const std::function<void(QWidget *)> &inside) {
    bool shown = false;
    whenModalShows([&shown, &inside](QWidget *window) {
        shown = true;
        inside(window);
        window->close();
    });
    open();
    EXPECT_TRUE(shown) << "no modal window showed";
}

std::string GuiTest::motorButtons() {
    std::string states;
    for (int m = 1; m <= 8; ++m)
        states +=
            mainControl<QPushButton>(QStringLiteral("MBMotor%1").arg(m).toLatin1().constData())
                    ->isEnabled()
                ? '1'
                : '0';
    return states;
}

}  // namespace guitest
