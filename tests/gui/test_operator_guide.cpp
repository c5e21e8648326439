// SPDX-License-Identifier: MIT
// The operator's guide in the help window: reached from the Help menu, beside the library
// reference (each button shows its own pages), with the sections an operator looks for,
// every picture it names compiled into the program, the STOP keys the program really uses,
// and a profile example that the profile file reader takes as it stands.
#include <sstream>

#include <QAction>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextDocument>

#include "gui_fixture.h"
#include "help_window.h"
#include "main_window.h"
#include "profile_csv.h"
#include "stop_keys.h"

using namespace guitest;

namespace {

QString guideSource() {
    QFile file(demo::guidePath());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << demo::guidePath().toStdString();
    return QString::fromUtf8(file.readAll());
}

}  // namespace

TEST_F(GuiTest, TheOperatorsGuideShowsBesideTheReference) {
    form1()->OperatorsGuide1->trigger();
    ASSERT_TRUE(boxes.shown.empty());
    demo::THelpViewer *viewer = demo::program().windows.Help;
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("CorvexLink - Operator's Guide"));
    const QString guide = viewer->Browser->toPlainText();
    for (const char *section :
         {"Connecting", "Scanning and initialising", "Moving a motor", "Stopping", "Profiles",
          "Currents", "Status", "Remembered settings", "Error messages"})
        EXPECT_TRUE(guide.contains(QLatin1String(section))) << section;

    if (demo::referencePath().isEmpty()) {
        EXPECT_FALSE(viewer->ReferenceButton->isEnabled());
        return;
    }
    click(viewer->ReferenceButton);
    EXPECT_TRUE(viewer->Browser->toPlainText().contains(QStringLiteral("Conventions")));
    EXPECT_FALSE(viewer->Browser->toPlainText().contains(QStringLiteral("Moving a motor")));
    click(viewer->GuideButton);
    EXPECT_EQ(viewer->Browser->toPlainText(), guide);
    // The reference item of the menu still opens on the reference.
    form1()->DLLCommandsInformation1->trigger();
    EXPECT_TRUE(viewer->Browser->toPlainText().contains(QStringLiteral("Conventions")));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("CorvexLink - DLL Commands Information"));
}

TEST_F(GuiTest, TheGuideHasItsPicturesTheRealStopKeysAndAProfileExampleThatReads) {
    const QString html = guideSource();
    form1()->OperatorsGuide1->trigger();
    QTextBrowser *browser = demo::program().windows.Help->Browser;

    // Every picture the page names is in the program and shows.
    const QRegularExpression image(QStringLiteral("<img src=\"([^\"]+)\""));
    int pictures = 0;
    for (auto match = image.globalMatch(html); match.hasNext(); ++pictures) {
        const QString name = match.next().captured(1);
        const QVariant picture =
            browser->loadResource(QTextDocument::ImageResource, browser->source().resolved(name));
        EXPECT_FALSE(picture.value<QImage>().isNull() && picture.value<QPixmap>().isNull() &&
                     picture.toByteArray().isEmpty())
            << name.toStdString();
    }
    EXPECT_GE(pictures, 4);

    // The keys it names are the ones the program watches.
    const QString keys = browser->toPlainText();
    EXPECT_TRUE(keys.contains(demo::keyName(demo::kStopAllKey) + QStringLiteral("\nEvery motor")))
        << keys.toStdString();
    EXPECT_TRUE(keys.contains(demo::keyName(demo::kStopMotorKey) +
                              QStringLiteral("\nThe motor of the motor window")));

    // The example profile is one the shared reader takes, header included.
    const QRegularExpression example(QStringLiteral("<pre>([^<]*)</pre>"));
    const QRegularExpressionMatch found = example.match(html);
    ASSERT_TRUE(found.hasMatch());
    std::istringstream text(found.captured(1).toStdString());
    const auto segments = corvexlink::profilecsv::readProfile(text, "guide");
    EXPECT_EQ(segments.size(), 3u);
    EXPECT_TRUE(found.captured(1).startsWith(QLatin1String(corvexlink::profilecsv::kHeader)));
}
