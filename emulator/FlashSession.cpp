// The drive's flash mode (see FlashSession.h). Downloads land in the drive's
// memory by drive address. Erasing begins with the first mask of pass 4: from
// then on the flash holds erased bytes and the drive's firmware is incomplete;
// the last mask of pass 2 programs the downloaded bytes into the flash, and
// leaving flash mode after it starts that firmware, whose version field becomes
// the drive's revision. The drive judges the image with its own reading of the
// format: only the format's constants are shared with the flash tool.
#include "FlashSession.h"

#include "ImageFormat.h"

namespace zalemu {

namespace {
const SenseCode Accepted = {0, 0, 0};
const SenseCode InvalidField = {5, 0x24, 0};
const SenseCode SequenceError = {5, 0x2C, 0};
const SenseCode InvalidParameter = {5, 0x26, 0};
constexpr unsigned ImageBlocks = ImageSize / FlashBlockSize; // 250

FlashReply Refuse(const SenseCode& sense) {
    FlashReply reply;
    reply.refusal = sense;
    return reply;
}

// The revision of the firmware's version field '~' c1 c2 c3: "c1.c2c3", or
// "c2 0 c3 c1" when c1 is a letter; in characters INQUIRY can carry.
std::string InstalledRevision(const std::vector<uint8_t>& flash) {
    const char c1 = static_cast<char>(flash[ImageVersionOffset + 1]);
    const char c2 = static_cast<char>(flash[ImageVersionOffset + 2]);
    const char c3 = static_cast<char>(flash[ImageVersionOffset + 3]);
    const bool letter = (c1 >= 'A' && c1 <= 'Z') || (c1 >= 'a' && c1 <= 'z');
    std::string revision = letter ? std::string{c2, '0', c3, c1} : std::string{c1, '.', c2, c3};
    for (char& c : revision) {
        if (c < 0x20 || c > 0x7E || c == '#') {
            c = '?';
        }
    }
    return revision;
}

// The drive's checksum of the downloaded image: the 16-bit sum of its
// big-endian words before the checksum word.
uint16_t WordSum(const std::vector<uint8_t>& image) {
    uint32_t sum = 0;
    for (size_t i = 0; i < ImageChecksumOffset; i += 2) {
        sum += static_cast<uint32_t>(image[i]) << 8 | image[i + 1];
    }
    return static_cast<uint16_t>(sum);
}
} // namespace

void FlashSession::Reset() {
    active_ = false;
    image_.clear();
    image_.shrink_to_fit();
    downloaded_.assign(ImageBlocks, false);
    blocksDownloaded_ = 0;
    checksumAccepted_ = false;
    erased_ = 0;
    programmed_ = 0;
}

FlashReply FlashSession::SetMode(unsigned mode, DriveState* state) {
    if (mode > 1) {
        return Refuse(InvalidField);
    }
    FlashReply reply;
    if (mode == 1) {
        // Entering flash mode starts a run afresh, also when a run that stopped
        // part-way never left it: nothing of that run is taken over.
        Reset();
        active_ = true;
        image_.assign(ImageSize, 0xFF);
        return reply;
    }
    if (active_ && programmed_ == FlashPassMasks && state->firmware) {
        state->revision = InstalledRevision(*state->firmware);
        state->firmwareIncomplete = false;
        reply.stateChanged = true;
    }
    Reset();
    return reply;
}

FlashReply FlashSession::Download(uint32_t address, unsigned count, const uint8_t* data,
                                  uint32_t length, bool dataOut) {
    if (!active_ || erased_ != 0) {
        return Refuse(SequenceError);
    }
    const uint32_t bytes = count * FlashBlockSize;
    if (count == 0 || count > FlashMaxBlocks || address % FlashBlockSize != 0 ||
        address < DriveImageBase || address + bytes > DriveImageEnd || !dataOut ||
        length != bytes) {
        return Refuse(InvalidField);
    }
    const uint32_t offset = address - DriveImageBase;
    for (uint32_t i = 0; i < bytes; ++i) {
        image_[offset + i] = data[i];
    }
    for (unsigned block = offset / FlashBlockSize; block < (offset + bytes) / FlashBlockSize;
         ++block) {
        if (!downloaded_[block]) {
            downloaded_[block] = true;
            ++blocksDownloaded_;
        }
    }
    // A changed image needs its checksum again.
    checksumAccepted_ = false;
    return FlashReply();
}

FlashReply FlashSession::Checksum(uint16_t value) {
    if (!active_ || erased_ != 0 || blocksDownloaded_ != ImageBlocks) {
        return Refuse(SequenceError);
    }
    const uint16_t carried =
        static_cast<uint16_t>(image_[ImageChecksumOffset] << 8 | image_[ImageChecksumOffset + 1]);
    if (value != WordSum(image_) || value != carried) {
        return Refuse(InvalidParameter);
    }
    checksumAccepted_ = true;
    return FlashReply();
}

FlashReply FlashSession::Block(unsigned subCommand, uint32_t mask, DriveState* state) {
    if (mask < 0x4 || mask > 0x40000 || (mask & (mask - 1)) != 0) {
        return Refuse(InvalidField);
    }
    if (!active_) {
        return Refuse(SequenceError);
    }
    FlashReply reply;
    if (subCommand == 4) {
        if (!checksumAccepted_ || erased_ == FlashPassMasks || mask != (0x4u << erased_)) {
            return Refuse(SequenceError);
        }
        if (erased_ == 0) {
            state->firmwareIncomplete = true;
            SetFirmware(state, std::vector<uint8_t>(ImageSize, 0xFF));
            reply.stateChanged = true;
        }
        ++erased_;
        return reply;
    }
    if (erased_ != FlashPassMasks || programmed_ == FlashPassMasks ||
        mask != (0x4u << programmed_)) {
        return Refuse(SequenceError);
    }
    if (++programmed_ == FlashPassMasks) {
        SetFirmware(state, image_);
        reply.stateChanged = true;
    }
    return reply;
}

} // namespace zalemu
