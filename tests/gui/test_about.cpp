// SPDX-License-Identifier: MIT
// The about window: opened from the Help menu, the maker's contact data, closed by its button.
#include <QAction>
#include <QLabel>
#include <QPushButton>

#include "about_window.h"
#include "main_window.h"
#include "gui_fixture.h"

using namespace guitest;

TEST_F(GuiTest, AboutWindowShowsTheMakerAndClosesByItsButtonOnly) {
    bool shown = false;
    whenModalShows([&shown](QWidget *window) {
        shown = true;
        auto *about = qobject_cast<demo::TMBAbout *>(window);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about, demo::program().windows.MBAbout);
        EXPECT_EQ(about->windowTitle(), QStringLiteral("  About   "));
        EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        EXPECT_TRUE(about->WebSite->text().startsWith(QStringLiteral("Visit our Web Site : ")));
        EXPECT_TRUE(about->Support->text().startsWith(QStringLiteral("Support : ")));
        EXPECT_TRUE(about->Sales->text().startsWith(QStringLiteral("Sales : ")));
        EXPECT_TRUE(about->Address->text().contains(QStringLiteral("Tel")));
        click(about->BitBtn1);
        EXPECT_FALSE(about->isVisible());
    });
    form1()->About1->trigger();
    EXPECT_TRUE(shown);
}
