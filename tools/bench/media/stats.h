#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

// Median and 95th percentile (nearest rank) of a sample, in its own unit.
struct Summary {
    double median = 0;
    double p95 = 0;
};

inline Summary summarize(std::vector<double> values) {
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    const auto rank = [&](double q) {
        const auto index = static_cast<std::size_t>(std::ceil(q * values.size()));
        return values[std::clamp<std::size_t>(index, 1, values.size()) - 1];
    };
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return Summary{median, rank(0.95)};
}
