// SPDX-License-Identifier: MIT
// Every error number the library sets is one of the named constants of the public header:
// the library's sources pass a CORVEXLINK_ERR_ name (or a number that is already one, such
// as the station's answer code) wherever they set the error state, never a bare number.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "CorvexLink.h"
#include "declared_exports.h"

namespace {

namespace fs = std::filesystem;

struct ErrorCall {
    std::string file;
    std::string number;  // the first argument, blanks trimmed
};

// The first argument of every call that sets the error number in the library's sources
// (`errors.set(...)` or `call.errors().set(...)`).
std::vector<ErrorCall> errorCalls() {
    const std::regex call(R"(\berrors(\(\))?\s*\.\s*set\s*\(\s*([^,()]*(\(\))?)\s*,)");
    std::vector<ErrorCall> calls;
    for (const auto &entry : fs::recursive_directory_iterator(CORVEXLINK_LIBRARY_SOURCES)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        const std::string text = corvex::test::readWholeFile(entry.path().c_str());
        for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it)
            calls.push_back({entry.path().filename().string(), (*it)[2].str()});
    }
    return calls;
}

// The names of the header's error constants.
std::set<std::string> headerErrorNames() {
    const std::string header = corvex::test::readWholeFile(CORVEXLINK_PUBLIC_HEADER);
    const std::regex define(R"(#define\s+(CORVEXLINK_ERR_\w+)\s)");
    std::set<std::string> names;
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it)
        names.insert((*it)[1].str());
    return names;
}

TEST(ErrorNumbers, TheLibrarySetsOnlyNamedNumbers) {
    const std::set<std::string> names = headerErrorNames();
    // Arguments that carry a number which is already one of the constants: the station's
    // answer code (checked against the code range where it is set) and the number in place.
    const std::set<std::string> passedOn = {"code", "errors.number()"};
    int named = 0;
    for (const ErrorCall &c : errorCalls()) {
        SCOPED_TRACE(c.file + ": " + c.number);
        if (passedOn.count(c.number) != 0) continue;
        EXPECT_EQ(names.count(c.number), 1u) << "an error number without a header constant";
        ++named;
    }
    // The scan must have seen the library's calls, or it proves nothing.
    EXPECT_GE(named, 15);
}

TEST(ErrorNumbers, StationCodesAreOneToNineAndLibraryNumbersDoNotCollide) {
    const int station[] = {CORVEXLINK_ERR_OUT_OF_RANGE,   CORVEXLINK_ERR_SYNTAX,
                           CORVEXLINK_ERR_FIFO_FULL,      CORVEXLINK_ERR_SPI_NOT_CONFIGURED,
                           CORVEXLINK_ERR_SPI_NOT_MASTER, CORVEXLINK_ERR_MOTOR_RUNNING,
                           CORVEXLINK_ERR_LIMIT_SWITCH,   CORVEXLINK_ERR_RUNNING_DIRECTION,
                           CORVEXLINK_ERR_CANNOT_EXECUTE};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(station[i], i + 1);
    const int library[] = {CORVEXLINK_ERR_NONE,
                           CORVEXLINK_ERR_UNKNOWN_CODE,
                           CORVEXLINK_ERR_NO_PORT,
                           CORVEXLINK_ERR_NO_ANSWER,
                           CORVEXLINK_ERR_COMMAND_REJECTED,
                           CORVEXLINK_ERR_BAUD_RATE_CHANGE,
                           CORVEXLINK_ERR_PORT_NOT_OPEN,
                           CORVEXLINK_ERR_OPEN_FAILED,
                           CORVEXLINK_ERR_INIT_FAILED,
                           CORVEXLINK_ERR_USER_IO_REFUSED,
                           CORVEXLINK_ERR_FIFO_WAIT_EXPIRED};
    std::set<int> seen(std::begin(station), std::end(station));
    for (int number : library) EXPECT_TRUE(seen.insert(number).second) << number;
}

}  // namespace
