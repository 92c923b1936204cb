// The benchmarks' arithmetic (see BenchArithmetic.h).
#include "BenchArithmetic.h"

#include <algorithm>

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Spread SpreadOf(const std::vector<double>& values) {
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    spread.median = Median(values);
    spread.low = *std::min_element(values.begin(), values.end());
    spread.high = *std::max_element(values.begin(), values.end());
    return spread;
}

std::vector<double> PairRatios(const std::vector<double>& measured,
                               const std::vector<double>& baseline) {
    std::vector<double> ratios;
    for (size_t i = 0; i < measured.size() && i < baseline.size(); ++i) {
        ratios.push_back(baseline[i] > 0 && measured[i] >= 0 ? measured[i] / baseline[i] : -1);
    }
    return ratios;
}

double GrowthPerUnit(const std::vector<double>& readings, double step) {
    std::vector<double> differences;
    for (size_t i = 1; i < readings.size(); ++i) {
        differences.push_back(readings[i] - readings[i - 1]);
    }
    return differences.empty() || step <= 0 ? 0 : Median(differences) / step;
}

double GrowthBound(const std::vector<double>& baselineRuns, double allowance) {
    double worst = 0;
    for (double run : baselineRuns) {
        worst = std::max(worst, run);
    }
    return worst + allowance;
}

Verdict AtMost(double measured, double limit) {
    if (!(measured >= 0)) {
        return Verdict::Failed;
    }
    return measured <= limit ? Verdict::Met : Verdict::Missed;
}

Verdict RatioAtMost(const std::vector<double>& ratios, double limit) {
    if (ratios.empty() || *std::min_element(ratios.begin(), ratios.end()) < 0) {
        return Verdict::Failed;
    }
    return AtMost(Median(ratios), limit);
}
