// SPDX-License-Identifier: MIT
// Step count over time of one move or jog: a trapezoid from the first rate up to the top
// rate at a constant acceleration, a stretch at the top rate, and (for moves) the same
// ramp down. Zero acceleration means the whole move runs at the top rate.
#pragma once

namespace kx4417 {

class MotionProfile {
public:
    // distance < 0: a jog (no end, no ramp down).
    MotionProfile(double distance, double firstRate, double topRate, double accel);

    bool endless() const { return distance_ < 0; }
    double duration() const;         // seconds; infinite for a jog
    double stepsAt(double t) const;  // steps done after t seconds of running

private:
    double distance_;
    double v0_;
    double peak_;
    double accel_;
    double rampTime_ = 0;   // seconds up (and down)
    double rampSteps_ = 0;  // steps up (and down)
    double cruiseTime_ = 0;
};

}  // namespace kx4417
