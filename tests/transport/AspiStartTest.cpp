// Start-up and release on the Windows 9x path, with the drive emulator's
// wnaspi32.dll as the ASPI library: the status texts, the host adapter count and
// the binding for each state the library reports, and commands carried through it.
#include "EmulatorAccess.h"
#include "ExecRequest.h"
#include "RecordingHost.h"
#include "ScsiCommand.h"
#include "ScsiTransport.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class AspiStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearRecordedHost();
        emulator = EmulatorAccess::InAspiLibrary();
        ASSERT_TRUE(emulator.Valid()) << "the emulator's wnaspi32.dll was not loaded";
    }

    static int Inquiry(BYTE* data, DWORD timeoutMs = 5000) {
        const ScsiCommand command = DataInCommand(InquiryCommand(), data, 36, timeoutMs);
        return IssueCommand(&command);
    }

    EmulatorAccess emulator;
};

TEST_F(AspiStartTest, RunsOnWindows9x) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    EXPECT_EQ(1u, version.dwPlatformId);
}

TEST_F(AspiStartTest, StatusTextAndBindingFollowTheLibrarysState) {
    struct Case {
        const char* status;
        int result;
        const char* text;
    } cases[] = {
        {"ready", 1, "ASPI32 Ready"},
        {"initialising", 0, "ASPI32 Executing"},
        {"error", 0, "ASPI32 ERROR"},
    };
    HMODULE library = GetModuleHandleA("wnaspi32.dll");
    for (const Case& c : cases) {
        ClearRecordedHost();
        ASSERT_EQ("", emulator.Load(std::string("[emulator]\naspi-status = ") + c.status +
                                    "\nhost-adapters = 3\n[device 2:1]\n"));
        EXPECT_EQ(c.result, InitScsiTransport()) << c.status;
        EXPECT_EQ(std::vector<std::string>{c.text}, StatusTexts()) << c.status;
        EXPECT_EQ(3, HostAdapterCount) << "the low byte is kept in every state: " << c.status;
        // The entry points stay bound in all three states, and commands go through.
        EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, "SendASPI32Command")),
                  reinterpret_cast<void*>(SendASPI32Command));
        EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, "GetASPI32SupportInfo")),
                  reinterpret_cast<void*>(GetASPI32SupportInfo));
        SelectTarget(2, 1);
        BYTE data[36] = {};
        EXPECT_EQ(1, Inquiry(data)) << c.status;
        EXPECT_EQ("ZAL     TK-4800J        2.16", InquiryIdentity(data)) << c.status;
        ReleaseScsiTransport();
        EXPECT_EQ(nullptr, SendASPI32Command) << "released: nothing is bound any more";
    }
}

// The library stays loaded while a request is outstanding; once released with
// none, commands fail cleanly, sending nothing.
TEST_F(AspiStartTest, ReleaseKeepsTheLibraryForAnOutstandingRequestOnly) {
    ASSERT_EQ("", emulator.Load("[device 0:0]\nfault = @1 late 800\n"));
    ASSERT_EQ(1, InitScsiTransport());
    SelectTarget(0, 0);
    BYTE data[36] = {};
    EXPECT_EQ(0, Inquiry(data, 200)) << "ran out of time";
    ReleaseScsiTransport();
    EXPECT_NE(nullptr, SendASPI32Command) << "the library may still complete the request";
    EXPECT_EQ(1, AwaitLateCompletions(0, 0, Scaled(5000))) << "the late completion arrives";
    EXPECT_EQ(0, OutstandingRequestCount()) << "the late completion has arrived";
    EXPECT_EQ(1, Inquiry(data));
    ReleaseScsiTransport();
    EXPECT_EQ(nullptr, SendASPI32Command);
    emulator.ClearLog();
    EXPECT_EQ(0, Inquiry(data)) << "released";
    EXPECT_TRUE(emulator.Commands().empty());
}

TEST_F(AspiStartTest, SelectTargetKeepsTheLowBytes) {
    struct Case {
        int ha, target;
        BYTE expectedHa, expectedTarget;
    } cases[] = {{0, 0, 0, 0}, {10, 7, 10, 7}, {0x1FF, 0x102, 0xFF, 0x02}};
    for (const Case& c : cases) {
        SelectTarget(c.ha, c.target);
        EXPECT_EQ(c.expectedHa, CurrentHaId);
        EXPECT_EQ(c.expectedTarget, CurrentTargetId);
    }
}

} // namespace
