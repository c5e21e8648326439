// SPDX-License-Identifier: MIT
// Where the core looks for its GUI module: the environment variable alone when set, else
// beside the core, then the installed library folder, never the same file twice.
#include <gtest/gtest.h>

#include "platform/ui_module.h"

using corvex::platform::uiModuleCandidates;

TEST(UiModuleSearch, TheEnvironmentVariableNamesTheOnlyFileTried) {
    EXPECT_EQ(uiModuleCandidates("/tmp/m.so", "/opt/lib", "/usr/lib"),
              std::vector<std::string>{"/tmp/m.so"});
}

TEST(UiModuleSearch, WithoutItTheFolderBesideTheCoreComesBeforeTheInstalledOne) {
    const std::vector<std::string> expected{"/opt/lib/corvexlink/corvexlink-qt-ui.so",
                                            "/usr/lib/corvexlink/corvexlink-qt-ui.so"};
    EXPECT_EQ(uiModuleCandidates(nullptr, "/opt/lib", "/usr/lib"), expected);
    EXPECT_EQ(uiModuleCandidates("", "/opt/lib", "/usr/lib"), expected)
        << "an empty variable counts as unset";
}

TEST(UiModuleSearch, AnInstalledCoreTriesItsFolderOnceAndUnknownFoldersAreSkipped) {
    EXPECT_EQ(uiModuleCandidates(nullptr, "/usr/lib", "/usr/lib"),
              std::vector<std::string>{"/usr/lib/corvexlink/corvexlink-qt-ui.so"});
    EXPECT_EQ(uiModuleCandidates(nullptr, "", ""), std::vector<std::string>{});
}
