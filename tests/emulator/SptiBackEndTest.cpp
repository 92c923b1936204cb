// The emulated SPTI devices: which paths open, handles that are never reused,
// the byte layouts of the inquiry-data, capabilities and pass-through replies,
// malformed pass-through blocks and the scenario's device-control failures. (The
// transport's own tests run its SPTI simulator over these devices.)
#include "EmulatorTesting.h"
#include "SptiBackEnd.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

using namespace emutest;

namespace {

uint32_t Dword(const BYTE* at) {
    return static_cast<uint32_t>(at[0] | at[1] << 8 | at[2] << 16 | at[3] << 24);
}

// D:'s first two TEST UNIT READY carry the ASPI front end's timings, which the
// pass-through completes as ordinary commands.
const char* const Letters = "[device D:]\nfault = 00#1 early-status 60000\nfault = 00#2 caller\n"
                            "[device F:]\nkind = disk\nmax-transfer = 131072\n"
                            "alignment-mask = 3\n[device G:]\nopen = fail\n"
                            "[device H:]\ninquiry-data = fail\ncapabilities = fail\n"
                            "[device 0:0]\n";

TEST(SptiBackEndTest, OnlyTheScenariosLettersOpenAndHandlesAreNeverReused) {
    ASSERT_EQ("", Load(Letters));
    const std::pair<const char*, bool> cases[] = {
        {"\\\\.\\D:", true},    {"\\\\.\\d:", true},   {"\\\\.\\F:", true},
        {"\\\\.\\E:", false},   {"\\\\.\\G:", false},  {"D:", false},
        {"\\\\.\\D:\\", false}, {"\\\\.\\0:0", false}, {"C:\\file.txt", false}};
    for (const auto& [path, opens] : cases) {
        SetLastError(0);
        HANDLE handle = OpenDevice(path);
        EXPECT_EQ(opens, handle != INVALID_HANDLE_VALUE) << path;
        if (!opens) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << path;
        }
    }
    HANDLE first = OpenDevice("\\\\.\\D:");
    HANDLE second = OpenDevice("\\\\.\\D:");
    EXPECT_NE(first, second);
    EXPECT_TRUE(SptiCloseHandle(first));
    EXPECT_FALSE(SptiCloseHandle(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    BYTE reply[64];
    DWORD returned = 0;
    EXPECT_FALSE(SptiDeviceIoControl(first, ZAL_IOCTL_SCSI_GET_CAPABILITIES, NULL, 0, reply,
                                     sizeof reply, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(SptiDeviceIoControl(second, ZAL_IOCTL_SCSI_GET_CAPABILITIES, NULL, 0, reply,
                                    sizeof reply, &returned));
    HANDLE third = OpenDevice("\\\\.\\D:");
    EXPECT_NE(first, third) << "a closed handle's value is not given out again";
}

TEST(SptiBackEndTest, InquiryDataAndCapabilitiesHaveThePlatformLayout) {
    ASSERT_EQ("", Load(Letters));
    // path, device type, identification, maximum transfer, alignment mask
    const std::tuple<const char*, BYTE, const char*, uint32_t, uint32_t> cases[] = {
        {"\\\\.\\D:", 5, "ZAL     TK-4800J        2.16", 65536, 1},
        {"\\\\.\\F:", 0, "ACME    FIXED DISK 2000 3.10", 131072, 3}};
    for (const auto& [path, type, identification, maxTransfer, alignment] : cases) {
        HANDLE device = OpenDevice(path);
        BYTE reply[2048];
        std::memset(reply, 0xCC, sizeof reply);
        DWORD returned = 0;
        ASSERT_TRUE(SptiDeviceIoControl(device, ZAL_IOCTL_SCSI_GET_INQUIRY_DATA, NULL, 0, reply,
                                        sizeof reply, &returned));
        // SCSI_ADAPTER_BUS_INFO: NumberOfBuses, then BusData[0] at 4:
        // NumberOfLogicalUnits, InitiatorBusId, InquiryDataOffset (at 8).
        EXPECT_EQ(1, reply[0]) << path;
        EXPECT_EQ(1, reply[4]) << path;
        const uint32_t at = Dword(reply + 8);
        ASSERT_LT(at + 48u, sizeof reply);
        // SCSI_INQUIRY_DATA: PathId, TargetId, Lun, DeviceClaimed, InquiryDataLength (4),
        // NextInquiryDataOffset (8), InquiryData (12).
        EXPECT_EQ(36u, Dword(reply + at + 4)) << path;
        EXPECT_EQ(0u, Dword(reply + at + 8)) << path;
        EXPECT_EQ(type, reply[at + 12]) << path;
        EXPECT_EQ(identification, InquiryIdentity(reply + at + 12));
        EXPECT_EQ(at + 12 + 36, returned) << path;

        BYTE capabilities[24];
        ASSERT_TRUE(SptiDeviceIoControl(device, ZAL_IOCTL_SCSI_GET_CAPABILITIES, NULL, 0,
                                        capabilities, sizeof capabilities, &returned));
        EXPECT_EQ(24u, returned);
        EXPECT_EQ(24u, Dword(capabilities)) << "Length";
        EXPECT_EQ(maxTransfer, Dword(capabilities + 4)) << "MaximumTransferLength";
        EXPECT_EQ(alignment, Dword(capabilities + 16)) << "AlignmentMask";
        EXPECT_FALSE(SptiDeviceIoControl(device, ZAL_IOCTL_SCSI_GET_CAPABILITIES, NULL, 0,
                                         capabilities, 20, &returned));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        EXPECT_FALSE(SptiDeviceIoControl(device, ZAL_IOCTL_SCSI_GET_INQUIRY_DATA, NULL, 0, reply,
                                         at + 40, &returned));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    }
    HANDLE refusing = OpenDevice("\\\\.\\H:");
    BYTE reply[2048];
    DWORD returned = 0;
    const DWORD codes[] = {ZAL_IOCTL_SCSI_GET_INQUIRY_DATA, ZAL_IOCTL_SCSI_GET_CAPABILITIES,
                           0x2D1400};
    for (DWORD code : codes) {
        EXPECT_FALSE(SptiDeviceIoControl(refusing, code, NULL, 0, reply, sizeof reply, &returned))
            << std::hex << code;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError()) << std::hex << code;
    }
}

TEST(SptiBackEndTest, PassThroughReturnsStatusSenseAndDataInPlace) {
    ASSERT_EQ("", Load(Letters));
    HANDLE device = OpenDevice("\\\\.\\D:");
    BYTE data[96];
    std::memset(data, 0xEE, sizeof data);
    PassThroughBlock inquiry = Block(InquiryCommand(96), SCSI_IOCTL_DATA_IN, data, sizeof data);
    ASSERT_TRUE(Through(device, &inquiry));
    EXPECT_EQ(0, inquiry.ScsiStatus);
    EXPECT_EQ("ZAL     TK-4800J        2.16", InquiryIdentity(data));
    EXPECT_EQ(0xEE, data[56]) << "36 bytes of standard data and the emulator's 20, no more";

    const std::pair<UCHAR, size_t> cases[] = {
        {32, 18}, {16, 16}, {0, 0}}; // SenseInfoLength, written
    for (const auto& [senseLength, written] : cases) {
        PassThroughBlock tur = Block(TestUnitReadyCommand(), SCSI_IOCTL_DATA_OUT, NULL, 0);
        tur.SenseInfoLength = senseLength;
        const DWORD start = GetTickCount();
        ASSERT_TRUE(Through(device, &tur)) << "a check condition is still a completed call";
        EXPECT_LT(GetTickCount() - start, Scaled(5000)) << "no status lead on the pass-through";
        EXPECT_EQ(2, tur.ScsiStatus);
        for (size_t i = 0; i < sizeof tur.Sense; ++i) {
            const BYTE expected = i >= written ? 0xCC
                                  : i == 0     ? 0x70
                                  : i == 2     ? 0x02
                                  : i == 7     ? 10
                                  : i == 12    ? 0x3A
                                               : 0x00;
            EXPECT_EQ(expected, tur.Sense[i])
                << "sense byte " << i << " with SenseInfoLength " << int(senseLength);
        }
        EXPECT_EQ(108000u, tur.TimeOutValue) << "the rest of the block comes back as it went";
    }
    // D:'s early-status and caller timings complete through the pass-through as ordinary commands.
    const char* const records[] = {
        "1 D: cdb=12-00-00-00-60-00 dir=in len=96 outcome=good pt=0/1/0/32/1/108000",
        "2 D: cdb=00-00-00-00-00-00 dir=none len=0 outcome=check-2/3A/00 pt=0/1/0/32/0/108000",
        "3 D: cdb=00-00-00-00-00-00 dir=none len=0 outcome=check-2/3A/00 pt=0/1/0/16/0/108000"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(records[i], LoggedRecord(i));
    }
}

TEST(SptiBackEndTest, MalformedBlocksAreRefusedBeforeTheDevice) {
    ASSERT_EQ("", Load(Letters));
    HANDLE device = OpenDevice("\\\\.\\D:");
    BYTE data[4096];
    // what is wrong, how the block is spoilt, the size given
    const std::tuple<const char*, void (*)(PassThroughBlock*), DWORD> cases[] = {
        {"Length 40", [](PassThroughBlock* b) { b->Length = 40; }, 80},
        {"CdbLength 0", [](PassThroughBlock* b) { b->CdbLength = 0; }, 80},
        {"CdbLength 17", [](PassThroughBlock* b) { b->CdbLength = 17; }, 80},
        {"sense past the buffer", [](PassThroughBlock* b) { b->SenseInfoOffset = 60; }, 80},
        {"sense inside the header", [](PassThroughBlock* b) { b->SenseInfoOffset = 20; }, 80},
        {"no data buffer", [](PassThroughBlock* b) { b->DataBuffer = NULL; }, 80},
        {"more than the maximum transfer",
         [](PassThroughBlock* b) { b->DataTransferLength = 65537; }, 80},
        {"a block shorter than the header", [](PassThroughBlock*) {}, 40},
    };
    for (const auto& [why, spoil, size] : cases) {
        PassThroughBlock block = Block(InquiryCommand(), SCSI_IOCTL_DATA_IN, data, 36);
        spoil(&block);
        EXPECT_FALSE(Through(device, &block, size)) << why;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << why;
    }
    EXPECT_TRUE(Logged().empty()) << "none of them reached the drive";
}

} // namespace
