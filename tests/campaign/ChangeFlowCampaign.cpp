// Seeded fault campaign of the book-type change flow: each run loads one
// emulated drive with random settings, command version and remaining changes
// (sometimes with a temporary read that fails), probes it, chooses random
// settings, and makes a random set of the commands that the change sends fail,
// alone or together, with a check condition, or complete late: within their
// time limit (a success), or after it (a failure that the drive has carried out
// all the same). Checks: exactly the commands whose choice differs go out, in
// the fixed order; the failure mask names exactly the commands that failed (the
// injected ones, and default sets the drive refuses once no change is left),
// and the error text is the one for that mask; the shown state records what
// succeeded and nothing else; a retry reads the drive's settings again and
// sends only what still differs from them, so a change carried out late is not
// made (nor paid for) twice; then nothing is left to send, and the shown state
// agrees with a fresh probe of the drive, count included; and the mask leaves
// out no set that the drive, read from the emulator, does not hold as chosen.
// Runs in-process on the path its argument names (TimingModes.h). With --timing a whole change as
// the dialog makes it (the tool started until its probe finds the drive, the poll until no disc,
// OK, and after a failure the poll and OK again, a drive that hung a command switched off and on
// first), one command of it or, in one run of three, every one under a random timing
// (TimingModes.h); on the ASPI path the drive at a random target. Judged from the
// drive: the probe finds it exactly when the INQUIRY and the first read answered
// in time, with its state where the reads did; the masks as above; once the drive
// answers, a change succeeds but for defaults it has no change left for; no
// default set is carried out on a medium already holding its value, and the
// count fell by those carried out.
#include "Campaign.h"

#include "BookTypeState.h"
#include "BookTypeTestSupport.h"
#include "ChangeFlow.h"
#include "DriveTable.h"
#include "MessageTable.h"
#include "PathTestSupport.h"
#include "RecordingHost.h"
#include "TimeScale.h"
#include "TimingModes.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Medium {
    BYTE defaultValue;
    BYTE temporaryValue;
    bool temporaryApplies;
};

// One drive as the scenario sets it up.
struct Drive {
    unsigned version;
    int changesLeft;
    Medium dl;
    Medium r;
    bool dlTemporaryReadFails;
    bool rTemporaryReadFails;
};

// One command of a change: which set, of which medium, with which value.
struct SetCommand {
    int sub; // 1 default, 3 temporary, 4 select
    int medium;
    BYTE value; // the book type, or for a select 1 when the temporary setting applies
    std::string Cdb() const {
        return sub == 1   ? SetDefaultCdb(medium, value)
               : sub == 3 ? SetTemporaryCdb(medium, value)
                          : SelectCdb(medium, value);
    }
    DWORD Bit() const { return 1ul << (4 * medium + (sub == 1 ? 0 : sub == 3 ? 1 : 2)); }
};

Drive ChooseDrive(CaseRandom& random) {
    static const unsigned versions[] = {0, 1, 2, 3, 3, 3, 4, 256};
    static const BYTE dlDefaults[] = {0xE0, 0x00, 0x01, 0xE1};
    static const BYTE rDefaults[] = {0xA0, 0x00, 0xA1};
    Drive d;
    d.version = versions[random.Below(8)];
    d.changesLeft = random.Chance(25) ? static_cast<int>(random.Below(3))
                                      : static_cast<int>(random.Between(3, 32767));
    d.dl = {dlDefaults[random.Below(4)], random.Chance(50) ? BYTE(0xE0) : BYTE(0x00),
            random.Chance(50)};
    d.r = {rDefaults[random.Below(3)], random.Chance(50) ? BYTE(0xA0) : BYTE(0x00),
           random.Chance(50)};
    d.dlTemporaryReadFails = d.version >= 2 && random.Chance(15);
    d.rTemporaryReadFails = d.version >= 3 && random.Chance(15);
    return d;
}

// The choice on both pages of the dialog.
ChangeChoices ChooseChoices(CaseRandom& random) {
    ChangeChoices choices = {};
    for (int m : {int(DvdPlusRDl), int(DvdPlusR)}) {
        MediumChoice& c = choices.medium[m];
        c.defaultNormal = random.Chance(50);
        const uint32_t temporary = random.Below(3);
        c.temporaryNormal = temporary == 0;
        c.temporaryCompatibility = temporary == 1;
        c.defaultApplied = random.Chance(50);
    }
    return choices;
}

std::string Settings(const Drive& d) {
    std::string text = "command-version = " + std::to_string(d.version) +
                       "\nchanges-left = " + std::to_string(d.changesLeft) +
                       "\ndl-default = " + HexText({d.dl.defaultValue}) +
                       "\ndl-temporary = " + HexText({d.dl.temporaryValue}) +
                       "\ndl-applies = " + (d.dl.temporaryApplies ? "temporary" : "default") +
                       "\nr-default = " + HexText({d.r.defaultValue}) +
                       "\nr-temporary = " + HexText({d.r.temporaryValue}) +
                       "\nr-applies = " + (d.r.temporaryApplies ? "temporary" : "default") + "\n";
    // The probe's reads in order: DL default, DL temporary, DVD+R default, DVD+R temporary.
    if (d.dlTemporaryReadFails) {
        text += "fault = C9/02#2 check 5/24/00\n";
    }
    if (d.rTemporaryReadFails) {
        text += "fault = C9/02#4 check 5/24/00\n";
    }
    return text;
}

// What the drive holds once it has carried out `c`.
void CarryOut(const SetCommand& c, Drive* d) {
    Medium& medium = c.medium == DvdPlusRDl ? d->dl : d->r;
    if (c.sub == 1) {
        medium.defaultValue = c.value;
        --d->changesLeft;
    } else if (c.sub == 3) {
        medium.temporaryValue = c.value;
    } else {
        medium.temporaryApplies = c.value == 1;
    }
}

// The state that the probe must show for the drive, decoded from its settings.
BookTypeState ExpectedProbeState(const Drive& d) {
    BookTypeState s = {};
    s.defaultValue[DvdPlusRDl] = d.dl.defaultValue;
    s.temporarySelected[DvdPlusRDl] = d.dl.temporaryApplies ? 1 : 0;
    s.changeCountHigh = static_cast<BYTE>(d.changesLeft >> 8);
    s.changeCountLow = static_cast<BYTE>(d.changesLeft & 0xFF);
    s.commandVersion = static_cast<INT32>(d.version);
    if (d.version >= 2 && !d.dlTemporaryReadFails) {
        s.temporaryValid[DvdPlusRDl] = 1;
        s.temporaryValue[DvdPlusRDl] = d.dl.temporaryValue;
    }
    if (d.version >= 3) {
        s.defaultValue[DvdPlusR] = d.r.defaultValue;
        s.temporarySelected[DvdPlusR] = d.r.temporaryApplies ? 1 : 0;
        if (!d.rTemporaryReadFails) {
            s.temporaryValid[DvdPlusR] = 1;
            s.temporaryValue[DvdPlusR] = d.r.temporaryValue;
        }
    }
    return s;
}

// The commands a change must send for `choices` against the state `s`, in order.
std::vector<SetCommand> ExpectedCommands(const ChangeChoices& choices, const BookTypeState& s) {
    std::vector<SetCommand> commands;
    const int media[] = {DvdPlusRDl, DvdPlusR};
    for (int m : media) {
        if (m == DvdPlusR && s.commandVersion < 3) {
            break;
        }
        const MediumChoice& c = choices.medium[m];
        const BYTE normal = m == DvdPlusRDl ? 0xE0 : 0xA0;
        const BYTE compatibility = m == DvdPlusRDl && s.commandVersion == 0 ? 0x01 : 0x00;
        const BYTE def = c.defaultNormal ? normal : compatibility;
        if (def != s.defaultValue[m]) {
            commands.push_back({1, m, def});
        }
        if (s.commandVersion < 2) {
            break;
        }
        if (c.temporaryNormal && s.temporaryValue[m] != normal) {
            commands.push_back({3, m, normal});
        } else if (!c.temporaryNormal && c.temporaryCompatibility &&
                   (s.temporaryValue[m] != 0 || !s.temporaryValid[m])) {
            commands.push_back({3, m, 0x00});
        }
        const BYTE temporary = c.defaultApplied ? 0 : 1;
        if (temporary != s.temporarySelected[m]) {
            commands.push_back({4, m, temporary});
        }
    }
    return commands;
}

// What a command that succeeded leaves in the shown state.
void Record(const SetCommand& c, BookTypeState* s) {
    if (c.sub == 1) {
        s->defaultValue[c.medium] = c.value;
        const int count = RemainingChangeCount(s) - 1;
        s->changeCountHigh = static_cast<BYTE>(count >> 8);
        s->changeCountLow = static_cast<BYTE>(count & 0xFF);
    } else if (c.sub == 3) {
        s->temporaryValue[c.medium] = c.value;
        s->temporaryValid[c.medium] = 1;
    } else {
        s->temporarySelected[c.medium] = c.value;
    }
}

// The error box text for a mask, from the table of the change flow.
std::string ExpectedText(DWORD mask) {
    return mask == 0x001   ? "Failed to set default value of DVD+R."
           : mask == 0x100 ? "Failed to set default value of DVD+R DL."
           : mask == 0x101 ? "Failed to set default value of DVD+R & DVD+R DL."
                           : "Some failure occurred to set .";
}

// Runs the change flow on the found drive; the mask it returns and what was sent.
DWORD Apply(const ChangeChoices& choices, std::vector<std::string>* sent) {
    SelectDrive(0);
    RestoreDriveState();
    Emulator().ClearLog();
    const DWORD mask = SendChangedSettings(&choices);
    *sent = CdbTexts(Commands());
    return mask;
}

// How one command of the change completes.
enum class Fault { None, Check, LateInTime, TimeOut };

// Plays `commands` on the drive and on the shown state: a check condition
// changes nothing; a default set fails, unchanged, once the drive has no change
// left; any other command is carried out, and is shown unless it ran out of
// time. Returns the mask of the failed ones and leaves them in `failed`.
DWORD Predict(const std::vector<SetCommand>& commands, const std::vector<Fault>& faults,
              BookTypeState* shown, Drive* drive, std::vector<SetCommand>* failed) {
    DWORD mask = 0;
    failed->clear();
    for (size_t i = 0; i < commands.size(); ++i) {
        const SetCommand& c = commands[i];
        const bool carriedOut = faults[i] != Fault::Check && (c.sub != 1 || drive->changesLeft > 0);
        if (carriedOut) {
            CarryOut(c, drive);
        }
        if (carriedOut && faults[i] != Fault::TimeOut) {
            Record(c, shown);
        } else {
            mask |= c.Bit();
            failed->push_back(c);
        }
    }
    return mask;
}

// The reads of the drive's settings for command version `version`, in order.
std::vector<std::string> SettingReads(unsigned version) {
    const std::vector<std::string> reads = {ReadCdb(DvdPlusRDl, 0), ReadCdb(DvdPlusRDl, 1),
                                            ReadCdb(DvdPlusR, 0), ReadCdb(DvdPlusR, 1)};
    return {reads.begin(), reads.begin() + (version >= 3 ? 4 : version >= 2 ? 2 : 1)};
}

std::vector<std::string> CdbsOf(const std::vector<SetCommand>& commands) {
    std::vector<std::string> cdbs;
    for (const SetCommand& c : commands) {
        cdbs.push_back(c.Cdb());
    }
    return cdbs;
}

// The drive's settings as the emulator holds them now, read from its state and
// not through the tool; the command version is the scenario's.
Drive DriveNow(const std::string& address, unsigned version) {
    std::map<std::string, std::string> keys = DriveStateKeys(address);
    const auto byte = [&keys](const char* key) {
        return static_cast<BYTE>(std::strtoul(keys[key].c_str(), nullptr, 16));
    };
    Drive d = {};
    d.version = version;
    d.changesLeft = std::atoi(keys["changes-left"].c_str());
    d.dl = {byte("dl-default"), byte("dl-temporary"), keys["dl-applies"] == "temporary"};
    d.r = {byte("r-default"), byte("r-temporary"), keys["r-applies"] == "temporary"};
    return d;
}

// Checks a change's failure mask against the drive: a set that the choice still
// needs there is named in the mask ("Change is completed." only when the drive
// equals the choice in every field its command version offers and the choice
// names). `refused` gets the bits of the default sets the drive has no change
// left for.
void CheckChange(Campaign& campaign, DWORD mask, const std::string& address, unsigned version,
                 const ChangeChoices& choices, const std::string& what, DWORD* refused) {
    const Drive now = DriveNow(address, version);
    std::string unnamed;
    *refused = 0;
    for (const SetCommand& c : ExpectedCommands(choices, ExpectedProbeState(now))) {
        *refused |= c.sub == 1 && now.changesLeft == 0 ? c.Bit() : 0;
        unnamed += (mask & c.Bit()) == 0 ? " " + c.Cdb() : "";
    }
    if (!unnamed.empty()) {
        campaign.Broken(what + ": mask " + std::to_string(mask) +
                        " reports as made what the drive does not hold; still needed:" + unnamed);
    }
}

void OneRun(Campaign& campaign) {
    static const char* const senses[] = {"5/2C/00", "5/24/00", "3/0C/00", "4/44/00", "2/3A/00"};
    CaseRandom& random = campaign.Random();
    const Drive drive = ChooseDrive(random);
    const ChangeChoices choices = ChooseChoices(random);
    BookTypeState expected = ExpectedProbeState(drive);
    const std::vector<SetCommand> commands = ExpectedCommands(choices, expected);
    // The set commands follow the probe's INQUIRY and reads on the device.
    const size_t probeCommands = 1 + SettingReads(drive.version).size();
    std::string settings = Settings(drive);
    std::vector<Fault> faults(commands.size(), Fault::None);
    // At most one command of a run runs out of time (each costs the 5 s limit).
    const size_t timedOut = !commands.empty() && random.Chance(12)
                                ? random.Below(static_cast<uint32_t>(commands.size()))
                                : commands.size();
    for (size_t i = 0; i < commands.size(); ++i) {
        const std::string trigger = "fault = @" + std::to_string(probeCommands + i + 1);
        const uint32_t roll = random.Below(100);
        if (i == timedOut) {
            faults[i] = Fault::TimeOut;
            settings += trigger + " late " + std::to_string(random.Between(5300, 5800)) + "\n";
        } else if (roll < 30) {
            faults[i] = Fault::Check;
            settings += trigger + " check " + senses[random.Below(5)] + "\n";
        } else if (roll < 40) {
            faults[i] = Fault::LateInTime;
            settings += trigger + " late " + std::to_string(random.Between(100, 600)) + "\n";
        }
    }
    ClearRecordedHost();
    if (!campaign.Expect("", StartWith("[emulator]\n" + Device(0, 0, settings)),
                         "scenario refused")) {
        return;
    }
    EnumerateDrives(&BookTypeDriveProbe);
    if (!campaign.Expect(1L, DriveCount, "drives found") ||
        !campaign.Expect(probeCommands, Commands().size(), "probe commands") ||
        !campaign.Expect(Describe(expected), Describe(DriveStates[0]), "probed state")) {
        return;
    }
    campaign.Count("commands", static_cast<uint32_t>(commands.size()));

    Drive onDrive = drive;
    std::vector<SetCommand> failed;
    const DWORD expectedMask = Predict(commands, faults, &expected, &onDrive, &failed);
    campaign.Count("failed", static_cast<uint32_t>(failed.size()));
    for (size_t i = 0; i < faults.size(); ++i) {
        if (faults[i] == Fault::TimeOut) {
            campaign.Count(commands[i].sub == 1 ? "timeout-default" : "timeout-other");
        }
        if (faults[i] == Fault::LateInTime) {
            campaign.Count("late");
        }
    }
    std::vector<std::string> sent;
    const DWORD mask = Apply(choices, &sent);
    campaign.Expect(CdbsOf(commands), sent, "change: commands sent");
    campaign.Expect(expectedMask, mask, "change: mask");
    if (mask != 0) {
        campaign.Expect(ExpectedText(mask), ChangeFailureText(mask), "error text");
    }
    campaign.Expect(Describe(expected), Describe(CurrentState), "change: shown state");
    DWORD refused = 0;
    CheckChange(campaign, mask, Address(0, 0), drive.version, choices, "change", &refused);

    // After a failure the retry reads the drive again and sends what differs from
    // what it holds; it fails only where the drive still refuses.
    std::vector<std::string> retrySent;
    if (mask != 0) {
        Drive reread = onDrive;
        reread.dlTemporaryReadFails = false;
        reread.rTemporaryReadFails = false;
        expected = ExpectedProbeState(reread);
        retrySent = SettingReads(drive.version);
    }
    const std::vector<SetCommand> retry = ExpectedCommands(choices, expected);
    const DWORD retryMask =
        Predict(retry, std::vector<Fault>(retry.size(), Fault::None), &expected, &onDrive, &failed);
    const DWORD retried = Apply(choices, &sent);
    campaign.Expect(retryMask, retried, "retry: mask");
    CheckChange(campaign, retried, Address(0, 0), drive.version, choices, "retry", &refused);
    const std::vector<std::string> retryCdbs = CdbsOf(retry);
    retrySent.insert(retrySent.end(), retryCdbs.begin(), retryCdbs.end());
    campaign.Expect(retrySent, sent, "retry: commands sent");
    campaign.Expect(Describe(expected), Describe(CurrentState), "retry: shown state");
    campaign.Expect(Describe(CurrentState), Describe(DriveStates[0]), "retry: the row's copy");
    if (failed.empty()) {
        Apply(choices, &sent);
        campaign.Expect(std::vector<std::string>(), sent, "nothing left to send");
    }

    // A fresh probe reads what the drive holds now; a temporary setting that was
    // never read nor set is the one field the tool could not know.
    const BookTypeState shown = CurrentState;
    EnumerateDrives(&BookTypeDriveProbe);
    BookTypeState fresh = CurrentState;
    for (int m : {int(DvdPlusRDl), int(DvdPlusR)}) {
        if (!shown.temporaryValid[m]) {
            fresh.temporaryValid[m] = 0;
            fresh.temporaryValue[m] = shown.temporaryValue[m];
        }
    }
    campaign.Expect(Describe(fresh), Describe(shown), "shown state against a fresh probe");
}

// ---- Timing runs ----

enum { MaxChanges = 6 };

// The probed state against the drive where the probe's reads answered in time: a
// temporary whose read did not shows no value; a DVD+R default and select whose
// read did not are not judged.
void CheckProbedState(Campaign& campaign, Drive drive,
                      const std::vector<zalemu::CommandRecord>& probe, const std::string& what) {
    const auto answered = [&probe](int medium, int which) {
        for (const zalemu::CommandRecord& record : probe) {
            if (CdbText(record) == ReadCdb(medium, which)) {
                return AnsweredInTime(record);
            }
        }
        return false;
    };
    drive.dlTemporaryReadFails = !answered(DvdPlusRDl, 1);
    drive.rTemporaryReadFails = !answered(DvdPlusR, 1);
    BookTypeState expected = ExpectedProbeState(drive);
    if (drive.version >= 3 && !answered(DvdPlusR, 0)) {
        expected.defaultValue[DvdPlusR] = DriveStates[0].defaultValue[DvdPlusR];
        expected.temporarySelected[DvdPlusR] = DriveStates[0].temporarySelected[DvdPlusR];
    }
    campaign.Expect(Describe(expected), Describe(DriveStates[0]), what + ": probed state");
}

// No default set that the drive carried out set the value its medium held, and
// the count fell by their number.
void CheckDefaultSets(Campaign& campaign, const Drive& first, const std::string& address,
                      const std::vector<zalemu::CommandRecord>& history, const std::string& label) {
    BYTE held[3] = {first.r.defaultValue, 0, first.dl.defaultValue}; // by MediumKind
    long carried = 0;
    for (const zalemu::CommandRecord& record : history) {
        if (CdbText(record, 2) == "C9-01" && EndedGood(record)) {
            ++carried;
            if (record.cdb[3] == held[record.cdb[2] % 3]) {
                campaign.Broken(label + ": a default set to the value held: " + CdbText(record));
            }
            held[record.cdb[2] % 3] = record.cdb[3];
        }
    }
    campaign.Expect(first.changesLeft - carried, DriveNow(address, first.version).changesLeft,
                    label + ": remaining changes after the default sets carried out");
}

// The dialog's poll every 100 ms until the drive has no disc; false once a command
// of the drive hung, or after a poll's limit and a late answer's margin.
bool PollUntilNoDisc() {
    const DWORD start = GetTickCount();
    while (!DriveHasNoDisc()) {
        if (LogHasHang() || GetTickCount() - start > PollLimitMs + Scaled(1500)) {
            return false;
        }
        Sleep(100);
    }
    return true;
}

void TimingRun(Campaign& campaign) {
    static const TimedKind kinds[] = {{"12", 1, 2, ShortLimitMs},    {"C9/02", 1, 8, ShortLimitMs},
                                      {"00", 1, 2, PollLimitMs},     {"C9/01", 1, 2, ShortLimitMs},
                                      {"C9/03", 1, 2, ShortLimitMs}, {"C9/04", 1, 2, ShortLimitMs}};
    CaseRandom& random = campaign.Random();
    Drive drive = ChooseDrive(random);
    drive.dlTemporaryReadFails = drive.rTemporaryReadFails = false;
    const ChangeChoices choices = ChooseChoices(random);
    const bool aspi = OnAspiPath();
    const int ha = aspi ? static_cast<int>(random.Below(2)) : 0;
    const int target = aspi ? static_cast<int>(random.Below(8)) : 0;
    const std::string address = Address(ha, target);
    const bool every = random.Chance(33);
    const std::string faults = TimedFaults(random, kinds, 6, 1, every, every ? 25 : 40);
    const std::string section = TimingEmulatorSection(campaign);
    const std::string label = "drive at " + address + (every ? ", every command timed" : "");
    const std::string kept = "command-version = " + std::to_string(drive.version) + "\n";
    campaign.Count(every ? "every" : "one");
    if (!campaign.Expect(
            "", StartWith("[emulator]\n" + section + Device(ha, target, Settings(drive) + faults)),
            "scenario refused")) {
        return;
    }
    std::vector<zalemu::CommandRecord> history;
    const auto resetWhenHung = [&]() {
        if (LogHasHang()) {
            ResetDrive(campaign, section, ha, target, kept, &history);
        }
    };
    // The tool is started until its probe finds the drive, as it must exactly when
    // the INQUIRY and the first read answered in time.
    for (int start = 1; start <= 12 && (start == 1 || DriveCount == 0); ++start) {
        resetWhenHung();
        TakeLog(&history);
        EnumerateDrives(&BookTypeDriveProbe);
        const std::vector<zalemu::CommandRecord> probe = Commands(address);
        const bool found =
            probe.size() >= 2 && AnsweredInTime(probe[0]) && AnsweredInTime(probe[1]);
        const std::string what = label + ", start " + std::to_string(start);
        if (!campaign.Expect(found, DriveCount, what + ": found")) {
            return;
        }
        if (found) {
            CheckProbedState(campaign, drive, probe, what);
        }
    }
    if (DriveCount == 0) {
        campaign.Broken(label + ": not found in 12 starts");
        return;
    }
    // OK, and after a failure the poll and OK again.
    SelectDrive(0);
    RestoreDriveState();
    DWORD mask = DriveOffersChange(&CurrentState) ? ~0ul : 0;
    DWORD refused = 0;
    for (int change = 1; change <= MaxChanges && mask != 0 && mask != refused; ++change) {
        resetWhenHung();
        if (PollUntilNoDisc()) {
            mask = SendChangedSettings(&choices);
            CheckChange(campaign, mask, address, drive.version, choices,
                        label + ", change " + std::to_string(change), &refused);
        }
    }
    campaign.Expect(refused, mask,
                    label + ": the last change's mask (once the drive answers, only defaults "
                            "it has no change left for)");
    TakeLog(&history);
    CheckDefaultSets(campaign, drive, address, history, label);
    CountTimings(campaign, history);
}

} // namespace

int main(int argc, char** argv) {
    bool timing = false;
    // The full campaign: 2,000 changes over ASPI, then 666 over the NT path; with
    // --timing 60 runs, the first 40 over ASPI.
    Campaign campaign = PathCampaign(argc, argv, "change_flow_campaign", {"change-flow", 2000, 666},
                                     {"change-flow-timing", 40, 20}, &timing);
    MessageTable = MessageTableFor(0);
    return campaign.RunAll(timing ? TimingRun : OneRun);
}
