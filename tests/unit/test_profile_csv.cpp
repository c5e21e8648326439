// SPDX-License-Identifier: MIT
// The profile CSV format: what the writer puts down the reader takes back unchanged, the
// writer refuses what a station's FIFO cannot take before writing anything, and a refused
// line is named by its number and its reason.
#include <gtest/gtest.h>

#include <sstream>

#include "profile_csv.h"

using namespace corvexlink::profilecsv;

namespace {

std::vector<Segment> read(const std::string &text) {
    std::istringstream in(text);
    return readProfile(in, "p.csv");
}

}  // namespace

TEST(ProfileCsv, WrittenProfilesAreReadBackWithTheirLimitsAndSigns) {
    const std::vector<Segment> profile{{kFirstRateMin, kSlopeMin, kStepsMin},
                                       {2252, 1, 400},
                                       {kFirstRateMax, kSlopeMax, kStepsMax},
                                       {120, 0, -8}};
    std::ostringstream out;
    writeProfile(out, profile, "p.csv");
    EXPECT_EQ(out.str(), std::string(kHeader) +
                             "\n16,-256,-8388607\n2252,1,400\n10239,255,8388607\n120,0,-8\n");
    EXPECT_EQ(read(out.str()), profile);
}

TEST(ProfileCsv, TheWriterRefusesWhatAFifoCannotTakeBeforeWritingAnything) {
    std::ostringstream out;
    try {
        writeProfile(out, {{200, 2, 300}, {200, 2, 300}, {200, 300, 10}}, "ramp.csv");
        FAIL() << "a slope of 300 was written";
    } catch (const ProfileError &e) {
        EXPECT_EQ(e.line(), 0);
        EXPECT_EQ(e.reason(), "segment 3: slope 300 is outside -256..255");
        EXPECT_STREQ(e.what(), "ramp.csv: segment 3: slope 300 is outside -256..255");
    }
    EXPECT_EQ(out.str(), "");

    EXPECT_THROW(writeProfile(out, {}, "empty.csv"), ProfileError);
    EXPECT_EQ(segmentProblem({15, 0, 1}), "first rate 15 is outside 16-10239");
    EXPECT_EQ(segmentProblem({16, 0, 8388608}), "steps 8388608 is outside -8388607..8388607");
    EXPECT_EQ(segmentProblem({16, 0, 0}), std::nullopt);
}

TEST(ProfileCsv, ARefusedLineIsNamedByItsNumberAndItsReason) {
    try {
        read("Speed ,Acce., Step N.\n# up\n200,2,300\n\n1200,x,600\n");
        FAIL() << "the slope x was read";
    } catch (const ProfileError &e) {
        EXPECT_EQ(e.line(), 5);
        EXPECT_EQ(e.reason(), "slope 'x' is not a whole number -256..255");
        EXPECT_STREQ(e.what(), "p.csv:5: slope 'x' is not a whole number -256..255");
    }
    try {
        read("\xEF\xBB\xBF# only a comment\n");
        FAIL() << "a file without segments was read";
    } catch (const ProfileError &e) {
        EXPECT_EQ(e.line(), 0);
        EXPECT_STREQ(e.what(), "p.csv: no segment in the file");
    }
}
