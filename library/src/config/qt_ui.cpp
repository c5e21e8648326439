#include "qt_ui.h"

#include <memory>

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "../platform/ui.h"
#include "CorvexLink.h"
#include "config.h"

namespace corvex::config {
namespace {

// Widgets can only be shown by the thread that runs the QApplication.
bool onGuiThread() {
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

bool showErrorBox(const char *title, const char *body) {
    if (!onGuiThread()) return false;
    QMessageBox box(QMessageBox::Critical, QString::fromLocal8Bit(title),
                    QString::fromLocal8Bit(body), QMessageBox::Ok);
    box.exec();
    return true;
}

void pumpEvents() {
    auto *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) QCoreApplication::processEvents();
}

// Shows the port dialog modally. The dialog is released when it closes: Form2 names it
// only while it is on screen, so no dialog outlives the QApplication that owns its
// resources.
bool showPortDialog() {
    if (!onGuiThread()) return false;
    auto dialog = std::make_unique<TForm2>();
    Form2 = dialog.get();
    dialog->exec();
    Form2 = nullptr;
    return true;
}

}  // namespace

void installQtUiHooks() {
    platform::UiHooks hooks;
    hooks.errorBox = showErrorBox;
    hooks.pumpMessages = pumpEvents;
    hooks.portDialog = showPortDialog;
    platform::installUiHooks(std::move(hooks));
}

}  // namespace corvex::config
