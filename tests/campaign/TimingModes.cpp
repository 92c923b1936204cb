// The timing runs' completion timings, their count, and the waits and resets
// around them (see TimingModes.h).
#include "TimingModes.h"

#include "PathTestSupport.h"
#include "ScsiCommand.h"
#include "TimeScale.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

enum { LateAfter = 4 };

const char* const TimingNames[] = {"at-once", "caller", "early", "late-in", "late-after", "never"};

// The timing (index into TimingNames) of a logged command, from its outcome. A
// late block command is always within its limit; a poll's is 30 s, any other 5 s.
int TimingOf(const zalemu::CommandRecord& record) {
    const std::string& outcome = record.outcome;
    if (outcome.compare(0, 5, "late-") == 0) {
        const DWORD limit = record.Opcode() == 0x00 ? PollLimitMs : 5000;
        return std::strtoul(outcome.c_str() + 5, nullptr, 10) >= limit ? LateAfter : 3;
    }
    return outcome == "hang"                       ? 5
           : outcome.compare(0, 7, "caller-") == 0 ? 1
           : outcome.compare(0, 6, "early-") == 0  ? 2
                                                   : 0;
}

// A random fault action, "" for at once.
std::string RandomAction(CaseRandom& random, uint32_t failingPercent, DWORD limitMs) {
    if (random.Chance(failingPercent) && limitMs <= PollLimitMs) {
        return random.Chance(50)
                   ? "late " + std::to_string(limitMs + Scaled(random.Between(30, 80)))
                   : "hang";
    }
    const uint32_t timing = OnAspiPath() ? random.Below(4) : 3 * random.Below(2);
    return timing == 0   ? ""
           : timing == 1 ? "caller"
           : timing == 2 ? "early-status " + std::to_string(random.Between(1, 60))
                         : "late " + std::to_string(random.Between(20, 1500));
}

} // namespace

Campaign PathCampaign(int argc, char** argv, const char* program, PathRuns plain, PathRuns timed,
                      bool* timing) {
    *timing = argc > 1 && std::string(argv[1]) == "--timing";
    if (*timing) {
        argv[1] = argv[0];
        --argc;
        ++argv;
    }
    TransportPath path = TransportPath::Aspi;
    if (!TakePathArgument(&argc, argv, &path)) {
        std::printf("usage: %s [--timing] [--path aspi|nt] [--seed N] ...\n", program);
        std::exit(2);
    }
    UsePath(path);
    if (!Emulator().Valid()) {
        std::printf("the emulator is not reachable\n");
        std::exit(2);
    }
    const PathRuns& runs = *timing ? timed : plain;
    const bool aspi = path == TransportPath::Aspi;
    return Campaign(std::string(runs.name) + (aspi ? "" : "-nt"), argc, argv,
                    aspi ? runs.aspiRuns : runs.ntRuns, aspi ? 0 : runs.aspiRuns);
}

std::string TimedFaults(CaseRandom& random, const TimedKind* kinds, size_t kindCount, int runs,
                        bool every, uint32_t failingPercent) {
    uint32_t total = 0;
    for (size_t k = 0; k < kindCount; ++k) {
        total += static_cast<uint32_t>(kinds[k].count * runs);
    }
    const uint32_t chosen = random.Below(total);
    std::string faults;
    uint32_t place = 0;
    for (size_t k = 0; k < kindCount; ++k) {
        const TimedKind& kind = kinds[k];
        for (int n = kind.first; n < kind.first + kind.count * runs; ++n, ++place) {
            const std::string action =
                every || place == chosen ? RandomAction(random, failingPercent, kind.limitMs) : "";
            if (!action.empty()) {
                faults += "fault = " + std::string(kind.trigger) + "#" + std::to_string(n) + " " +
                          action + "\n";
            }
        }
    }
    return faults;
}

std::string TimingEmulatorSection(Campaign& campaign) {
    std::string section;
    CaseRandom& random = campaign.Random();
    if (OnAspiPath() && random.Chance(50)) {
        section += "no-device = later\n";
        campaign.Count("no-device-later");
    }
    if (OnAspiPath() && random.Chance(40)) {
        section += "early-status = " + std::to_string(random.Between(1, 40)) + "\n";
        campaign.Count("early-all");
    }
    return section;
}

void CountTimings(Campaign& campaign, const std::vector<zalemu::CommandRecord>& records) {
    for (const zalemu::CommandRecord& record : records) {
        campaign.Count(TimingNames[TimingOf(record)]);
    }
}

bool EndedGood(const zalemu::CommandRecord& record) {
    const size_t size = record.outcome.size();
    return record.outcome == "good" || (size > 5 && record.outcome.rfind("-good") == size - 5);
}

bool AnsweredInTime(const zalemu::CommandRecord& record) {
    return EndedGood(record) && TimingOf(record) != LateAfter;
}

std::map<std::string, std::string> DriveStateKeys(const std::string& address) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(Emulator().StateText());
    std::string line;
    bool inDevice = false;
    while (std::getline(lines, line)) {
        const size_t equals = line.find(" = ");
        if (!line.empty() && line[0] == '[') {
            inDevice = line == "[device " + address + "]";
        } else if (inDevice && equals != std::string::npos) {
            keys[line.substr(0, equals)] = line.substr(equals + 3);
        }
    }
    return keys;
}

void TakeLog(std::vector<zalemu::CommandRecord>* history) {
    const std::vector<zalemu::CommandRecord> records = Emulator().Commands();
    history->insert(history->end(), records.begin(), records.end());
    Emulator().ClearLog();
}

bool LogHasHang() {
    for (const zalemu::CommandRecord& record : Emulator().Commands()) {
        if (record.outcome == "hang") {
            return true;
        }
    }
    return false;
}

void AwaitLateAnswers(int ha, int target) {
    AwaitLateCompletions(static_cast<BYTE>(ha), static_cast<BYTE>(target),
                         PollLimitMs + Scaled(1500));
}

void ResetDrive(Campaign& campaign, const std::string& section, int ha, int target,
                const std::string& settings, std::vector<zalemu::CommandRecord>* history) {
    const std::string address = Address(ha, target);
    std::string text = "[emulator]\n" + section + "[device " + address + "]\n" + settings;
    for (const auto& key : DriveStateKeys(address)) {
        // The firmware's bytes go by a digest that the state text alone cannot bring back.
        if (key.first != "image") {
            text += key.first + " = " + key.second + "\n";
        }
    }
    TakeLog(history);
    campaign.Count("resets");
    const std::string error = Emulator().Load(text);
    if (!error.empty()) {
        campaign.Broken("the drive's reset was refused: " + error);
    }
    AwaitLateAnswers(ha, target);
}
