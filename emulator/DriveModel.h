// One emulated device as the tools see it over SCSI: the answers of a ZAL
// TK-4800J (INQUIRY, TEST UNIT READY, book-type command 0xC9, flash commands
// 0xCB/0xCC), of another vendor's optical drive, or of a hard disk. It knows
// nothing of time-outs, faults or front ends; the emulator wraps those around it.
#ifndef ZAL_EMULATOR_DRIVEMODEL_H
#define ZAL_EMULATOR_DRIVEMODEL_H

#include "CommandLog.h"
#include "DriveState.h"
#include "FlashSession.h"
#include "Scenario.h"

#include <cstdint>

namespace zalemu {

constexpr unsigned InquiryDataSize = 36;
constexpr unsigned SenseDataSize = 18;
constexpr unsigned BookTypeReplySize = 6;

struct ModelReply {
    bool good = true;
    SenseCode sense;           // for a check condition
    uint32_t transferred = 0;  // data bytes moved
    bool stateChanged = false; // the persistent state changed
};

// The 18 bytes of fixed-format sense data for a sense code.
void FixedSense(const SenseCode& sense, uint8_t data[SenseDataSize]);

class DriveModel {
public:
    explicit DriveModel(const DeviceConfig& config);

    // Carries out one command. `data` holds `length` bytes (the host's buffer);
    // data-in commands fill at most that many, and only when direction is In.
    ModelReply Execute(const uint8_t* cdb, size_t cdbLength, Direction direction, uint8_t* data,
                       uint32_t length, uint32_t nowMs);

    const DriveState& State() const { return state_; }
    // Replaces the persistent state; a disc that arrives becomes ready after the
    // device's load time.
    void SetState(const DriveState& state, uint32_t nowMs);

    // Standard INQUIRY data as the device reports it now.
    void InquiryData(uint8_t data[InquiryDataSize]) const;
    uint8_t DeviceType() const { return config_.kind == DeviceKind::Disk ? 0 : 5; }
    bool InFlashMode() const { return flash_.Active(); }

private:
    ModelReply Inquiry(const uint8_t* cdb, Direction direction, uint8_t* data, uint32_t length);
    ModelReply TestUnitReady(uint32_t nowMs);
    ModelReply BookType(const uint8_t* cdb, Direction direction, uint8_t* data, uint32_t length,
                        uint32_t nowMs);
    ModelReply FlashControl(const uint8_t* cdb);
    ModelReply FlashBlocks(const uint8_t* cdb, Direction direction, const uint8_t* data,
                           uint32_t length);
    bool DiscLoading(uint32_t nowMs);

    DeviceConfig config_;
    DriveState state_;
    bool loading_ = false; // a disc was inserted and is not ready yet
    uint32_t readyAtMs_ = 0;
    FlashSession flash_;
    size_t readsAnswered_ = 0; // 0xC9 reads so far, for the scenario's read replies
};

} // namespace zalemu

#endif
