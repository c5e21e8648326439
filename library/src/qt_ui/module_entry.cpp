// SPDX-License-Identifier: MIT
// The GUI module's entry point: the event pump and the port dialog, used whenever the calling
// thread runs the process's QApplication. Built as a shared object of its own that the core loads
// at run time; it does not link the core.
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QThread>

#include "../platform/ui_module.h"
#include "port_dialog.h"

namespace corvex::qt_ui {
namespace {

const platform::UiModuleCore *core = nullptr;

// Widgets can only be shown by the thread that runs the QApplication.
bool onGuiThread() {
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

void pumpEvents() {
    auto *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) QCoreApplication::processEvents();
}

// Shows the port dialog modally. The dialog is released when it closes: Form2 names it
// only while it is on screen, so no dialog outlives the QApplication that owns its
// resources.
bool showPortDialog(std::int32_t *selectedPort, std::int32_t *selectedBaudRate) {
    if (!onGuiThread()) return false;
    auto dialog = std::make_unique<TForm2>(*selectedPort, *selectedBaudRate);
    // Each port item names the device behind its number, so a user can tell which
    // adapter "2" is without reading the configuration.
    for (int i = 0; core->portDevice && i < dialog->Port1->count(); ++i) {
        char device[512];
        core->portDevice(i + 1, device, sizeof device);
        dialog->Port1->setItemData(i, QString::fromLocal8Bit(device), Qt::ToolTipRole);
    }
    *core->form2 = dialog.get();
    dialog->exec();
    *core->form2 = nullptr;
    return true;
}

}  // namespace
}  // namespace corvex::qt_ui

extern "C" __attribute__((visibility("default"))) int
corvexlink_ui_module_init(const corvex::platform::UiModuleCore *core,
                          corvex::platform::UiModuleHooks *hooks) {
    using namespace corvex;
    if (!core || !hooks || core->size != sizeof(platform::UiModuleCore) ||
        hooks->size != sizeof(platform::UiModuleHooks) || !core->form2)
        return 0;
    qt_ui::core = core;
    hooks->pumpMessages = qt_ui::pumpEvents;
    hooks->portDialog = qt_ui::showPortDialog;
    return 1;
}
