// SPDX-License-Identifier: MIT
#include "help_window.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace demo {

QString referencePath() {
    // Installed: the documentation folder beside the program's; run from the build tree:
    // the pages the build generated from the library's header.
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/" DEMO_INSTALLED_REFERENCE);
    for (const QString &candidate : {installed, QStringLiteral(DEMO_BUILD_REFERENCE)}) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

QString guidePath() { return QStringLiteral(":/guide/operator-guide.html"); }

THelpViewer::THelpViewer(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("CorvexLink - DLL Commands Information"));
    GuideButton = new QPushButton(QStringLiteral("Operator's &Guide"), this);
    GuideButton->setObjectName(QStringLiteral("GuideButton"));
    ReferenceButton = new QPushButton(QStringLiteral("&Library Reference"), this);
    ReferenceButton->setObjectName(QStringLiteral("ReferenceButton"));
    ReferenceButton->setEnabled(!referencePath().isEmpty());
    for (QPushButton *button : {GuideButton, ReferenceButton}) button->setAutoDefault(false);
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenExternalLinks(true);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(6, 6, 6, 0);
    buttons->addWidget(GuideButton);
    buttons->addWidget(ReferenceButton);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(Browser);
    resize(800, 680);

    connect(GuideButton, &QPushButton::clicked, this, &THelpViewer::showGuide);
    connect(ReferenceButton, &QPushButton::clicked, this, &THelpViewer::ReferenceButtonClick);
}

void THelpViewer::showReference(const QString &path) {
    showPage(QUrl::fromLocalFile(path), QStringLiteral("CorvexLink - DLL Commands Information"));
}

void THelpViewer::ReferenceButtonClick() {
    if (const QString path = referencePath(); !path.isEmpty()) showReference(path);
}

void THelpViewer::showGuide() {
    showPage(QUrl(QStringLiteral("qrc") + guidePath()),
             QStringLiteral("CorvexLink - Operator's Guide"));
}

void THelpViewer::showPage(const QUrl &page, const QString &title) {
    setWindowTitle(title);
    // The page from its top, also when it is already shown (scrolled, say).
    Browser->setSource(page);
    Browser->verticalScrollBar()->setValue(0);
    show();
    raise();
    activateWindow();
}

}  // namespace demo
