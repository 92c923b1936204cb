// The frame of the seeded campaign programs (see Campaign.h).
#include "Campaign.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* CampaignName = "";
uint32_t CurrentSeed = 0;
uint32_t CurrentRun = 0;

// A crash ends the program with the seed and run that replay it.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    std::printf("CRASH %s seed=%lu run=%lu: exception 0x%08lX at %p\n", CampaignName,
                static_cast<unsigned long>(CurrentSeed), static_cast<unsigned long>(CurrentRun),
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                info->ExceptionRecord->ExceptionAddress);
    std::fflush(stdout);
    ExitProcess(3);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool ReadNumber(const char* text, uint32_t* value) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(text, &end, 0);
    if (text[0] == '\0' || *end != '\0') {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

uint32_t CaseRandom::Next() {
    state_ = Mix(state_);
    return static_cast<uint32_t>(state_ >> 32);
}

Campaign::Campaign(const std::string& name, int argc, char** argv, uint32_t fullRuns,
                   uint32_t fullFirst)
    : name_(name), runs_(fullRuns) {
    seed_ = GetTickCount();
    bool replay = false;
    bool usage = false;
    bool placed = false; // --runs, --first or --run chose the runs
    for (int i = 1; i < argc && !usage; ++i) {
        const std::string flag = argv[i];
        uint32_t* target = flag == "--seed"                       ? &seed_
                           : flag == "--runs"                     ? &runs_
                           : flag == "--first" || flag == "--run" ? &first_
                                                                  : nullptr;
        placed = placed || (target != nullptr && target != &seed_);
        replay = replay || flag == "--run";
        usage = target == nullptr || i + 1 >= argc || !ReadNumber(argv[++i], target);
    }
    // A whole campaign at its own seed and size, asked for around ctest; a replay of
    // one run keeps to its arguments.
    const char* seed = std::getenv("ZAL_CAMPAIGN_SEED");
    const char* size = std::getenv("ZAL_CAMPAIGN_SIZE");
    uint32_t percent = 0;
    if (!placed) {
        first_ = fullFirst;
    }
    if (!replay && seed != nullptr && seed[0] != '\0') {
        usage = usage || !ReadNumber(seed, &seed_);
    }
    if (!replay && size != nullptr && size[0] != '\0') {
        usage = usage || !ReadNumber(size, &percent) || percent == 0;
        runs_ = static_cast<uint32_t>(uint64_t(fullRuns) * percent / 100);
        runs_ = runs_ == 0 ? 1 : runs_;
        first_ = fullFirst;
    }
    if (usage) {
        std::printf("usage: %s [--seed N] [--runs N] [--first N] [--run N]\n"
                    "  --first N starts at run N (a share of a campaign split up)\n"
                    "  --run N replays run N of the seed alone\n"
                    "  ZAL_CAMPAIGN_SEED=N replaces the seed, ZAL_CAMPAIGN_SIZE=P runs P%% of\n"
                    "  the full %lu runs from run %lu\n",
                    name.c_str(), static_cast<unsigned long>(fullRuns),
                    static_cast<unsigned long>(fullFirst));
        std::exit(2);
    }
    if (replay) {
        runs_ = 1;
    }
    CampaignName = name_.c_str();
    CurrentSeed = seed_;
    SetUnhandledExceptionFilter(ReportCrash);
    // A failed check must not stop a run with a dialog box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    std::printf("%s: seed %lu, %lu runs from run %lu\n", name_.c_str(),
                static_cast<unsigned long>(seed_), static_cast<unsigned long>(runs_),
                static_cast<unsigned long>(first_));
    std::fflush(stdout);
    startTick_ = GetTickCount();
}

bool Campaign::NextRun() {
    if (started_) {
        ++done_;
        if (done_ % 100 == 0) {
            std::printf("%s: %lu runs done\n", name_.c_str(), static_cast<unsigned long>(done_));
            std::fflush(stdout);
        }
    }
    if (done_ >= runs_) {
        return false;
    }
    run_ = first_ + done_;
    started_ = true;
    runBroken_ = false;
    CurrentRun = run_;
    random_ = CaseRandom(Mix(uint64_t(seed_) << 32 | run_));
    return true;
}

void Campaign::Broken(const std::string& what) {
    if (!runBroken_) {
        ++brokenRuns_;
        runBroken_ = true;
    }
    std::printf("BROKEN %s seed=%lu run=%lu: %s\n", name_.c_str(),
                static_cast<unsigned long>(seed_), static_cast<unsigned long>(run_), what.c_str());
    std::fflush(stdout);
}

void Campaign::Count(const char* tally, uint32_t amount) {
    for (int i = 0; i < 16; ++i) {
        if (tallyNames_[i] == nullptr || std::strcmp(tallyNames_[i], tally) == 0) {
            tallyNames_[i] = tally;
            tallyValues_[i] += amount;
            return;
        }
    }
}

int Campaign::Finish() {
    std::string tallies;
    for (int i = 0; i < 16 && tallyNames_[i] != nullptr; ++i) {
        tallies += " " + std::string(tallyNames_[i]) + "=" + std::to_string(tallyValues_[i]);
    }
    // Fixed widths, so that the rows of several campaigns read as one table.
    std::printf("SUMMARY %-24s seed=%-10lu runs=%-6lu broken=%-5lu seconds=%-6lu%s\n",
                name_.c_str(), static_cast<unsigned long>(seed_), static_cast<unsigned long>(done_),
                static_cast<unsigned long>(brokenRuns_),
                static_cast<unsigned long>((GetTickCount() - startTick_) / 1000), tallies.c_str());
    std::fflush(stdout);
    return brokenRuns_ == 0 && done_ == runs_ ? 0 : 1;
}

std::string Describe(const std::string& value) {
    std::string text = "\"";
    for (char sign : value) {
        const unsigned char c = static_cast<unsigned char>(sign);
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            text += escape;
        }
    }
    return text + "\"";
}

std::string HexText(const std::vector<unsigned char>& bytes) {
    std::string text;
    for (unsigned char b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, text.empty() ? "%02X" : "-%02X", b);
        text += hex;
    }
    return bytes.empty() ? "-" : text;
}

bool Campaign::Expect(const std::string& expected, const std::string& seen,
                      const std::string& what) {
    if (expected != seen) {
        Broken(what + ": expected " + Describe(expected) + ", saw " + Describe(seen));
    }
    return expected == seen;
}

bool Campaign::Expect(long expected, long seen, const std::string& what) {
    if (expected != seen) {
        Broken(what + ": expected " + std::to_string(expected) + ", saw " + std::to_string(seen));
    }
    return expected == seen;
}

bool Campaign::Expect(const std::vector<std::string>& expected,
                      const std::vector<std::string>& seen, const std::string& what) {
    if (expected == seen) {
        return true;
    }
    size_t i = 0;
    while (i < expected.size() && i < seen.size() && expected[i] == seen[i]) {
        ++i;
    }
    const std::string none = "(nothing)";
    Broken(what + ": " + std::to_string(expected.size()) + " expected, " +
           std::to_string(seen.size()) + " seen; first difference at " + std::to_string(i) +
           ": expected " + (i < expected.size() ? expected[i] : none) + ", saw " +
           (i < seen.size() ? seen[i] : none));
    return false;
}
