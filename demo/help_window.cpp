// SPDX-License-Identifier: MIT
#include "help_window.h"

#include <QCoreApplication>
#include <QFileInfo>
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

THelpViewer::THelpViewer(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("CorvexLink - DLL Commands Information"));
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
    resize(760, 640);
}

void THelpViewer::showReference(const QString &path) {
    Browser->setSource(QUrl::fromLocalFile(path));
    Browser->home();
    show();
    raise();
    activateWindow();
}

}  // namespace demo
