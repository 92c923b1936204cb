// The arithmetic of the benchmarks' verdicts, apart from any measuring so that
// it has tests of its own: medians with their spread, the ratios of paired
// runs, growth per command fitted over a run's readings, and the verdict of a
// figure against its bound.
#ifndef ZAL_BENCH_BENCHARITHMETIC_H
#define ZAL_BENCH_BENCHARITHMETIC_H

#include <vector>

double Median(std::vector<double> values);

// The median of several repetitions and the lowest and highest of them.
struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};
Spread SpreadOf(const std::vector<double>& values);

// Each measured value over its paired baseline value (the one taken beside it);
// -1 for a pair whose baseline is not above zero or whose measured value is
// below zero, so that it fails its row. Pairs beyond the shorter list are left
// out.
std::vector<double> PairRatios(const std::vector<double>& measured,
                               const std::vector<double>& baseline);

// The growth per unit of readings taken after every `step` units of a run: the
// median of the growth between one reading and the next, over `step`. A one-off
// jump moves one of the differences and not their median; a steady leak moves
// every one of them. 0 for fewer than two readings.
double GrowthPerUnit(const std::vector<double>& readings, double step);

// The bound of a tool's growth per command beside its baseline's runs: the
// baseline's worst run (what the path itself grows by, never below 0) plus
// `allowance`.
double GrowthBound(const std::vector<double>& baselineRuns, double allowance);

// What a row says about its figure: its bound met or missed; a failed
// measurement (a figure that cannot be right, such as a ratio or a time below
// zero, or one that could not be taken); or a row that only reports.
enum class Verdict { Met, Missed, Failed, Reported };

// The verdict of `measured` against an upper `limit`: Failed when `measured`
// is below zero or not a number.
Verdict AtMost(double measured, double limit);

// The verdict of the median ratio of paired runs against `limit`: Failed when
// there is no pair or any pair's ratio failed (see PairRatios).
Verdict RatioAtMost(const std::vector<double>& ratios, double limit);

#endif
