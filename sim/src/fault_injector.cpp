// SPDX-License-Identifier: MIT
#include "fault_injector.h"

#include <algorithm>

namespace kx4417 {

namespace {

constexpr const char *kFaultNames[kFaultKinds] = {
    "drop",  "delay",    "garbage-before", "garbage-instead", "nul",
    "split", "overlong", "wrong-rate",     "two-stations",    "hang-up",
};

// The text of an over-long answer: printable, with line ends, and never a prompt.
constexpr std::string_view kOverlongPattern = "0123456789ABCDEF,\r\n";

std::string describe(Fault fault, const std::string &detail) {
    std::string text = faultName(fault);
    if (!detail.empty()) text += " " + detail;
    return text;
}

}  // namespace

const char *faultName(Fault fault) {
    const int index = static_cast<int>(fault);
    return index >= 0 && index < kFaultKinds ? kFaultNames[index] : "?";
}

FaultPlan FaultPlan::everyKind(double total, std::uint64_t seed) {
    FaultPlan plan;
    plan.seed = seed;
    const double each = std::clamp(total, 0.0, 1.0) / kFaultKinds;
    for (int k = 0; k < kFaultKinds; ++k)
        if (static_cast<Fault>(k) != Fault::HangUp)
            plan.probability[static_cast<std::size_t>(k)] = each;
    plan.hangUpAfter = each > 0 ? static_cast<int>(std::min(1e9, 1.0 / each + 0.5)) : 0;
    return plan;
}

void FaultInjector::configure(const FaultPlan &plan) {
    plan_ = plan;
    if (plan_.delayMax < plan_.delayMin) std::swap(plan_.delayMin, plan_.delayMax);
    rng_.seed(plan.seed);
    framesSinceHangUp_ = 0;
}

std::uint64_t FaultInjector::below(std::uint64_t n) { return n == 0 ? 0 : rng_() % n; }

double FaultInjector::unit() { return static_cast<double>(rng_() >> 11) * 0x1.0p-53; }

// Line noise: any byte but NUL (a fault of its own) and '>' (which would end an answer
// by itself).
std::string FaultInjector::noise(std::size_t count) {
    std::string bytes;
    while (bytes.size() < count) {
        const char c = static_cast<char>(1 + below(255));
        if (c != '>') bytes.push_back(c);
    }
    return bytes;
}

std::optional<Fault> FaultInjector::roll() {
    double u = unit();
    for (int k = 0; k < kFaultKinds; ++k) {
        const auto fault = static_cast<Fault>(k);
        if (fault == Fault::HangUp) continue;
        const double p = std::clamp(plan_[fault], 0.0, 1.0);
        if (u < p) return fault;
        u -= p;
    }
    return std::nullopt;
}

InjectedOutput FaultInjector::apply(const std::optional<std::string> &answer,
                                    const std::function<std::optional<std::string>()> &second) {
    if (plan_.hangUpAfter > 0 && ++framesSinceHangUp_ >= plan_.hangUpAfter) {
        framesSinceHangUp_ = 0;
        ++counts_[static_cast<std::size_t>(Fault::HangUp)];
        InjectedOutput out;
        out.hangUp = true;
        out.description =
            describe(Fault::HangUp,
                     "(line back in " + std::to_string(plan_.reconnectAfter.count()) + " ms)");
        return out;
    }
    InjectedOutput out;
    if (!answer) return out;
    const std::optional<Fault> fault = roll();
    if (!fault) {
        out.pieces.push_back({std::chrono::milliseconds(0), *answer});
        return out;
    }
    out = shape(*fault, *answer, second);
    if (!out.description.empty()) ++counts_[static_cast<std::size_t>(*fault)];
    return out;
}

InjectedOutput FaultInjector::shape(Fault fault, const std::string &answer,
                                    const std::function<std::optional<std::string>()> &second) {
    using std::chrono::milliseconds;
    InjectedOutput out;
    auto send = [&](std::string bytes, milliseconds offset = milliseconds(0)) {
        out.pieces.push_back({offset, std::move(bytes)});
    };
    switch (fault) {
    case Fault::Drop: out.description = describe(fault, ""); break;
    case Fault::Delay: {
        const auto span = static_cast<std::uint64_t>((plan_.delayMax - plan_.delayMin).count());
        const milliseconds delay = plan_.delayMin + milliseconds(below(span + 1));
        send(answer, delay);
        out.description = describe(fault, std::to_string(delay.count()) + " ms");
        break;
    }
    case Fault::GarbageBefore:
    case Fault::GarbageInstead: {
        const std::size_t count = 1 + below(8);
        send(fault == Fault::GarbageBefore ? noise(count) + answer : noise(count));
        out.description = describe(fault, std::to_string(count) + " bytes");
        break;
    }
    case Fault::Nul: {
        const std::size_t count = 1 + below(3);
        std::string bytes = answer;
        for (std::size_t i = 0; i < count; ++i) bytes.insert(below(bytes.size() + 1), 1, '\0');
        send(bytes);
        out.description = describe(fault, std::to_string(count) + " bytes");
        break;
    }
    case Fault::Split: {
        if (answer.size() < 2) {  // nothing to split: sent whole, no fault
            send(answer);
            break;
        }
        const std::size_t pieces = 2 + below(std::min<std::size_t>(3, answer.size() - 1));
        std::vector<std::size_t> cuts;
        while (cuts.size() < pieces - 1) {
            const std::size_t cut = 1 + below(answer.size() - 1);
            if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end()) cuts.push_back(cut);
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.push_back(answer.size());
        std::size_t from = 0;
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            send(answer.substr(from, cuts[i] - from), plan_.splitGap * static_cast<int>(i));
            from = cuts[i];
        }
        out.description = describe(fault, std::to_string(pieces) + " pieces " +
                                              std::to_string(plan_.splitGap.count()) + " ms apart");
        break;
    }
    case Fault::Overlong: {
        std::string bytes;
        bytes.reserve(plan_.overlongBytes);
        while (bytes.size() < plan_.overlongBytes)
            bytes += kOverlongPattern.substr(0, plan_.overlongBytes - bytes.size());
        send(std::move(bytes));
        out.description = describe(fault, std::to_string(plan_.overlongBytes) + " bytes");
        break;
    }
    case Fault::WrongRate: {
        std::string bytes = answer;
        for (char &c : bytes) c = static_cast<char>(0x80 | below(0x80));
        send(bytes);
        out.description = describe(fault, std::to_string(bytes.size()) + " bytes");
        break;
    }
    case Fault::TwoStations: {
        const std::optional<std::string> other = second();
        if (!other) {  // no second station on the line: answered alone, no fault
            send(answer);
            break;
        }
        send(answer + *other);
        out.description = describe(fault, "");
        break;
    }
    case Fault::HangUp: break;
    }
    return out;
}

}  // namespace kx4417
