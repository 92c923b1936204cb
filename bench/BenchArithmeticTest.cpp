// The arithmetic behind the benchmarks' verdicts, as tables of input and the
// figure or verdict expected: a wrong median, ratio or fit would pass a slow or
// leaking tool without a word.
#include "BenchArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

namespace {

const char* Name(Verdict verdict) {
    const char* const names[] = {"met", "missed", "failed measurement", "reported"};
    return names[static_cast<int>(verdict)];
}

TEST(BenchArithmeticTest, MedianAndSpread) {
    const struct Case {
        std::vector<double> values;
        double median, low, high;
    } cases[] = {
        {{}, 0, 0, 0},
        {{4}, 4, 4, 4},
        {{3, 1, 2}, 2, 1, 3},
        {{10, 1, 4, 2}, 3, 1, 10},
        {{-2, 5, 5, 5, 100}, 5, -2, 100},
    };
    for (const Case& c : cases) {
        const Spread spread = SpreadOf(c.values);
        SCOPED_TRACE(testing::PrintToString(c.values));
        EXPECT_EQ(c.median, Median(c.values));
        EXPECT_EQ(c.median, spread.median);
        EXPECT_EQ(c.low, spread.low);
        EXPECT_EQ(c.high, spread.high);
    }
}

TEST(BenchArithmeticTest, PairedRatiosAndTheirVerdict) {
    const struct Case {
        std::vector<double> measured, baseline, ratios;
        const char* verdict; // of the ratios against 1.2
    } cases[] = {
        {{1.1, 2.4, 3.0}, {1.0, 2.0, 3.0}, {1.1, 1.2, 1.0}, "met"},
        {{1.3, 2.6, 3.0}, {1.0, 2.0, 3.0}, {1.3, 1.3, 1.0}, "missed"},
        // One slow pair in three does not decide; two do.
        {{5.0, 1.0, 1.0}, {1.0, 1.0, 1.0}, {5.0, 1.0, 1.0}, "met"},
        // A baseline that took nothing, or a reading below zero, fails the row.
        {{1.0, 1.0}, {1.0, 0.0}, {1.0, -1}, "failed measurement"},
        {{-1.0, 1.0}, {1.0, 1.0}, {-1, 1.0}, "failed measurement"},
        {{}, {}, {}, "failed measurement"},
        // Only whole pairs count.
        {{1.0, 1.0, 9.0}, {1.0, 1.0}, {1.0, 1.0}, "met"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.measured) + " over " +
                     testing::PrintToString(c.baseline));
        const std::vector<double> ratios = PairRatios(c.measured, c.baseline);
        ASSERT_EQ(c.ratios.size(), ratios.size());
        for (size_t i = 0; i < ratios.size(); ++i) {
            EXPECT_DOUBLE_EQ(c.ratios[i], ratios[i]) << "pair " << i;
        }
        EXPECT_STREQ(c.verdict, Name(RatioAtMost(ratios, 1.2)));
    }
}

TEST(BenchArithmeticTest, GrowthPerCommandFittedOverARun) {
    // Readings of live bytes after every batch of 1,000 commands.
    std::vector<double> leak, leakWithJump, flatWithJump, flat, halfByteLeak;
    for (int batch = 0; batch <= 100; ++batch) {
        leak.push_back(50000 + batch * 1000.0);
        leakWithJump.push_back(50000 + batch * 1000.0 + (batch >= 37 ? 2000000 : 0));
        flatWithJump.push_back(50000 + (batch >= 50 ? 1000000 : 0));
        flat.push_back(50000 + (batch % 3 == 0 ? 16 : 0));
        halfByteLeak.push_back(50000 + batch * 500.0);
    }
    const struct Case {
        const char* name;
        const std::vector<double>& readings;
        double perCommand;
        const char* verdict; // against 0.5 bytes a command
    } cases[] = {
        {"a byte a command", leak, 1.0, "missed"},
        {"a byte a command and a jump of 2 MB", leakWithJump, 1.0, "missed"},
        {"flat with a jump of 1 MB halfway", flatWithJump, 0.0, "met"},
        {"flat with a block coming and going", flat, 0.0, "met"},
        {"half a byte a command", halfByteLeak, 0.5, "met"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double perCommand = GrowthPerUnit(c.readings, 1000);
        EXPECT_DOUBLE_EQ(c.perCommand, perCommand);
        EXPECT_STREQ(c.verdict, Name(AtMost(perCommand, 0.5)));
    }
    EXPECT_EQ(0, GrowthPerUnit({7}, 1000)) << "one reading gives no growth";
}

TEST(BenchArithmeticTest, VerdictAgainstAnUpperBound) {
    const struct Case {
        double measured, limit;
        const char* verdict;
    } cases[] = {
        {0.0, 150, "met"},
        {150, 150, "met"},
        {150.1, 150, "missed"},
        {-0.1, 150, "failed measurement"},
        {std::nan(""), 1, "failed measurement"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.verdict, Name(AtMost(c.measured, c.limit)))
            << c.measured << " against " << c.limit;
    }
}

TEST(BenchArithmeticTest, GrowthBoundFromTheBaselineRuns) {
    const struct Case {
        std::vector<double> baselineRuns; // bytes a command, one per run
        double bound;                     // with an allowance of 0.5
    } cases[] = {
        {{0, 0, 0}, 0.5},
        {{0, 2.0, 0.1}, 2.5},
        // A baseline that shrank allows no growth beyond the allowance.
        {{-3, -1}, 0.5},
        {{}, 0.5},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(c.bound, GrowthBound(c.baselineRuns, 0.5))
            << testing::PrintToString(c.baselineRuns);
    }
}

} // namespace
