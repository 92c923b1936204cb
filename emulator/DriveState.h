// What an emulated drive keeps across runs of the tools, as a real drive keeps it
// in its memory: disc present, book-type settings, remaining default changes,
// firmware revision, whether the firmware is whole, and the firmware's bytes as
// the drive's flash holds them. Also the text form of that state, shared by the
// scenario (initial values) and the state file, which names the firmware's bytes
// by their digest.
#ifndef ZAL_EMULATOR_DRIVESTATE_H
#define ZAL_EMULATOR_DRIVESTATE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zalemu {

// The book-type settings of one medium.
struct BookTypeSetting {
    uint8_t defaultValue = 0;
    uint8_t temporaryValue = 0;
    bool temporaryApplies = false; // the drive applies the temporary setting
};

struct DriveState {
    bool disc = false;
    unsigned changesLeft = 50;                // 0..32767
    BookTypeSetting dl = {0xE0, 0xE0, false}; // DVD+R DL (medium 2)
    BookTypeSetting r = {0xA0, 0xA0, false};  // DVD+R (medium 0)
    std::string revision = "2.16";            // 4 characters, blank-padded
    bool firmwareIncomplete = false;          // a flash stopped after erasing began
    // The flash from drive address 0x6000 on (1,024,000 bytes), shared between
    // copies of the state and never changed in place; null while unknown (a
    // drive that no run has flashed). `imageDigest` names it: 16 hex digits, or
    // "none" while it is unknown.
    std::shared_ptr<const std::vector<uint8_t>> firmware;
    std::string imageDigest = "none";
};

// The digest the state file records for firmware bytes: FNV-1a (64 bits) in 16
// lower-case hex digits.
std::string FirmwareDigest(const std::vector<uint8_t>& bytes);

// Installs firmware bytes (and their digest) into a state.
void SetFirmware(DriveState* state, std::vector<uint8_t> bytes);

// The file beside the state file that holds the bytes of the firmware a digest
// names, so that other programs (zalemu) reach them.
std::string FirmwareFilePath(const std::string& statePath, const std::string& digest);

constexpr unsigned MaxChangesLeft = 32767;

// True for the keys of the state (disc, changes-left, dl-default, dl-temporary,
// dl-applies, r-default, r-temporary, r-applies, revision, firmware, image).
bool IsStateKey(const std::string& key);

// An INQUIRY identification field (vendor, product, revision) from its text: at
// most `width` printable ASCII characters, blank-padded to `width`. False with the
// reason in *why.
bool SetIdentification(const std::string& value, size_t width, std::string* field,
                       std::string* why);

// Sets one state key from its text; false with the reason in *why.
bool SetStateKey(const std::string& key, const std::string& value, DriveState* state,
                 std::string* why);

// The state file's text for the devices, in the given order.
std::string FormatStateText(const std::vector<std::pair<std::string, DriveState>>& devices);

// Applies a state file's text onto `states` (keyed by normalized address);
// sections of addresses not in `states` are checked and ignored. On failure
// `states` is unchanged and *error names the line.
bool ApplyStateText(const std::string& text, std::map<std::string, DriveState>* states,
                    std::string* error);

} // namespace zalemu

#endif
