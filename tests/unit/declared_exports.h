// SPDX-License-Identifier: MIT
// The names that the public header declares with CORVEXLINK_API (functions and variables):
// what the shared library must export, each also with a leading underscore. Shared by the
// export-table tests of the Linux and the Windows builds.
#pragma once

#include <algorithm>
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
    const std::string text = readWholeFile(headerPath);
    // Comments and preprocessor lines out, by hand: std::regex recurses once per character
    // it matches, and the header's long comments overflow a Windows thread's 1 MB stack.
    std::string header;
    header.reserve(text.size());
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 2;
            header += ' ';
            continue;
        }
        if (lineStart && text[i] == '#') {
            i = std::min(text.find('\n', i), text.size());
            continue;
        }
        const char c = text[i++];
        if (c == '\n') {
            lineStart = true;
        } else if (c != ' ' && c != '\t') {
            lineStart = false;
        }
        header += c;
    }
    const std::regex declaration(R"(CORVEXLINK_API\s+[^;(]*?\b(\w+)\s*[(;])");
    std::set<std::string> names;
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
        names.insert((*it)[1].str());
    }
    return names;
}

}  // namespace corvex::test
