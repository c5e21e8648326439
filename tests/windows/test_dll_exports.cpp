// SPDX-License-Identifier: MIT
// CorvexLink.dll, loaded as a Windows caller loads it, offers every function of the public
// header under its plain name and with a leading underscore (the same entry), the variable
// Form2 likewise, and its export table holds nothing else.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "declared_exports.h"

namespace {

class DllExports : public ::testing::Test {
protected:
    void SetUp() override {
        declared_ = corvex::test::declaredExports(CORVEXLINK_PUBLIC_HEADER);
        ASSERT_GE(declared_.size(), 60u) << "the header parse found too few declarations";
        ASSERT_TRUE(declared_.count("PortOpen") && declared_.count("Form2"));
        module_ = ::LoadLibraryA(CORVEXLINK_DLL);
        ASSERT_NE(module_, nullptr)
            << "LoadLibrary(" << CORVEXLINK_DLL << ") failed, error " << ::GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }

    // The names in the DLL's export directory, read from the loaded image.
    std::set<std::string> exportTable() const {
        const auto *base = reinterpret_cast<const unsigned char *>(module_);
        const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
        const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY &dir =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        std::set<std::string> names;
        if (dir.VirtualAddress == 0) return names;
        const auto *exports =
            reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + dir.VirtualAddress);
        const auto *nameRvas = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            names.insert(reinterpret_cast<const char *>(base + nameRvas[i]));
        }
        return names;
    }

    std::set<std::string> declared_;
    HMODULE module_ = nullptr;
};

TEST_F(DllExports, EveryDeclaredExportUnderBothNamesIsOneEntry) {
    for (const std::string &name : declared_) {
        const FARPROC plain = ::GetProcAddress(module_, name.c_str());
        const FARPROC decorated = ::GetProcAddress(module_, ("_" + name).c_str());
        EXPECT_NE(plain, nullptr) << name;
        EXPECT_NE(decorated, nullptr) << "_" << name;
        EXPECT_EQ(plain, decorated) << name << " and _" << name << " are not the same entity";
    }
}

TEST_F(DllExports, NothingElseIsExported) {
    const std::set<std::string> table = exportTable();
    ASSERT_FALSE(table.empty()) << "no export directory in " << CORVEXLINK_DLL;
    std::set<std::string> allowed;
    for (const std::string &name : declared_) {
        allowed.insert(name);
        allowed.insert("_" + name);
    }
    for (const std::string &name : table)
        EXPECT_TRUE(allowed.count(name)) << "unexpected export " << name;
    EXPECT_EQ(table.size(), allowed.size());
}

TEST_F(DllExports, CallsThroughTheTableReachTheLibrary) {
    // A caller that looks the functions up by name gets working code, not just addresses:
    // closing a port that was never opened reports error 35 through both names.
    using IntFn = int(__cdecl *)();
    const auto portClose =
        reinterpret_cast<IntFn>(reinterpret_cast<void *>(::GetProcAddress(module_, "_PortClose")));
    const auto lastError = reinterpret_cast<IntFn>(
        reinterpret_cast<void *>(::GetProcAddress(module_, "ZelmarGetNumberError")));
    ASSERT_TRUE(portClose && lastError);
    EXPECT_EQ(portClose(), -1);
    EXPECT_EQ(lastError(), 35);
}

}  // namespace
