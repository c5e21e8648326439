// SPDX-License-Identifier: MIT
#include "help_window.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace demo {

QString referencePath() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString &candidate :
         {dir + QStringLiteral("/reference.html"),
          dir + QStringLiteral("/../share/doc/CorvexLink/reference.html")}) {
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).canonicalFilePath();
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
