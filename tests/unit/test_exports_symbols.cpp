// SPDX-License-Identifier: MIT
// The built shared library exports every function of the public header under its plain
// name and with a leading underscore, the variable Form2, and nothing else.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>

#include <cstdint>
#include <cstring>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "CorvexLink.h"
#include "declared_exports.h"

namespace {

using corvex::test::readWholeFile;

std::set<std::string> declaredExports() {
    return corvex::test::declaredExports(CORVEXLINK_PUBLIC_HEADER);
}

// The defined symbols of one kind of table (SHT_DYNSYM or SHT_SYMTAB) of an ELF shared
// object; with `exportsOnly`, the global ones of default visibility: what a caller can look
// up. `found` tells whether the object has such a table at all.
std::set<std::string> definedSymbols(const char *path, std::uint32_t table, bool exportsOnly,
                                     bool *found = nullptr) {
    const std::string image = readWholeFile(path);
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr) || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0)
        return names;
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    const auto section = [&](std::size_t index) {
        Elf64_Shdr s;
        std::memcpy(&s, image.data() + header.e_shoff + index * header.e_shentsize, sizeof s);
        return s;
    };
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != table) continue;
        if (found != nullptr) *found = true;
        const Elf64_Shdr strings = section(symbols.sh_link);
        for (std::size_t offset = 0; offset + sizeof(Elf64_Sym) <= symbols.sh_size;
             offset += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, image.data() + symbols.sh_offset + offset, sizeof sym);
            const int binding = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || sym.st_name == 0) continue;
            if (exportsOnly && binding != STB_GLOBAL && binding != STB_WEAK) continue;
            if (exportsOnly && ELF64_ST_VISIBILITY(sym.st_other) != STV_DEFAULT) continue;
            names.insert(image.data() + strings.sh_offset + sym.st_name);
        }
    }
    return names;
}

std::set<std::string> dynamicExports(const char *path) {
    return definedSymbols(path, SHT_DYNSYM, true);
}

}  // namespace

TEST(SharedLibraryExports, EveryDeclaredExportUnderBothNames) {
    const std::set<std::string> declared = declaredExports();
    ASSERT_GE(declared.size(), 60u) << "the header parse found too few declarations";
    ASSERT_TRUE(declared.count("PortOpen") && declared.count("FIFOMotorWait") &&
                declared.count("Form2") && declared.count("CorvexLinkSetDebugHandler"));

    void *library = dlopen(CORVEXLINK_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const std::string &name : declared) {
        void *plain = dlsym(library, name.c_str());
        void *decorated = dlsym(library, ("_" + name).c_str());
        EXPECT_NE(plain, nullptr) << name;
        EXPECT_NE(decorated, nullptr) << "_" << name;
        EXPECT_EQ(plain, decorated) << name << " and _" << name << " are not the same entity";
    }
    dlclose(library);
}

TEST(SharedLibraryExports, NothingElseIsExported) {
    const std::set<std::string> declared = declaredExports();
    std::set<std::string> allowed;
    for (const std::string &name : declared) {
        allowed.insert(name);
        allowed.insert("_" + name);
    }
    const std::set<std::string> exported = dynamicExports(CORVEXLINK_SHARED_LIBRARY);
    ASSERT_FALSE(exported.empty()) << "no dynamic symbols read from " << CORVEXLINK_SHARED_LIBRARY;
    for (const std::string &name : exported)
        EXPECT_TRUE(allowed.count(name)) << "unexpected export " << name;
    EXPECT_EQ(exported.size(), allowed.size());
}

// The seams the tests use to reach the library's state are compiled into the tests alone:
// nothing of them is in the shared library, exported or not.
TEST(SharedLibraryExports, NoTestSeamIsInTheLibrary) {
    bool hasSymbolTable = false;
    const std::set<std::string> all =
        definedSymbols(CORVEXLINK_SHARED_LIBRARY, SHT_SYMTAB, false, &hasSymbolTable);
    ASSERT_TRUE(hasSymbolTable) << "the built library has no symbol table to check";
    ASSERT_GT(all.size(), 200u);
    const std::set<std::string> dynamic =
        definedSymbols(CORVEXLINK_SHARED_LIBRARY, SHT_DYNSYM, false);
    for (const std::set<std::string> *names : {&all, &dynamic}) {
        for (const std::string &name : *names) {
            for (const char *seam : {"ForTest", "LineAccess", "SystemPathsAccess"})
                EXPECT_EQ(name.find(seam), std::string::npos) << name;
        }
    }
}

// The header is the reference: every export carries its own comment right before its
// declaration, so a new export cannot slip in undocumented behind its neighbour's comment.
TEST(PublicHeader, EveryExportIsDocumentedWhereItIsDeclared) {
    const std::string header = corvex::test::readWholeFile(CORVEXLINK_PUBLIC_HEADER);
    const std::regex declaration(R"(\n(extern\s+)?CORVEXLINK_API\s+[^;(]*?\b(\w+)\s*[(;])");
    int seen = 0;
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
        ++seen;
        const std::string before = header.substr(0, static_cast<std::size_t>(it->position()));
        const std::size_t close = before.find_last_not_of(" \t\n");
        const bool commented =
            close != std::string::npos && close >= 1 && before.compare(close - 1, 2, "*/") == 0;
        EXPECT_TRUE(commented) << (*it)[2] << " is declared without a comment of its own";
    }
    EXPECT_GE(seen, 60) << "the header parse found too few declarations";
}

// The export table is the one declaration: the header declares exactly what the table
// lists, and the table gives every line form for its function.
TEST(PublicHeader, DeclaresExactlyTheExportTable) {
    std::set<std::string> tabled;
    std::istringstream rows(CorvexLinkGetExports());
    std::string row;
    while (std::getline(rows, row)) {
        const std::size_t b = row.find('|', row.find('|') + 1);
        tabled.insert(row.substr(b + 1, row.find('|', b + 1) - b - 1));
    }
    EXPECT_EQ(tabled, declaredExports());
    EXPECT_TRUE(tabled.count("MotorGetPosition") && tabled.count("CorvexLinkLineMotorGetPosition"));
}

// Every constant the header defines is in the text of CorvexLinkGetConstants, with the
// header's own value, and nothing else is.
TEST(PublicHeader, ConstantsTextHoldsEveryConstantOfTheHeader) {
    const std::string header = corvex::test::readWholeFile(CORVEXLINK_PUBLIC_HEADER);
    const std::regex define(R"(\n#define (CORVEXLINK_\w+) ([^\n/]+?)\s*(/\*.*)?(?=\n))");
    std::set<std::string> defined;
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
        if ((*it)[1] == "CORVEXLINK_H") continue;
        defined.insert((*it)[1].str() + "=" + (*it)[2].str());
    }
    std::set<std::string> listed;
    std::istringstream rows(CorvexLinkGetConstants());
    for (std::string row; std::getline(rows, row);) listed.insert(row);
    EXPECT_GE(defined.size(), 70u);
    EXPECT_EQ(listed, defined);
}
