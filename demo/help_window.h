// SPDX-License-Identifier: MIT
// The in-program help: the operator's guide, compiled into the program, and the viewer of
// the library's reference (the help items of the main window), one beside the other.
#pragma once

#include <QDialog>

class QPushButton;
class QTextBrowser;
class QUrl;

namespace demo {

// Where the first page of the library's reference lies: in the documentation folder of an
// installation, or where the build generated it. Empty when it is not found.
QString referencePath();

// The first page of the operator's guide (a page of the program's resources).
QString guidePath();

class THelpViewer : public QDialog {
    Q_OBJECT

public:
    explicit THelpViewer(QWidget *parent = nullptr);

    // Shows the page at `path` from its top and brings the viewer forward.
    void showReference(const QString &path);
    // Shows the operator's guide from its top and brings the viewer forward.
    void showGuide();

    QPushButton *GuideButton;      // "Operator's &Guide"
    QPushButton *ReferenceButton;  // "&Library Reference"; disabled when none is found
    QTextBrowser *Browser;

private slots:
    void ReferenceButtonClick();

private:
    void showPage(const QUrl &page, const QString &title);
};

}  // namespace demo
