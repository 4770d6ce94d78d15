#pragma once

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <vector>

namespace tivela::bench {

using Clock = std::chrono::steady_clock;

// Wall time since a moment, in milliseconds.
inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The sample below which a fraction of the samples lie (0.5: the median).
inline double percentile(std::vector<double> samples, double fraction) {
    const auto at = samples.begin() + qsizetype(double(samples.size() - 1) * fraction);
    std::nth_element(samples.begin(), at, samples.end());
    return *at;
}

} // namespace tivela::bench
