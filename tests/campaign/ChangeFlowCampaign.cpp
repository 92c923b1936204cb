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
// agrees with a fresh probe of the drive, count included. Runs on the ASPI path
// (Windows 9x), in-process.
#include "Campaign.h"

#include "BookTypeState.h"
#include "BookTypeTestSupport.h"
#include "ChangeFlow.h"
#include "DriveTable.h"
#include "MessageTable.h"
#include "PathTestSupport.h"
#include "RecordingHost.h"

#include <windows.h>

#include <cstdio>
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

std::string Hex(BYTE value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

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

std::string Settings(const Drive& d) {
    std::string text = "command-version = " + std::to_string(d.version) +
                       "\nchanges-left = " + std::to_string(d.changesLeft) +
                       "\ndl-default = " + Hex(d.dl.defaultValue) +
                       "\ndl-temporary = " + Hex(d.dl.temporaryValue) +
                       "\ndl-applies = " + (d.dl.temporaryApplies ? "temporary" : "default") +
                       "\nr-default = " + Hex(d.r.defaultValue) +
                       "\nr-temporary = " + Hex(d.r.temporaryValue) +
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
    switch (mask) {
    case 0x001:
        return "Failed to set default value of DVD+R.";
    case 0x100:
        return "Failed to set default value of DVD+R DL.";
    case 0x101:
        return "Failed to set default value of DVD+R & DVD+R DL.";
    default:
        return "Some failure occurred to set .";
    }
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
    std::vector<std::string> reads = {ReadCdb(DvdPlusRDl, 0)};
    if (version >= 2) {
        reads.push_back(ReadCdb(DvdPlusRDl, 1));
    }
    if (version >= 3) {
        reads.push_back(ReadCdb(DvdPlusR, 0));
        reads.push_back(ReadCdb(DvdPlusR, 1));
    }
    return reads;
}

std::vector<std::string> CdbsOf(const std::vector<SetCommand>& commands) {
    std::vector<std::string> cdbs;
    for (const SetCommand& c : commands) {
        cdbs.push_back(c.Cdb());
    }
    return cdbs;
}

void OneRun(Campaign& campaign) {
    static const char* const senses[] = {"5/2C/00", "5/24/00", "3/0C/00", "4/44/00", "2/3A/00"};
    CaseRandom& random = campaign.Random();
    const Drive drive = ChooseDrive(random);
    ChangeChoices choices = {};
    for (int m : {int(DvdPlusRDl), int(DvdPlusR)}) {
        MediumChoice& c = choices.medium[m];
        c.defaultNormal = random.Chance(50);
        const uint32_t temporary = random.Below(3);
        c.temporaryNormal = temporary == 0;
        c.temporaryCompatibility = temporary == 1;
        c.defaultApplied = random.Chance(50);
    }
    BookTypeState expected = ExpectedProbeState(drive);
    const std::vector<SetCommand> commands = ExpectedCommands(choices, expected);
    // The set commands follow the probe's INQUIRY and reads on the device.
    const unsigned probeCommands =
        2u + (drive.version >= 2 ? 1u : 0u) + (drive.version >= 3 ? 2u : 0u);
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
    const std::string error = StartWith("[emulator]\n" + Device(0, 0, settings));
    if (!error.empty()) {
        campaign.Broken("scenario refused: " + error);
        return;
    }
    EnumerateDrives(&BookTypeDriveProbe);
    if (!campaign.Expect(1L, static_cast<long>(DriveCount), "drives found") ||
        !campaign.Expect(static_cast<long>(probeCommands), static_cast<long>(Commands().size()),
                         "probe commands") ||
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
    campaign.Expect(static_cast<long>(expectedMask), static_cast<long>(mask), "change: mask");
    if (mask != 0) {
        campaign.Expect(ExpectedText(mask), std::string(ChangeFailureText(mask)), "error text");
    }
    campaign.Expect(Describe(expected), Describe(CurrentState), "change: shown state");

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
    campaign.Expect(static_cast<long>(retryMask), static_cast<long>(Apply(choices, &sent)),
                    "retry: mask");
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

} // namespace

int main(int argc, char** argv) {
    Campaign campaign("change-flow", argc, argv, 2000);
    if (!Emulator().Valid()) {
        std::printf("the emulator's wnaspi32.dll is not reachable\n");
        return 2;
    }
    MessageTable = MessageTableFor(0);
    while (campaign.NextRun()) {
        OneRun(campaign);
    }
    return campaign.Finish();
}
