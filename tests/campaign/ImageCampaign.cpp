// Seeded fuzzing of the program file that carries the firmware image: each run
// writes one mutated file (well-formed with the plain or the extended trailer,
// truncated, cut to a size around each length threshold, with a damaged or
// doubled tag, with random version fields, random bytes, tiny files) and loads
// it with ReadImageFile into an image buffer fenced by inaccessible pages, so a
// write past either end crashes the run. A small reading of the image rules,
// written here on its own, says whether the file must be accepted and what must
// then be taken from it (image bytes, checksum bytes, update version, the
// extended trailer's revision characters); a refused file must leave the loaded
// values as they were. Each run also takes the program path from a random
// command line, into a buffer that ends at an inaccessible page.
#include "Campaign.h"

#include "FirmwareImage.h"
#include "Identification.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

enum : unsigned long {
    Image = 1024000,
    Plain = Image + 4,        // shortest file with the plain trailer
    VersionFromEnd = 1022980, // the version field, counted back from the end
    PageSize = 4096
};

// What the rules say about a file.
struct Verdict {
    bool accepted = false;
    unsigned long imageAt = 0;
    unsigned char checksum[2] = {0, 0};
    char version[5] = "";
    bool extended = false;
    unsigned char tail[2] = {0, 0};
};

bool TagAt(const Bytes& file, unsigned long at) {
    return std::memcmp(&file[at], "M7T5", 4) == 0;
}

bool Letter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

Verdict Judge(const Bytes& file) {
    Verdict v;
    const unsigned long size = static_cast<unsigned long>(file.size());
    if (size < Plain) {
        return v;
    }
    unsigned long shift = 0;
    if (!TagAt(file, size - 4)) {
        if (size < Plain + 2 || !TagAt(file, size - 6)) {
            return v;
        }
        shift = 2;
        v.extended = true;
        v.tail[0] = file[size - 2];
        v.tail[1] = file[size - 1];
    }
    const unsigned char* field = &file[size - VersionFromEnd - shift];
    if (field[0] != '~') {
        return v;
    }
    // Lettered "~Lxy" reads "x0yL", dotted "~abc" reads "a.bc".
    const bool lettered = Letter(field[1]);
    const char text[5] = {char(field[lettered ? 2 : 1]), lettered ? '0' : '.',
                          char(field[lettered ? 3 : 2]), char(field[lettered ? 1 : 3]), 0};
    std::memcpy(v.version, text, 5);
    v.checksum[0] = file[size - 6 - shift];
    v.checksum[1] = file[size - 5 - shift];
    v.imageAt = size - Plain - shift;
    v.accepted = true;
    return v;
}

// `bytes` read-write pages fenced by an inaccessible page on each side; the
// usable area ends exactly at the upper fence.
unsigned char* Fenced(unsigned long bytes) {
    const unsigned long pages = (bytes + PageSize - 1) / PageSize;
    unsigned char* base = static_cast<unsigned char*>(
        VirtualAlloc(NULL, (pages + 2) * PageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base == NULL || !VirtualProtect(base, PageSize, PAGE_NOACCESS, &old) ||
        !VirtualProtect(base + (pages + 1) * PageSize, PageSize, PAGE_NOACCESS, &old)) {
        std::printf("no fenced buffer\n");
        ExitProcess(2);
    }
    return base + (pages + 1) * PageSize - bytes;
}

// A well-formed file: a program part, the image from the pool, the trailer.
Bytes WellFormed(CaseRandom& random, const Bytes& pool, bool extended) {
    const unsigned long program = random.Below(3000);
    const unsigned long from = random.Below(static_cast<uint32_t>(pool.size() - Image - program));
    Bytes file(pool.data() + from, pool.data() + from + program + Image);
    unsigned char* image = &file[program];
    image[0x400] = '~';
    static const char versions[] = "0123456789AZaz.~ ";
    for (int i = 1; i <= 3; ++i) {
        image[0x400 + i] = random.Chance(80)
                               ? static_cast<unsigned char>(versions[random.Below(17)])
                               : static_cast<unsigned char>(random.Below(256));
    }
    file.insert(file.end(), {'M', '7', 'T', '5'});
    if (extended) {
        file.push_back(static_cast<unsigned char>(random.Below(256)));
        file.push_back(static_cast<unsigned char>(random.Below(256)));
    }
    return file;
}

// One mutated file; its kind is added to the campaign's tallies.
Bytes Mutated(Campaign& campaign, const Bytes& pool) {
    CaseRandom& random = campaign.Random();
    const uint32_t kind = random.Below(100);
    Bytes file = WellFormed(random, pool, random.Chance(40));
    if (kind < 30) {
        campaign.Count("well-formed");
        if (random.Chance(30)) {
            // The version mark damaged, where the plain or the extended layout puts it.
            const unsigned long back = VersionFromEnd + (random.Chance(50) ? 0 : 2);
            file[file.size() - back] = static_cast<unsigned char>(random.Below(256));
        }
    } else if (kind < 45) {
        campaign.Count("truncated");
        const unsigned long cut = random.Chance(50) ? random.Between(1, 8) : random.Below(4096);
        file.resize(file.size() > cut ? file.size() - cut : 0);
    } else if (kind < 60) {
        // Sizes around both thresholds, with the tag at either place or both.
        campaign.Count("threshold");
        const unsigned long size = Plain - 3 + random.Below(8);
        file.erase(file.begin(), file.end() - static_cast<Bytes::difference_type>(
                                                  size < file.size() ? size : file.size()));
        file.resize(size, 'x');
        if (random.Chance(70)) {
            std::memcpy(&file[size - 4], "M7T5", 4);
        }
        if (random.Chance(50)) {
            std::memcpy(&file[size - 6], "M7T5", 4);
        }
        for (unsigned long back : {0ul + VersionFromEnd, 2ul + VersionFromEnd}) {
            if (random.Chance(70)) {
                file[size - back] = '~';
            }
        }
    } else if (kind < 75) {
        campaign.Count("tag");
        const unsigned long tag = file.size() - 4 - (TagAt(file, file.size() - 4) ? 0 : 2);
        const unsigned long at = tag + random.Below(4);
        file[at] = random.Chance(50) ? static_cast<unsigned char>(file[at] ^ 0x20)
                                     : static_cast<unsigned char>(random.Below(256));
        if (random.Chance(30)) {
            // A second tag where the other layout looks for it.
            std::memcpy(&file[file.size() - (tag == file.size() - 4 ? 6 : 4)], "M7T5", 4);
        }
    } else if (kind < 90) {
        campaign.Count("random");
        const unsigned long size = random.Below(Plain + 4096);
        const unsigned long from = random.Below(static_cast<uint32_t>(pool.size() - size));
        file.assign(pool.data() + from, pool.data() + from + size);
        if (size >= 6 && random.Chance(50)) {
            std::memcpy(&file[size - 4 - (random.Chance(50) ? 0 : 2)], "M7T5", 4);
        }
        if (size >= VersionFromEnd + 2 && random.Chance(50)) {
            file[size - VersionFromEnd - (random.Chance(50) ? 0 : 2)] = '~';
        }
    } else {
        campaign.Count("tiny");
        file.resize(random.Below(40));
        if (file.size() >= 4 && random.Chance(50)) {
            std::memcpy(&file[file.size() - 4], "M7T5", 4);
        }
    }
    return file;
}

bool WriteWhole(const std::string& path, const Bytes& file) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = file.empty() ||
                    WriteFile(handle, file.data(), static_cast<DWORD>(file.size()), &written, NULL);
    CloseHandle(handle);
    return ok && written == file.size();
}

// With the build's revision pattern (first characters "?." by default), whether
// revision "2." t matches once the extended trailer set the pattern's third
// character to `third`, by the rule: stored = third + 0x81 modulo 256; a match
// when stored - 0x81, without wrapping, is '?' or the revision byte as signed.
bool TailMatches(unsigned char third, unsigned char t) {
    const int plain = static_cast<int>((third + 0x81u) & 0xFFu) - 0x81;
    return plain == 0x3F || plain == static_cast<signed char>(t);
}

void CheckLoad(Campaign& campaign, const std::string& path, const Bytes& file, bool guardTail) {
    const Verdict v = Judge(file);
    campaign.Count(v.accepted ? "accepted" : "refused");
    // Known values before the load: a refused file must leave them.
    const char before[5] = "zzzz";
    std::memcpy(FirmwareImage.updateVersion, before, 5);
    FirmwareImage.checksum[0] = 0xA5;
    FirmwareImage.checksum[1] = 0x5A;
    char* const pathBefore = FirmwareImage.path;
    InitRevisionPattern();
    const int result = ReadImageFile(path.c_str());
    const std::string size = " (size " + std::to_string(file.size()) + ")";
    if (!campaign.Expect(v.accepted, result, "result" + size)) {
        return;
    }
    if (!v.accepted) {
        campaign.Expect(before, FirmwareImage.updateVersion, "version after a refusal");
        campaign.Expect(0xA55AL, (FirmwareImage.checksum[0] << 8 | FirmwareImage.checksum[1]),
                        "checksum after a refusal");
        campaign.Expect(1L, FirmwareImage.path == pathBefore, "path kept after a refusal");
        return;
    }
    campaign.Expect(v.version, FirmwareImage.updateVersion, "version");
    campaign.Expect((v.checksum[0] << 8 | v.checksum[1]),
                    (FirmwareImage.checksum[0] << 8 | FirmwareImage.checksum[1]), "checksum");
    campaign.Expect(path, std::string(FirmwareImage.path != nullptr ? FirmwareImage.path : ""),
                    "path");
    campaign.Expect(0L, std::memcmp(FirmwareImage.data, &file[v.imageAt], Image),
                    "image bytes against the file at " + std::to_string(v.imageAt));
    if (v.extended && guardTail) {
        for (unsigned char t : {v.tail[0], static_cast<unsigned char>(v.tail[0] ^ 1)}) {
            const char revision[4] = {'2', '.', static_cast<char>(t), 0};
            campaign.Expect(TailMatches(v.tail[0], t) ? 1L : 0L,
                            (MatchRevisionPattern(revision, NULL)),
                            "revision pattern after the extended trailer");
        }
    }
}

// The program path from a random command line, by the rule: after an opening
// double quote up to the next one, else up to the first blank; a double quote
// left at the end is dropped; at most size - 1 characters.
void CheckCommandLine(Campaign& campaign, char* fenced, unsigned size) {
    CaseRandom& random = campaign.Random();
    static const char alphabet[] = "\" \"ab\\:. ";
    std::string line;
    const uint32_t length = random.Below(24);
    for (uint32_t i = 0; i < length; ++i) {
        line += random.Chance(70) ? alphabet[random.Below(9)]
                                  : static_cast<char>(random.Between(1, 255));
    }
    std::string expected;
    size_t i = 0;
    const char end = !line.empty() && line[0] == '"' ? '"' : ' ';
    if (end == '"') {
        i = 1;
    }
    while (i < line.size() && line[i] != end) {
        expected += line[i++];
    }
    expected = expected.substr(0, size - 1);
    if (!expected.empty() && expected.back() == '"') {
        expected.pop_back();
    }
    ProgramPathFromCommandLine(line.c_str(), fenced, size);
    campaign.Expect(expected, fenced, "program path of " + Describe(line));
}

} // namespace

int main(int argc, char** argv) {
    Campaign campaign("image", argc, argv, 10000);
    // Random bytes for every file, made once.
    CaseRandom poolRandom(0x5EED);
    Bytes pool(2 * Plain + 8192);
    for (unsigned char& byte : pool) {
        byte = static_cast<unsigned char>(poolRandom.Next() >> 24);
    }
    FirmwareImage.data = Fenced(Image);
    const unsigned pathSize = 16;
    char* pathBuffer = reinterpret_cast<char*>(Fenced(pathSize));
    InitRevisionPattern();
    const bool guardTail = MatchRevisionPattern("2.1", NULL) == 1;
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "image-campaign.bin";
    while (campaign.NextRun()) {
        const Bytes file = Mutated(campaign, pool);
        if (!WriteWhole(path, file)) {
            campaign.Broken("could not write " + path);
            continue;
        }
        CheckLoad(campaign, path, file, guardTail);
        // The path buffer ends at the fence, whatever its size.
        const unsigned size = 1 + campaign.Random().Below(pathSize);
        CheckCommandLine(campaign, pathBuffer + (pathSize - size), size);
    }
    DeleteFileA(path.c_str());
    return campaign.Finish();
}
