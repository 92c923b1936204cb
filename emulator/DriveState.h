// What an emulated drive keeps across runs of the tools, as a real drive keeps it
// in its memory: disc present, book-type settings, remaining default changes,
// firmware revision and whether the firmware is whole. Also the text form of
// that state, shared by the scenario (initial values) and the state file.
#ifndef ZAL_EMULATOR_DRIVESTATE_H
#define ZAL_EMULATOR_DRIVESTATE_H

#include <cstddef>
#include <cstdint>
#include <map>
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
};

constexpr unsigned MaxChangesLeft = 32767;

// True for the keys of the state (disc, changes-left, dl-default, dl-temporary,
// dl-applies, r-default, r-temporary, r-applies, revision, firmware).
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
