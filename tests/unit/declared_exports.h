// SPDX-License-Identifier: MIT
// The names that the public header declares with CORVEXLINK_API (functions and variables):
// what the shared library must export, each also with a leading underscore. Shared by the
// export-table tests of the Linux and the Windows builds.
#pragma once

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace corvex::test {

inline std::string readWholeFile(const char *path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::set<std::string> declaredExports(const char *headerPath) {
    std::string header = readWholeFile(headerPath);
    header = std::regex_replace(header, std::regex(R"(/\*[\s\S]*?\*/)"), " ");  // comments
    header = std::regex_replace(header, std::regex(R"((^|\n)[ \t]*#[^\n]*)"),
                                "\n");  // preprocessor lines
    const std::regex declaration(R"(CORVEXLINK_API\s+[^;(]*?\b(\w+)\s*[(;])");
    std::set<std::string> names;
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
        names.insert((*it)[1].str());
    }
    return names;
}

}  // namespace corvex::test
