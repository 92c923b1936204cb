// Seeded fuzzing of what a device answers, through one tool's probe: the
// drive's INQUIRY data (short replies, NULs, control and non-ASCII bytes, near
// misses of the served drive) and, for the book-type probe, the replies of its
// 0xC9 reads (short, random, some reads failing). Checks: no crash; every
// display text and drive list item is the 35-character text of the address and
// the identification bytes, with a missing or NUL byte shown as a blank; the
// book-type probe lists the device exactly when its first read succeeds and
// decodes the replies into a state whose every field is within its range and
// equals a decoding written here from the reply layout; the flash probe lists
// the device exactly when a reading of the configured patterns written here
// says it is a target, and its version comparison and downgrade answer equal
// the ones written here from their rules. Built once per probe
// (ZAL_CAMPAIGN_BOOKTYPE 1: ProbeBookTypeDrive, 0: ProbeDrive), on the ASPI path.
#include "Campaign.h"

#include "DriveTable.h"
#include "PathTestSupport.h"
#include "RecordingHost.h"

#if ZAL_CAMPAIGN_BOOKTYPE
#include "BookTypeState.h"
#include "BookTypeTestSupport.h"
#else
#include "FirmwareImage.h"
#include "FlashProbe.h"
#include "Identification.h"

#include "PlainPatterns.inc"
#endif

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

// One byte of device text: mostly printable, else NUL, control or non-ASCII.
unsigned char TextByte(CaseRandom& random) {
    const uint32_t roll = random.Below(100);
    return static_cast<unsigned char>(roll < 60   ? random.Between(0x20, 0x7E)
                                      : roll < 75 ? 0
                                      : roll < 85 ? random.Below(0x20)
                                                  : random.Between(0x7F, 0xFF));
}

// A revision near the update versions: dotted d.dd around 2.17, or the
// lettered form around 107A.
void NearVersion(CaseRandom& random, unsigned char* revision) {
    if (random.Chance(60)) {
        revision[0] =
            static_cast<unsigned char>(random.Chance(70) ? '2' : random.Between('0', '9'));
        revision[1] = '.';
        revision[2] =
            static_cast<unsigned char>(random.Chance(70) ? '1' : random.Between('0', '9'));
        revision[3] = static_cast<unsigned char>(random.Between('0', '9'));
    } else {
        revision[0] = '1';
        revision[1] = static_cast<unsigned char>(random.Chance(80) ? '0' : '1');
        revision[2] = static_cast<unsigned char>(random.Between('5', '8'));
        revision[3] = static_cast<unsigned char>(random.Between('@', 'C'));
    }
}

Bytes RandomInquiry(CaseRandom& random) {
    // Often the served drive or its loader, with a few bytes changed: a near
    // version, a near product ("TK-4800K"), any byte.
    static const char* const drives[] = {"ZAL     TK-4800J        2.16",
                                         "ZAL     TK-4800J LOADER 0.01",
                                         "ZAL     TK-4800J        107A"};
    Bytes data = {0x05, 0x80, 0x02, 0x02, 0x1F, 0, 0, 0};
    if (random.Chance(50)) {
        const char* text = drives[random.Below(3)];
        data.insert(data.end(), text, text + 28);
        if (random.Chance(60)) {
            NearVersion(random, &data[32]);
        }
        if (random.Chance(20)) {
            data[23] = static_cast<unsigned char>(random.Between('H', 'L'));
        }
        for (uint32_t n = random.Below(3); n > 0; --n) {
            data[8 + random.Below(28)] = TextByte(random);
        }
    } else {
        for (int i = 0; i < 28; ++i) {
            data.push_back(TextByte(random));
        }
    }
    const uint32_t roll = random.Below(100);
    const uint32_t length = roll < 60 ? 36 : roll < 90 ? random.Below(36) : random.Between(37, 60);
    data.resize(length, static_cast<unsigned char>(random.Below(256)));
    return data;
}

// The display text the rules give: the address tag, then identification bytes
// 8-31, a byte the device did not send or sent as NUL shown as a blank.
std::string ExpectedDisplay(int ha, int target, const Bytes& inquiry) {
    std::string text = "[HA:0/ID:0]";
    text[4] = static_cast<char>(ha < 10 ? '0' + ha : 'A' + ha - 10);
    text[9] = static_cast<char>('0' + target);
    for (size_t i = 8; i < 32; ++i) {
        const unsigned char b = i < inquiry.size() && i < 36 ? inquiry[i] : 0;
        text += b == 0 ? ' ' : static_cast<char>(b);
    }
    return text;
}

#if ZAL_CAMPAIGN_BOOKTYPE

// The probe's reads in order and the state they give, decoded from the reply
// layout: byte 1 the book type, bit 7 of byte 2 the select, the rest of bytes 2-3
// the count, bytes 4-5 the command version. A failed read gives nothing; a short
// reply leaves its missing bytes 0.
struct ReadPlan {
    std::vector<Bytes> replies; // used in turn by the reads that reach the drive
    bool fails[4];              // which of the probe's reads fail
};

const unsigned char* ReplyOf(const ReadPlan& plan, size_t* used, unsigned char reply[6]) {
    std::memset(reply, 0, 6);
    const Bytes& bytes =
        plan.replies[*used < plan.replies.size() ? *used : plan.replies.size() - 1];
    ++*used;
    std::memcpy(reply, bytes.data(), bytes.size() < 6 ? bytes.size() : 6);
    return reply;
}

bool ExpectedState(const ReadPlan& plan, BookTypeState* s) {
    std::memset(s, 0, sizeof *s);
    size_t used = 0;
    unsigned char r[6];
    if (plan.fails[0]) {
        return false;
    }
    ReplyOf(plan, &used, r);
    s->defaultValue[DvdPlusRDl] = r[1];
    s->temporarySelected[DvdPlusRDl] = r[2] >> 7;
    s->changeCountHigh = r[2] & 0x7F;
    s->changeCountLow = r[3];
    s->commandVersion = r[4] * 256 + r[5];
    const int version = s->commandVersion;
    if (version >= 2 && !plan.fails[1]) {
        s->temporaryValid[DvdPlusRDl] = 1;
        s->temporaryValue[DvdPlusRDl] = ReplyOf(plan, &used, r)[1];
    }
    if (version >= 3) {
        if (!plan.fails[2]) {
            ReplyOf(plan, &used, r);
            s->defaultValue[DvdPlusR] = r[1];
            s->temporarySelected[DvdPlusR] = r[2] >> 7;
        }
        if (!plan.fails[3]) {
            s->temporaryValid[DvdPlusR] = 1;
            s->temporaryValue[DvdPlusR] = ReplyOf(plan, &used, r)[1];
        }
    }
    return true;
}

bool InRange(const BookTypeState& s) {
    bool ok = s.changeCountHigh <= 0x7F && s.commandVersion >= 0 && s.commandVersion <= 0xFFFF &&
              s.defaultValue[DvdPlusRw] == 0 && s.temporaryValue[DvdPlusRw] == 0;
    for (int m = 0; m < 3; ++m) {
        ok = ok && s.temporaryValid[m] <= 1 && s.temporarySelected[m] <= 1;
    }
    return ok && RemainingChangeCount(&s) <= 32767;
}

std::string DeviceReplies(CaseRandom& random, ReadPlan* plan) {
    std::string settings;
    const uint32_t count = random.Between(1, 4);
    for (uint32_t n = 0; n < count; ++n) {
        Bytes reply;
        const uint32_t length = random.Chance(70) ? 6 : random.Below(10);
        for (uint32_t i = 0; i < length; ++i) {
            reply.push_back(static_cast<unsigned char>(random.Below(256)));
        }
        // Versions around the thresholds 2 and 3 most of the time.
        if (length >= 6 && random.Chance(60)) {
            reply[4] = random.Chance(80) ? 0 : 1;
            reply[5] = static_cast<unsigned char>(random.Below(5));
        }
        plan->replies.push_back(reply);
        settings += "read-reply = " + HexText(reply) + "\n";
    }
    for (int k = 0; k < 4; ++k) {
        plan->fails[k] = random.Chance(15);
        if (plan->fails[k]) {
            // The k-th 0xC9 command of the device, counted over all reads.
            settings += "fault = C9/02#" + std::to_string(k + 1) + " check 5/24/00\n";
        }
    }
    return settings;
}

#else

// The flash probe's rules, read here from the configured plain patterns: a
// position matches a pattern's '?' or its own byte exactly; versions compare
// character by character as signed bytes.
bool PatternMatches(const unsigned char* pattern, const unsigned char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (pattern[i] != '?' && pattern[i] != bytes[i]) {
            return false;
        }
    }
    return true;
}

template <size_t Rows, size_t Length>
bool AnyMatches(const unsigned char (&patterns)[Rows][Length], const unsigned char* bytes) {
    for (size_t row = 0; row < Rows; ++row) {
        if (PatternMatches(patterns[row], bytes, Length)) {
            return true;
        }
    }
    return false;
}

bool RevisionMatches(const unsigned char* revision) {
    return PatternMatches(PlainRevisionPattern[0], revision, 3);
}

// 0 not a target of the image, 1 same or newer image, 2 older image.
int ExpectedComparison(const unsigned char* current, const char* update) {
    const signed char* c = reinterpret_cast<const signed char*>(current);
    const signed char* u = reinterpret_cast<const signed char*>(update);
    if (c[1] != '.') {
        // Lettered form: same first two characters, then neither of the last two lower.
        if (c[0] != u[0] || c[1] != u[1]) {
            return 0;
        }
        return c[2] > u[2] || c[3] > u[3] ? 2 : 1;
    }
    // Dotted: the last digit decides only within the same first digit and tenth.
    const bool sameSeries = u[1] == '.' && c[0] == u[0] && c[2] == u[2];
    if (sameSeries) {
        return c[3] > u[3] ? 2 : 1;
    }
    return RevisionMatches(current) ? 1 : 0;
}

int DottedValue(const unsigned char* v) {
    auto digit = [](unsigned char x) { return x >= '0' && x <= '9'; };
    if (!digit(v[0]) || v[1] != '.' || !digit(v[2]) || !digit(v[3])) {
        return -1;
    }
    return (v[0] - '0') * 100 + (v[2] - '0') * 10 + (v[3] - '0');
}

bool ExpectedDowngrade(const unsigned char* current, const char* update) {
    const int c = DottedValue(current);
    const int u = DottedValue(reinterpret_cast<const unsigned char*>(update));
    return ExpectedComparison(current, update) == 2 || (c >= 0 && u >= 0 && c > u);
}

// The identification the probe works on: the reply over a cleared buffer.
void Identification(const Bytes& inquiry, unsigned char id[36]) {
    std::memset(id, 0, 36);
    std::memcpy(id, inquiry.data(), inquiry.size() < 36 ? inquiry.size() : 36);
}

bool ExpectedTarget(const unsigned char* id, const char* update) {
    if (AnyMatches(PlainVendorPatterns, id + 8) && AnyMatches(PlainProductPatterns, id + 16)) {
        return ExpectedComparison(id + 32, update) != 0 || RevisionMatches(id + 32);
    }
    return RevisionMatches(id + 32) && AnyMatches(PlainAlternateProduct, id + 16);
}

#endif

void OneRun(Campaign& campaign) {
    CaseRandom& random = campaign.Random();
    const int ha = static_cast<int>(random.Below(3));
    const int target = static_cast<int>(random.Below(8));
    const Bytes inquiry = RandomInquiry(random);
    const bool inquiryFails = random.Chance(5);
    std::string settings = "kind = tk4800j\ninquiry-reply = " + HexText(inquiry) + "\n";
    if (inquiryFails) {
        settings += "fault = 12 check 5/24/00\n";
    }
#if ZAL_CAMPAIGN_BOOKTYPE
    ReadPlan plan;
    settings += DeviceReplies(random, &plan);
#endif
    ClearRecordedHost();
    if (!campaign.Expect("", StartWith("[emulator]\n" + Device(ha, target, settings)),
                         "scenario refused")) {
        return;
    }
#if ZAL_CAMPAIGN_BOOKTYPE
    std::memset(DriveDisplayBuffer, 'x', sizeof DriveDisplayBuffer);
    EnumerateDrives(&BookTypeDriveProbe);
    const char* display = DriveDisplayBuffer;
    BookTypeState expected;
    const bool listed = !inquiryFails && ExpectedState(plan, &expected);
    campaign.Expect(listed, DriveCount, "drives listed");
    if (listed && DriveCount == 1) {
        campaign.Expect(1L, InRange(DriveStates[0]),
                        "state within its ranges: " + Describe(DriveStates[0]));
        campaign.Expect(Describe(expected), Describe(DriveStates[0]), "decoded state");
    }
    campaign.Count(listed ? "listed" : "left-out");
#else
    const char* update = random.Chance(70) ? "2.17" : "107A";
    lstrcpyA(FirmwareImage.updateVersion, update);
    std::memset(FlashDisplayBuffer, 'x', sizeof FlashDisplayBuffer);
    EnumerateDrives(&FlashDriveProbe);
    const char* display = FlashDisplayBuffer;
    unsigned char id[36];
    Identification(inquiry, id);
    const std::string revision(reinterpret_cast<const char*>(id + 32), 4);
    const std::string device = HexText(inquiry) + " against " + update;
    const bool served = !inquiryFails && ExpectedTarget(id, update);
    campaign.Expect(served, DriveCount, "drives listed for " + device);
    campaign.Count(served ? "listed" : "left-out");
    if (!inquiryFails) {
        const int compared = ExpectedComparison(id + 32, update);
        campaign.Expect(compared, CompareVersions(revision.c_str(), update),
                        "version comparison of " + device);
        campaign.Expect(ExpectedDowngrade(id + 32, update), IsDowngrade(revision.c_str(), update),
                        "downgrade of " + device);
        campaign.Count(compared == 2   ? "older-image"
                       : compared == 1 ? "newer-image"
                                       : "no-version");
    }
    if (served && DriveCount == 1) {
        SelectDrive(0);
        campaign.Expect(std::string(revision.c_str()), CurrentVersion(), "current version");
    }
#endif
    if (!inquiryFails) {
        const std::string expectedDisplay = ExpectedDisplay(ha, target, inquiry);
        campaign.Expect(expectedDisplay, std::string(display, strnlen(display, 36)),
                        "display text of " + HexText(inquiry));
        for (const std::string& item : DriveListItems()) {
            campaign.Expect(expectedDisplay, item, "drive list item");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
#if ZAL_CAMPAIGN_BOOKTYPE
    Campaign campaign("device-data-booktype", argc, argv, 2000);
#else
    Campaign campaign("device-data-flash", argc, argv, 2000);
    InitRevisionPattern();
#endif
    if (!Emulator().Valid()) {
        std::printf("the emulator's wnaspi32.dll is not reachable\n");
        return 2;
    }
    return campaign.RunAll(OneRun);
}
