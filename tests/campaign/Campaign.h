// The frame of every seeded campaign program: its arguments (--seed N --runs N, --first N to
// start further on, --run N to replay one run alone), the seed and size a whole campaign asks for
// in the environment (ZAL_CAMPAIGN_SEED, ZAL_CAMPAIGN_SIZE), a generator of its own for each run,
// so that run R of seed S gives the same case whether run alone or among others, the report of a
// broken invariant with the seed and run that replay it, the summary line (the campaign's row of
// the table), and a crash report that names the run that crashed.
#ifndef ZAL_TESTS_CAMPAIGN_H
#define ZAL_TESTS_CAMPAIGN_H

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

class CaseRandom {
public:
    explicit CaseRandom(uint64_t seed) : state_(seed) {}
    uint32_t Next();
    // Uniform in 0..n-1 (n > 0).
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>((uint64_t(Next()) * n) >> 32); }
    // Uniform in low..high.
    uint32_t Between(uint32_t low, uint32_t high) { return low + Below(high - low + 1); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }

private:
    uint64_t state_;
};

class Campaign {
public:
    // Reads the arguments, then the environment: ZAL_CAMPAIGN_SEED replaces the seed and
    // ZAL_CAMPAIGN_SIZE (a percentage of the full size) the number of runs, which is
    // fullRuns from run fullFirst at 100. --run ignores both. On a bad argument or value
    // prints the usage and ends the process.
    Campaign(const std::string& name, int argc, char** argv, uint32_t fullRuns,
             uint32_t fullFirst = 0);

    // True while runs are left; makes the next run current.
    bool NextRun();
    uint32_t Run() const { return run_; }
    // The generator of the current run.
    CaseRandom& Random() { return random_; }

    // Reports a broken invariant of the current run (once per run is counted).
    void Broken(const std::string& what);
    // Checks one value; a mismatch is reported as "what: expected E, saw S".
    bool Expect(const std::string& expected, const std::string& seen, const std::string& what);
    bool Expect(long expected, long seen, const std::string& what);
    template <typename E, typename S>
    std::enable_if_t<std::is_integral<E>::value && std::is_integral<S>::value, bool>
    Expect(E expected, S seen, const std::string& what) {
        return Expect(static_cast<long>(expected), static_cast<long>(seen), what);
    }
    // Two lists, reported by their first difference.
    bool Expect(const std::vector<std::string>& expected, const std::vector<std::string>& seen,
                const std::string& what);
    // Adds to a named tally of the summary line ("late=12").
    void Count(const char* tally, uint32_t amount = 1);

    // Prints the summary line, the campaign's row of the table; the exit code: 0 when
    // nothing broke, else 1.
    int Finish();
    // Calls `run` for every run, then Finish.
    template <typename Run> int RunAll(Run run) {
        while (NextRun()) {
            run(*this);
        }
        return Finish();
    }

private:
    std::string name_;
    uint32_t seed_ = 0;
    uint32_t runs_ = 0;
    uint32_t first_ = 0;
    uint32_t run_ = 0;
    uint32_t done_ = 0;
    bool started_ = false;
    bool runBroken_ = false;
    uint32_t brokenRuns_ = 0;
    CaseRandom random_{0};
    uint32_t tallyValues_[16] = {};
    const char* tallyNames_[16] = {};
    uint32_t startTick_ = 0;
};

// A text quoted, its bytes outside printable ASCII as \xNN.
std::string Describe(const std::string& value);
// Bytes as "0A-FF-..." in hex, none as "-".
std::string HexText(const std::vector<unsigned char>& bytes);

#endif
