// SPDX-License-Identifier: MIT
// The order in which the GUI module's file is looked for; the same on every platform.
#include "ui_module.h"

namespace corvex::platform {

std::vector<std::string> uiModuleCandidates(const char *envValue, const std::string &coreDir,
                                            const std::string &installLibDir) {
    if (envValue && envValue[0]) return {envValue};
    std::vector<std::string> files;
    for (const std::string &dir : {coreDir, installLibDir}) {
        if (dir.empty()) continue;
        std::string file = dir + "/" + kUiModuleSubdir + "/" + kUiModuleFileName;
        bool seen = false;
        for (const std::string &f : files) seen = seen || f == file;
        if (!seen) files.push_back(std::move(file));
    }
    return files;
}

}  // namespace corvex::platform
