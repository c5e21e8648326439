#include "ui.h"

#include <mutex>

#include "diagnostics.h"

#if defined(CORVEXLINK_WITH_QT)
#include "../config/qt_ui.h"
#endif

namespace corvex::platform {
namespace {

UiHooks &hooks() {
    static UiHooks *h = new UiHooks;
    return *h;
}

void ensureToolkitHooks() {
#if defined(CORVEXLINK_WITH_QT)
    static std::once_flag once;
    std::call_once(once, [] { corvex::config::installQtUiHooks(); });
#endif
}

}  // namespace

void installUiHooks(UiHooks h) { hooks() = std::move(h); }

void showErrorBox(const char *title, const char *body) {
    ensureToolkitHooks();
    if (hooks().errorBox && hooks().errorBox(title, body)) return;
    // No GUI in this process: the box becomes a diagnostics line.
    diag("%s%s%s\n", title, body[0] ? ": " : "", body);
}

void pumpMessages() {
    ensureToolkitHooks();
    if (hooks().pumpMessages) hooks().pumpMessages();
}

bool runPortDialog() {
    ensureToolkitHooks();
    return hooks().portDialog && hooks().portDialog();
}

}  // namespace corvex::platform
