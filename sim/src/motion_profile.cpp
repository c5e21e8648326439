// SPDX-License-Identifier: MIT
#include "motion_profile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kx4417 {

MotionProfile::MotionProfile(double distance, double firstRate, double topRate, double accel)
    : distance_(distance), accel_(accel) {
    double top = std::max(topRate, 1.0);
    v0_ = std::clamp(firstRate, 1.0, top);
    peak_ = top;
    if (accel_ <= 0 || v0_ >= top) {
        v0_ = top;
        accel_ = 0;
    } else {
        rampTime_ = (top - v0_) / accel_;
        rampSteps_ = (v0_ + top) / 2 * rampTime_;
        if (!endless() && 2 * rampSteps_ >= distance_) {
            // Too short to reach the top rate: up half the way, down the other half.
            peak_ = std::sqrt(v0_ * v0_ + accel_ * distance_);
            rampTime_ = (peak_ - v0_) / accel_;
            rampSteps_ = distance_ / 2;
        }
    }
    if (!endless()) cruiseTime_ = std::max(0.0, distance_ - 2 * rampSteps_) / peak_;
}

double MotionProfile::duration() const {
    if (endless()) return std::numeric_limits<double>::infinity();
    return 2 * rampTime_ + cruiseTime_;
}

double MotionProfile::stepsAt(double t) const {
    if (t <= 0) return 0;
    if (t < rampTime_) return v0_ * t + accel_ * t * t / 2;
    if (endless()) return rampSteps_ + peak_ * (t - rampTime_);
    if (t < rampTime_ + cruiseTime_) return rampSteps_ + peak_ * (t - rampTime_);
    double down = std::min(t - rampTime_ - cruiseTime_, rampTime_);
    double steps = rampSteps_ + peak_ * cruiseTime_ + peak_ * down - accel_ * down * down / 2;
    return std::min(steps, distance_);
}

}  // namespace kx4417
