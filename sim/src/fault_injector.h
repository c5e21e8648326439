// SPDX-License-Identifier: MIT
// Decides which fault, if any, hits the answer to one frame and shapes the bytes the line
// then carries. Deterministic: one generator seeded from the plan, no clock and no I/O, so
// the same seed and the same frames always give the same faults.
#pragma once

#include <kx4417/simulator.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kx4417 {

// What the line carries for one frame once the fault (if any) is applied.
struct InjectedOutput {
    struct Piece {
        std::chrono::milliseconds offset{0};  // after the time the answer would have gone out
        std::string bytes;
    };
    std::vector<Piece> pieces;
    bool hangUp = false;      // the line goes away instead (no answer)
    std::string description;  // "" when no fault was injected
};

class FaultInjector {
public:
    void configure(const FaultPlan &plan);
    const FaultPlan &plan() const { return plan_; }

    // Shapes the output of one non-empty frame. `answer` is what the stations would send
    // (none when nobody answers: only a hang-up can hit such a frame); `second` gives the
    // answer of another station and is asked only when that fault is chosen.
    InjectedOutput apply(const std::optional<std::string> &answer,
                         const std::function<std::optional<std::string>()> &second);

    const FaultCounts &counts() const { return counts_; }

private:
    std::uint64_t below(std::uint64_t n);  // uniform in [0, n)
    double unit();                         // uniform in [0, 1)
    std::string noise(std::size_t count);
    std::optional<Fault> roll();
    InjectedOutput shape(Fault fault, const std::string &answer,
                         const std::function<std::optional<std::string>()> &second);

    FaultPlan plan_;
    std::mt19937_64 rng_{1};
    FaultCounts counts_{};
    int framesSinceHangUp_ = 0;
};

}  // namespace kx4417
