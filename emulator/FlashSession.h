// The drive's flash mode: the image downloaded into the drive, its checksum, and
// the two block passes (4 erases, 2 programs), each in its fixed mask order. The
// drive model forwards the 0xCB and 0xCC commands here.
#ifndef ZAL_EMULATOR_FLASHSESSION_H
#define ZAL_EMULATOR_FLASHSESSION_H

#include "DriveState.h"
#include "Scenario.h"

#include <cstdint>
#include <vector>

namespace zalemu {

// The outcome of one flash command: accepted (key 0), or the sense it is refused
// with. `stateChanged` when the drive's persistent state changed (firmware).
struct FlashReply {
    SenseCode refusal;
    bool stateChanged = false;
};

constexpr unsigned FlashBlockSize = 4096;
constexpr unsigned FlashMaxBlocks = 8;
constexpr unsigned FlashPassMasks = 17; // masks 0x4 .. 0x40000

class FlashSession {
public:
    bool Active() const { return active_; }

    // 0xCC sub 1: mode 1 enters flash mode, mode 0 leaves it.
    FlashReply SetMode(unsigned mode, DriveState* state);
    // 0xCB sub 1: count blocks of 4,096 bytes at a drive address.
    FlashReply Download(uint32_t address, unsigned count, const uint8_t* data, uint32_t length,
                        bool dataOut);
    // 0xCC sub 4: the checksum word of the downloaded image.
    FlashReply Checksum(uint16_t value);
    // 0xCB sub 4 (erase) and sub 2 (program) with their one-bit mask.
    FlashReply Block(unsigned subCommand, uint32_t mask, DriveState* state);

private:
    void Reset();

    bool active_ = false;
    std::vector<uint8_t> image_;
    std::vector<bool> downloaded_; // per 4,096-byte block of the image
    unsigned blocksDownloaded_ = 0;
    bool checksumAccepted_ = false;
    unsigned erased_ = 0;     // masks of pass 4 done
    unsigned programmed_ = 0; // masks of pass 2 done
};

} // namespace zalemu

#endif
