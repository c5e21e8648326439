// The Qt side of the library's user interface: real message boxes, the event pump and the
// port dialog, used whenever the calling process runs a QApplication.
#pragma once

namespace corvex::config {

// Installs the Qt implementations of the UI hooks. Safe to call more than once. Each hook
// checks at call time whether a QApplication exists and whether it is called on that
// application's thread; if not, it reports "nothing shown" and the library falls back to
// its headless behaviour (box texts to the diagnostics sink, no dialog, no pump).
void installQtUiHooks();

}  // namespace corvex::config
