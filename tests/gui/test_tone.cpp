// SPDX-License-Identifier: MIT
// The verification beep's samples: pitch, length, level and the soft edges that keep the
// speaker from clicking. The speaker itself is not played here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tone.h"

namespace {

// Sign changes from one sample to the next (exact zeros are skipped).
int zeroCrossings(const std::vector<std::int16_t> &samples) {
    int crossings = 0;
    int previous = 0;
    for (std::int16_t s : samples) {
        if (s == 0) continue;
        const int sign = s > 0 ? 1 : -1;
        if (previous != 0 && sign != previous) ++crossings;
        previous = sign;
    }
    return crossings;
}

int peak(const std::vector<std::int16_t> &samples, std::size_t from, std::size_t to) {
    int highest = 0;
    for (std::size_t i = from; i < to; ++i) highest = std::max(highest, std::abs(int{samples[i]}));
    return highest;
}

TEST(Tone, TheVerificationBeepIsAThousandHertzForFiftyMilliseconds) {
    const std::vector<std::int16_t> samples = demo::toneSamples(1000, 50);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(demo::kToneSampleRate / 20));
    // Two sign changes per period: 50 periods in 50 ms.
    EXPECT_NEAR(zeroCrossings(samples), 100, 1);
    // Half of full scale in the middle.
    EXPECT_NEAR(peak(samples, samples.size() / 4, 3 * samples.size() / 4), 16384, 200);
}

TEST(Tone, PitchLengthAndRateFollowTheArguments) {
    const std::vector<std::int16_t> samples = demo::toneSamples(440, 250, 8000);
    ASSERT_EQ(samples.size(), 2000u);
    EXPECT_NEAR(zeroCrossings(samples), 220, 1);
    EXPECT_NEAR(zeroCrossings(demo::toneSamples(3000, 10, 44100)), 60, 1);
}

TEST(Tone, RisesFromSilenceAndFallsBackToIt) {
    const std::vector<std::int16_t> samples = demo::toneSamples(1000, 50);
    const std::size_t ramp = demo::kToneSampleRate / 500;  // 2 ms
    EXPECT_EQ(samples.front(), 0);
    EXPECT_LT(std::abs(int{samples.back()}), 200);
    // Quiet at the very edges, full in the middle: no step the speaker would click on.
    EXPECT_LT(peak(samples, 0, ramp / 8), 1000);
    EXPECT_LT(peak(samples, samples.size() - ramp / 8, samples.size()), 1000);
    EXPECT_GT(peak(samples, ramp, 2 * ramp), 16000);
}

TEST(Tone, NothingToPlayForANonPositivePitchOrLength) {
    EXPECT_TRUE(demo::toneSamples(0, 50).empty());
    EXPECT_TRUE(demo::toneSamples(1000, 0).empty());
    EXPECT_TRUE(demo::toneSamples(-1000, 50).empty());
    EXPECT_TRUE(demo::toneSamples(1000, 50, 0).empty());
    EXPECT_FALSE(demo::playTone(1000, 0));
}

}  // namespace
