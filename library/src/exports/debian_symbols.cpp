// SPDX-License-Identifier: MIT
// Writes the Debian symbols file of libcorvexlink2 from the library's export table: every
// export under its name and with a leading underscore, each with the package version that
// first carried it. Run by the build, so the file names exactly what the library exports.
//
//   corvexlink-debian-symbols <major> > symbols
#include <cstdio>
#include <sstream>
#include <string>

#include "CorvexLink.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <soname major version>\n", argv[0]);
        return 2;
    }
    std::printf("libCorvexLink.so.%s libcorvexlink2 #MINVER#\n", argv[1]);
    std::printf("* Build-Depends-Package: libcorvexlink-dev\n");
    std::istringstream rows(CorvexLinkGetExports());
    std::string row;
    int written = 0;
    while (std::getline(rows, row)) {
        // since|type|name|parameters
        const std::size_t a = row.find('|');
        const std::size_t b = row.find('|', a + 1);
        const std::size_t c = row.find('|', b + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos) continue;
        const std::string since = row.substr(0, a);
        const std::string name = row.substr(b + 1, c - b - 1);
        std::printf(" %s@Base %s\n _%s@Base %s\n", name.c_str(), since.c_str(), name.c_str(),
                    since.c_str());
        ++written;
    }
    return written > 0 ? 0 : 1;
}
