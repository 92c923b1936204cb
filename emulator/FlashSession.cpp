// The drive's flash mode (see FlashSession.h). Erasing begins with the first mask
// of pass 4: from then on the old firmware is gone, and the drive's firmware is
// incomplete until pass 2 has completed and flash mode is left, which installs
// the downloaded image and its version as the drive's revision.
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

// The revision text of an image's version field, in characters INQUIRY can carry.
std::string InstalledRevision(const uint8_t* image) {
    char text[VersionTextLength + 1];
    ImageVersionText(image, text);
    std::string revision(text, VersionTextLength);
    for (char& c : revision) {
        if (c < 0x20 || c > 0x7E || c == '#') {
            c = '?';
        }
    }
    return revision;
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
    if (active_ && programmed_ == FlashPassMasks) {
        state->revision = InstalledRevision(image_.data());
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
    if (value != ComputeImageChecksum(image_.data()) ||
        value != StoredImageChecksum(image_.data())) {
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
        if (erased_ == 0 && !state->firmwareIncomplete) {
            state->firmwareIncomplete = true;
            reply.stateChanged = true;
        }
        ++erased_;
        return reply;
    }
    if (erased_ != FlashPassMasks || programmed_ == FlashPassMasks ||
        mask != (0x4u << programmed_)) {
        return Refuse(SequenceError);
    }
    ++programmed_;
    return reply;
}

} // namespace zalemu
