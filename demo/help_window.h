// SPDX-License-Identifier: MIT
// The in-program viewer of the library's reference (the help item of the main window).
#pragma once

#include <QDialog>

class QTextBrowser;

namespace demo {

// Where the first page of the library's reference lies: in the documentation folder of an
// installation, or where the build generated it. Empty when it is not found.
QString referencePath();

class THelpViewer : public QDialog {
    Q_OBJECT

public:
    explicit THelpViewer(QWidget *parent = nullptr);

    // Shows the page at `path` from its top and brings the viewer forward.
    void showReference(const QString &path);

    QTextBrowser *Browser;
};

}  // namespace demo
