// SPDX-License-Identifier: MIT
// The beep of a given pitch and length: generated as samples and played on the default
// audio output, for the address dialog's verification signal.
#pragma once

#include <cstdint>
#include <vector>

namespace demo {

inline constexpr int kToneSampleRate = 48000;

// A sine tone of `hertz` for `milliseconds` as signed 16-bit mono samples at `sampleRate`,
// at half full scale, with a rise and a fall of 2 ms so that the speaker does not click.
// Empty when a value is not positive.
std::vector<std::int16_t> toneSamples(int hertz, int milliseconds,
                                      int sampleRate = kToneSampleRate);

// Starts the tone on the default audio output and returns at once. False when there is no
// output device or it refuses the tone; the caller then sounds the plain beep.
bool playTone(int hertz, int milliseconds);

}  // namespace demo
