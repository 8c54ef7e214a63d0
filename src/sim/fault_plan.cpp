// SPDX-License-Identifier: MIT
#include "sim/fault_plan.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

struct KindName {
    SimFault kind;
    std::string_view name;
};

constexpr std::array<KindName, 14> kNames = {{
    {SimFault::kNoiseBefore, "noise-before"},
    {SimFault::kNoiseAfter, "noise-after"},
    {SimFault::kDropByte, "drop-byte"},
    {SimFault::kBadChecksum, "bad-checksum"},
    {SimFault::kSplit, "split"},
    {SimFault::kLate, "late"},
    {SimFault::kSilence, "silence"},
    {SimFault::kException, "exception"},
    {SimFault::kOtherSlave, "other-slave"},
    {SimFault::kReboot, "reboot"},
    {SimFault::kNegativeConfirmation, "negative"},
    {SimFault::kUnknownCause, "cause"},
    {SimFault::kAcd, "acd"},
    {SimFault::kE5ForData, "e5"},
}};

// SplitMix64: a well-mixed 64-bit hash, enough for reproducible fault draws.
uint64_t Mix(uint64_t x) {
    x += 0x9E37'79B9'7F4A'7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58'476D'1CE4'E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D0'49BB'1331'11EBull;
    return x ^ (x >> 31);
}

std::optional<uint32_t> ParseUnsigned(std::string_view text) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A percentage such as "2.5" as parts per million.
std::optional<uint32_t> ParsePercentPpm(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(value > 0) ||
        value > 100) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(std::lround(value * 10'000));
}

}  // namespace

std::vector<PlannedFault> FaultPlan::At(uint32_t request) const {
    std::vector<PlannedFault> touching;
    for (size_t i = 0; i < faults_.size(); ++i) {
        const PlannedFault& f = faults_[i];
        const FaultWindow& w = f.window;
        if (request < w.fromRequest || (w.requests != 0 && request - w.fromRequest >= w.requests)) {
            continue;
        }
        if (w.chancePpm < 1'000'000) {
            const uint64_t draw = Mix(randomKey_ ^ Mix(uint64_t{i} << 32 | request)) % 1'000'000;
            if (draw >= w.chancePpm) {
                continue;
            }
        }
        PlannedFault applied = f;
        if (applied.amount == 0) {
            applied.amount = DefaultAmount(f.kind);
        }
        touching.push_back(applied);
    }
    return touching;
}

uint32_t DefaultAmount(SimFault kind) {
    switch (kind) {
        case SimFault::kNoiseBefore:
        case SimFault::kNoiseAfter:
            return 3;
        case SimFault::kSplit:
            return 30;
        case SimFault::kException:
            return 6;
        case SimFault::kReboot:
            return 2000;
        case SimFault::kUnknownCause:
            return 44;
        default:
            return 0;
    }
}

std::string_view FaultName(SimFault kind) {
    for (const KindName& k : kNames) {
        if (k.kind == kind) {
            return k.name;
        }
    }
    return "?";
}

std::optional<SimFault> FaultFromName(std::string_view name) {
    for (const KindName& k : kNames) {
        if (k.name == name) {
            return k.kind;
        }
    }
    return std::nullopt;
}

const std::vector<SimFault>& AllFaultKinds() {
    static const std::vector<SimFault> kinds = [] {
        std::vector<SimFault> all;
        for (const KindName& k : kNames) {
            all.push_back(k.kind);
        }
        return all;
    }();
    return kinds;
}

std::optional<PlannedFault> ParsePlannedFault(const std::string& text, std::string& error) {
    const std::string_view all(text);
    const size_t percentAt = all.find('%');
    const size_t windowAt = all.find('@');
    const size_t amountAt = all.find(':');
    const size_t nameEnd = std::min({amountAt, windowAt, percentAt, all.size()});
    // The parts must come in their order: name, amount, window, chance.
    if ((amountAt != std::string_view::npos && amountAt > std::min(windowAt, percentAt)) ||
        (windowAt != std::string_view::npos && windowAt > percentAt)) {
        error = "fault \"" + text + "\": KIND[:AMOUNT][@FROM[+COUNT]][%PERCENT]";
        return std::nullopt;
    }
    const auto kind = FaultFromName(all.substr(0, nameEnd));
    if (!kind) {
        error = "unknown fault \"" + std::string(all.substr(0, nameEnd)) + "\"";
        return std::nullopt;
    }
    PlannedFault fault;
    fault.kind = *kind;
    if (amountAt != std::string_view::npos) {
        const auto amount = ParseUnsigned(
            all.substr(amountAt + 1, std::min({windowAt, percentAt, all.size()}) - amountAt - 1));
        if (!amount || *amount == 0) {
            error = "fault \"" + text + "\": the amount is a positive number";
            return std::nullopt;
        }
        if (*kind == SimFault::kUnknownCause && (*amount < 44 || *amount > 47)) {
            error = "fault \"" + text + "\": the cause is 44 to 47";
            return std::nullopt;
        }
        fault.amount = *amount;
    }
    if (windowAt != std::string_view::npos) {
        const std::string_view window =
            all.substr(windowAt + 1, std::min(percentAt, all.size()) - windowAt - 1);
        const size_t plus = window.find('+');
        const auto from = ParseUnsigned(window.substr(0, plus));
        std::optional<uint32_t> count = 0u;
        if (plus != std::string_view::npos) {
            count = ParseUnsigned(window.substr(plus + 1));
        }
        if (!from || *from == 0 || !count || (plus != std::string_view::npos && *count == 0)) {
            error = "fault \"" + text + "\": @FROM[+COUNT] counts requests from 1";
            return std::nullopt;
        }
        fault.window.fromRequest = *from;
        fault.window.requests = *count;
    }
    if (percentAt != std::string_view::npos) {
        const auto ppm = ParsePercentPpm(all.substr(percentAt + 1));
        if (!ppm || *ppm == 0) {
            error = "fault \"" + text + "\": %PERCENT is above 0 and at most 100";
            return std::nullopt;
        }
        fault.window.chancePpm = *ppm;
    }
    return fault;
}
