// The emulated devices' answers to SCSI commands (see DriveModel.h). Every
// refusal is a check condition with fixed-format sense: 5/20/00 for a command the
// device does not know, 5/24/00 for an invalid CDB field (signature, medium,
// parameter, or a setting the command version lacks), 5/2C/00 for a command out
// of sequence (a disc in the drive during a change, no changes left, flash steps
// out of order), 5/26/00 for a checksum that does not match the image.
#include "DriveModel.h"

#include "TestImageMark.h"

#include <cstring>

namespace zalemu {

namespace {
const SenseCode InvalidOpcode = {5, 0x20, 0};
const SenseCode InvalidField = {5, 0x24, 0};
const SenseCode SequenceError = {5, 0x2C, 0};
const SenseCode NoMedium = {2, 0x3A, 0};
const SenseCode BecomingReady = {2, 0x04, 0x01};
const char BookTypeSignature[] = "ZALBK";
const char FlashAccessCode[] = "R4Q9";

ModelReply Check(const SenseCode& sense) {
    ModelReply reply;
    reply.good = false;
    reply.sense = sense;
    return reply;
}

ModelReply FromFlash(const FlashReply& flash) {
    ModelReply reply = flash.refusal.key != 0 ? Check(flash.refusal) : ModelReply();
    reply.stateChanged = flash.stateChanged;
    return reply;
}

uint32_t Smaller(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}
} // namespace

void FixedSense(const SenseCode& sense, uint8_t data[SenseDataSize]) {
    std::memset(data, 0, SenseDataSize);
    data[0] = 0x70;
    data[2] = sense.key & 0x0F;
    data[7] = SenseDataSize - 8;
    data[12] = sense.asc;
    data[13] = sense.ascq;
}

DriveModel::DriveModel(const DeviceConfig& config) : config_(config), state_(config.initial) {}

void DriveModel::SetState(const DriveState& state, uint32_t nowMs) {
    if (state.disc && !state_.disc) {
        loading_ = config_.loadTimeMs != 0;
        readyAtMs_ = nowMs + config_.loadTimeMs;
    }
    state_ = state;
}

bool DriveModel::DiscLoading(uint32_t nowMs) {
    if (loading_ && static_cast<int32_t>(nowMs - readyAtMs_) >= 0) {
        loading_ = false;
    }
    return state_.disc && loading_;
}

void DriveModel::InquiryData(uint8_t data[InquiryDataSize]) const {
    std::memset(data, ' ', InquiryDataSize);
    data[0] = DeviceType();
    data[1] = config_.kind == DeviceKind::Disk ? 0x00 : 0x80;
    data[2] = 0x02;
    data[3] = 0x02;
    // The additional length counts the emulator's signature, which follows the
    // standard 36 bytes for a host that asks for more.
    data[4] = static_cast<uint8_t>(
        (config_.signatureHidden ? InquiryDataSize : unsigned{EmulatorInquiryLength}) - 5);
    data[5] = data[6] = data[7] = 0;
    // The drive's loader answers in flash mode and while the firmware is
    // incomplete: the same vendor, its own product name and revision.
    const bool loader =
        config_.kind == DeviceKind::Tk4800j && (flash_.Active() || state_.firmwareIncomplete);
    std::memcpy(data + 8, config_.vendor.data(), 8);
    std::memcpy(data + 16, loader ? config_.loaderProduct.data() : config_.product.data(), 16);
    std::memcpy(data + 32, loader ? config_.loaderRevision.data() : state_.revision.data(), 4);
}

ModelReply DriveModel::Execute(const uint8_t* cdbBytes, size_t cdbLength, Direction direction,
                               uint8_t* data, uint32_t length, uint32_t nowMs) {
    // Bytes past the CDB's length read as zero.
    uint8_t cdb[16] = {0};
    std::memcpy(cdb, cdbBytes, cdbLength < sizeof cdb ? cdbLength : sizeof cdb);
    const uint8_t opcode = cdb[0];
    if (opcode == 0x12) {
        return Inquiry(cdb, direction, data, length);
    }
    if (opcode == 0x00) {
        return TestUnitReady(nowMs);
    }
    if (config_.kind != DeviceKind::Tk4800j) {
        return Check(InvalidOpcode);
    }
    if (opcode == 0xCC) {
        return FlashControl(cdb);
    }
    if (opcode == 0xCB) {
        return FlashBlocks(cdb, direction, data, length);
    }
    // A drive whose firmware is incomplete runs only its loader's commands.
    if (opcode == 0xC9 && !state_.firmwareIncomplete) {
        return BookType(cdb, direction, data, length, nowMs);
    }
    return Check(InvalidOpcode);
}

ModelReply DriveModel::Inquiry(const uint8_t* cdb, Direction direction, uint8_t* data,
                               uint32_t length) {
    // Only the standard data: no vital product data pages.
    if ((cdb[1] & 0x01) != 0 || cdb[2] != 0) {
        return Check(InvalidField);
    }
    ModelReply reply;
    if (config_.hasInquiryReply) {
        // The scenario's own bytes, as many as asked for and given.
        const std::vector<uint8_t>& bytes = config_.inquiryReply;
        if (direction == Direction::In && data != nullptr) {
            reply.transferred =
                Smaller(Smaller(cdb[4], length), static_cast<uint32_t>(bytes.size()));
            std::memcpy(data, bytes.data(), reply.transferred);
        }
        return reply;
    }
    // The standard data, then, unless hidden, the emulator's signature in the
    // vendor-specific bytes 36-55, by which a program carrying a test image tells
    // the emulator from a real drive.
    uint8_t inquiry[EmulatorInquiryLength];
    InquiryData(inquiry);
    std::memcpy(inquiry + EmulatorSignatureOffset, EmulatorSignature, EmulatorSignatureLength);
    const uint32_t available =
        config_.signatureHidden ? InquiryDataSize : unsigned{EmulatorInquiryLength};
    if (direction == Direction::In && data != nullptr) {
        reply.transferred = Smaller(Smaller(cdb[4], length), available);
        std::memcpy(data, inquiry, reply.transferred);
    }
    return reply;
}

ModelReply DriveModel::TestUnitReady(uint32_t nowMs) {
    if (config_.kind == DeviceKind::Disk) {
        return ModelReply();
    }
    if (!state_.disc) {
        return Check(NoMedium);
    }
    if (DiscLoading(nowMs)) {
        return Check(BecomingReady);
    }
    return ModelReply();
}

ModelReply DriveModel::BookType(const uint8_t* cdb, Direction direction, uint8_t* data,
                                uint32_t length, uint32_t nowMs) {
    const uint8_t sub = cdb[1];
    const uint8_t medium = cdb[2];
    const uint8_t value = cdb[3];
    const uint8_t which = cdb[9];
    if (flash_.Active()) {
        return Check(SequenceError);
    }
    if (std::memcmp(cdb + 4, BookTypeSignature, 5) != 0 || sub < 1 || sub > 4 ||
        (medium != 0 && medium != 2)) {
        return Check(InvalidField);
    }
    // Versions 0-1: the DVD+R DL default only; 2: DVD+R DL temporary and select
    // too; 3 and above: the same for DVD+R.
    const unsigned version = config_.commandVersion;
    const bool temporaryKind = sub == 3 || sub == 4 || (sub == 2 && which == 1);
    if ((medium == 0 && version < 3) || (medium == 2 && temporaryKind && version < 2)) {
        return Check(InvalidField);
    }
    BookTypeSetting& setting = medium == 2 ? state_.dl : state_.r;
    if (sub == 2) {
        if (value != 0x01 || which > 1) {
            return Check(InvalidField);
        }
        if (!config_.readReplies.empty()) {
            // The scenario's replies in turn, the last one repeating.
            const size_t n = readsAnswered_ < config_.readReplies.size()
                                 ? readsAnswered_
                                 : config_.readReplies.size() - 1;
            ++readsAnswered_;
            const std::vector<uint8_t>& bytes = config_.readReplies[n];
            ModelReply answer;
            if (direction == Direction::In && data != nullptr) {
                answer.transferred = Smaller(length, static_cast<uint32_t>(bytes.size()));
                std::memcpy(data, bytes.data(), answer.transferred);
            }
            return answer;
        }
        const unsigned count = state_.changesLeft;
        const uint8_t reply[BookTypeReplySize] = {
            0x00,
            which == 0 ? setting.defaultValue : setting.temporaryValue,
            static_cast<uint8_t>((setting.temporaryApplies ? 0x80 : 0x00) | ((count >> 8) & 0x7F)),
            static_cast<uint8_t>(count & 0xFF),
            static_cast<uint8_t>(version >> 8),
            static_cast<uint8_t>(version & 0xFF)};
        ModelReply answer;
        if (direction == Direction::In && data != nullptr) {
            answer.transferred = Smaller(length, BookTypeReplySize);
            std::memcpy(data, reply, answer.transferred);
        }
        return answer;
    }
    // A book-type value is the medium's own book type or DVD-ROM (upper nibble 0).
    const uint8_t ownType = medium == 2 ? 0xE : 0xA;
    if (sub != 4 && (value >> 4) != 0 && (value >> 4) != ownType) {
        return Check(InvalidField);
    }
    if (sub == 4 && which > 1) {
        return Check(InvalidField);
    }
    if (state_.disc || DiscLoading(nowMs)) {
        return Check(SequenceError);
    }
    ModelReply reply;
    reply.stateChanged = true;
    if (sub == 1) {
        if (state_.changesLeft == 0) {
            return Check(SequenceError);
        }
        --state_.changesLeft;
        setting.defaultValue = value;
    } else if (sub == 3) {
        setting.temporaryValue = value;
    } else {
        setting.temporaryApplies = which == 1;
    }
    return reply;
}

ModelReply DriveModel::FlashControl(const uint8_t* cdb) {
    if (cdb[1] == 0x01) {
        if (std::memcmp(cdb + 4, FlashAccessCode, 4) != 0) {
            return Check(InvalidField);
        }
        return FromFlash(flash_.SetMode(cdb[2], &state_));
    }
    if (cdb[1] == 0x04) {
        return FromFlash(flash_.Checksum(static_cast<uint16_t>(cdb[2] << 8 | cdb[3])));
    }
    return Check(InvalidField);
}

ModelReply DriveModel::FlashBlocks(const uint8_t* cdb, Direction direction, const uint8_t* data,
                                   uint32_t length) {
    if (cdb[1] == 0x01) {
        const uint32_t address =
            static_cast<uint32_t>(cdb[3]) << 16 | static_cast<uint32_t>(cdb[4]) << 8 | cdb[5];
        ModelReply reply =
            FromFlash(flash_.Download(address, cdb[8], data, length, direction == Direction::Out));
        reply.transferred = reply.good ? length : 0;
        return reply;
    }
    if (cdb[1] == 0x04 || cdb[1] == 0x02) {
        const uint32_t mask = static_cast<uint32_t>(cdb[5]) << 24 |
                              static_cast<uint32_t>(cdb[6]) << 16 |
                              static_cast<uint32_t>(cdb[7]) << 8 | cdb[8];
        return FromFlash(flash_.Block(cdb[1], mask, &state_));
    }
    return Check(InvalidField);
}

} // namespace zalemu
