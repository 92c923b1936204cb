// The emulator's wnaspi32.dll as a Windows 9x program meets it: the scenario of
// ZALEMU_SCENARIO, request kinds and status values, execute requests completed
// later on one worker (status before signal) or at once on the caller's thread,
// aborts, hung, late and vanished requests, and unloading with a request pending.
#include "EmulatorTesting.h"

#include "EmulatorAccess.h"
#include "ExecRequest.h"

#include "AspiTypes.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace emutest;

namespace {

template <typename Proc> Proc Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class AspiFrontEndTest : public ::testing::Test {
protected:
    HMODULE library = NULL;
    EmulatorAccess emulator;
    GetASPI32SupportInfoProc supportInfo = nullptr;
    SendASPI32CommandProc send = nullptr;

    void Open() {
        library = LoadLibraryA("wnaspi32.dll");
        ASSERT_NE(static_cast<HMODULE>(NULL), library);
        emulator = EmulatorAccess::InLibrary(library);
        supportInfo = Resolve<GetASPI32SupportInfoProc>(library, "GetASPI32SupportInfo");
        send = Resolve<SendASPI32CommandProc>(library, "SendASPI32Command");
        ASSERT_TRUE(supportInfo != nullptr && send != nullptr);
    }
    // Opens the library and loads a scenario through its control function.
    void Scenario(const std::string& text) {
        if (library == NULL) {
            Open();
        }
        ASSERT_EQ("", emulator.Load(text));
    }
    std::string Log() { return emulator.LogText(); }
    // Sends a request, which is pending, and waits for its completion.
    void Complete(ExecRequest& request, DWORD ms = 5000) {
        ASSERT_EQ(static_cast<DWORD>(SS_PENDING), send(&request.srb));
        ASSERT_TRUE(request.Signalled(ms));
    }
};

// Writes a scenario file into `folder` and names it in ZALEMU_SCENARIO.
void EnvironmentScenario(const ScratchFolder& folder, const std::string& text) {
    WriteFile(folder.File("env.scn"), text);
    SetEnvironmentVariableA("ZALEMU_SCENARIO", folder.File("env.scn").c_str());
}

const BYTE In = SRB_DIR_IN | SRB_EVENT_NOTIFY;

TEST_F(AspiFrontEndTest, RunsInWindows9xModeWithTheScenarioOfTheEnvironment) {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId);

    ScratchFolder folder;
    EnvironmentScenario(folder, "[emulator]\nlog = env.log\n[device 0:0]\n[device 1:2]\n");
    Open();
    char path[MAX_PATH];
    GetModuleFileNameA(library, path, sizeof path);
    EXPECT_EQ(ProgramFolder() + "\\wnaspi32.dll", std::string(path))
        << "the emulator's, not Wine's";
    EXPECT_EQ(0x0102u, supportInfo()) << "ready, host adapters 0 and 1";
    ExecRequest inquiry(1, 2, In, InquiryCommand(), 36);
    Complete(inquiry);
    EXPECT_EQ(SS_COMP, inquiry.srb.SRB_Status);
    EXPECT_EQ("1 1:2 cdb=12-00-00-00-24-00 dir=in len=36 outcome=good\r\n",
              WithoutTimes(ReadFile(folder.File("env.log"))));
}

TEST_F(AspiFrontEndTest, ABadScenarioFileFailsTheStartVisibly) {
    ScratchFolder folder;
    EnvironmentScenario(folder, "[emulator]\nlog = bad.log\n[device 0:0]\ndisc = perhaps\n");
    Open();
    EXPECT_EQ(0xE400u, supportInfo());
    const std::string log = ReadFile(folder.File("bad.log"));
    EXPECT_EQ(0u, log.find("# drive emulator: scenario ")) << log;
    EXPECT_TRUE(Holds(log, "line 4: disc: expected no or yes"));
    ExecRequest inquiry(0, 0, In, InquiryCommand(), 36);
    EXPECT_EQ(static_cast<DWORD>(SS_INVALID_HA), send(&inquiry.srb));
}

TEST_F(AspiFrontEndTest, SupportInfoReportsStatusAndAdapterCount) {
    const struct {
        const char* scenario;
        DWORD info;
    } cases[] = {{"[device 0:0]\n", 0x0101},
                 {"[device 3:1]\n[device 0:4]\n", 0x0104},
                 {"[device D:]\n", 0x0100},
                 {"[emulator]\nhost-adapters = 6\n[device 0:0]\n", 0x0106},
                 {"[emulator]\naspi-status = initialising\n[device 0:0]\n", 0x0001},
                 {"[emulator]\naspi-status = error\n", 0xE800}};
    for (const auto& c : cases) {
        Scenario(c.scenario);
        EXPECT_EQ(c.info, supportInfo()) << c.scenario;
    }
}

TEST_F(AspiFrontEndTest, AdapterAndDeviceTypeInquiries) {
    Scenario("[device 0:0]\nmax-transfer = 131072\nalignment-mask = 3\n"
             "[device 1:4]\nkind = disk\n");
    SRB_HAInquiry ha = BlankRequest<SRB_HAInquiry>(SC_HA_INQUIRY);
    ASSERT_EQ(static_cast<DWORD>(SS_COMP), send(&ha));
    EXPECT_EQ(SS_COMP, ha.SRB_Status);
    EXPECT_EQ(2, ha.HA_Count);
    EXPECT_EQ(7, ha.HA_SCSI_ID);
    EXPECT_EQ("ZAL emulator    ", std::string(reinterpret_cast<char*>(ha.HA_ManagerId), 16));
    EXPECT_STREQ("Emulated HA #0", reinterpret_cast<char*>(ha.HA_Identifier));
    const BYTE unique[8] = {3, 0, 0, 8, 0x00, 0x00, 0x02, 0x00};
    EXPECT_EQ(0, std::memcmp(unique, ha.HA_Unique, 8))
        << "alignment mask, 8 targets, maximum transfer 131072";

    const struct {
        BYTE cmd;
        BYTE ha;
        BYTE target;
        BYTE lun;
        DWORD status;
        BYTE type;
    } cases[] = {{SC_GET_DEV_TYPE, 0, 0, 0, SS_COMP, 5},
                 {SC_GET_DEV_TYPE, 1, 4, 0, SS_COMP, 0},
                 {SC_GET_DEV_TYPE, 0, 1, 0, SS_NO_DEVICE, 0},
                 {SC_GET_DEV_TYPE, 0, 0, 1, SS_NO_DEVICE, 0},
                 {SC_GET_DEV_TYPE, 2, 0, 0, SS_INVALID_HA, 0},
                 {SC_HA_INQUIRY, 2, 0, 0, SS_INVALID_HA, 0},
                 {SC_GET_DISK_INFO, 0, 0, 0, SS_INVALID_SRB, 0},
                 {9, 0, 0, 0, SS_INVALID_SRB, 0},
                 {SC_RESET_DEV, 0, 0, 0, SS_COMP, 0}};
    for (const auto& c : cases) {
        SRB_GDEVBlock block = BlankRequest<SRB_GDEVBlock>(c.cmd);
        block.SRB_HaId = c.ha;
        block.SRB_Target = c.target;
        block.SRB_Lun = c.lun;
        EXPECT_EQ(c.status, send(&block)) << "kind " << int(c.cmd) << " at " << int(c.ha) << ":"
                                          << int(c.target) << " lun " << int(c.lun);
        EXPECT_EQ(c.status, block.SRB_Status);
        if (c.cmd == SC_GET_DEV_TYPE && c.status == SS_COMP) {
            EXPECT_EQ(c.type, block.SRB_DeviceType);
        }
    }
}

// An execute request is pending at once and completes later through its event,
// which a case waits for. With a status lead the final status is in the block
// before the signal, and nothing announces it: the case watches the block until
// the status changes, finds the event not signalled yet, then waits for the
// signal. A request to an absent target can complete so too.
TEST_F(AspiFrontEndTest, ExecuteIsPendingAtOnceAndCompletesLaterThroughTheEvent) {
    const struct {
        const char* scenario;
        BYTE target;
        DWORD delayMs; // before the status
        DWORD leadMs;  // from the status to the signal
        BYTE status;
        const char* logged; // the log's outcome; null: nothing reaches a drive
    } cases[] = {
        {"[device 0:0]\ndelay = 300\n", 0, 300, 0, SS_COMP, "outcome=good"},
        {"[emulator]\nearly-status = 1500\n[device 0:0]\ndelay = 300\n", 0, 300, 1500, SS_COMP,
         "outcome=good"},
        {"[device 0:0]\ndelay = 300\nfault = 12 early-status 1500\n", 0, 300, 1500, SS_COMP,
         "outcome=early-1500-good"},
        {"[emulator]\nno-device = later\nearly-status = 1500\n[device 0:0]\n", 1, 0, 1500,
         SS_NO_DEVICE, nullptr},
        {"[emulator]\nno-device = later\n[device 0:0]\n", 3, 0, 0, SS_NO_DEVICE, nullptr},
    };
    for (const auto& c : cases) {
        Scenario(c.scenario);
        ExecRequest inquiry(0, c.target, In | SRB_ENABLE_RESIDUAL_COUNT, InquiryCommand(), 64);
        const DWORD start = GetTickCount();
        ASSERT_EQ(static_cast<DWORD>(SS_PENDING), send(&inquiry.srb)) << c.scenario;
        EXPECT_LT(GetTickCount() - start, 150u) << "the call does not wait for the drive";
        if (c.status == SS_NO_DEVICE) {
            EXPECT_EQ(SS_NO_DEVICE, inquiry.srb.SRB_Status) << "the worker ran ahead of the call";
        }
        const DWORD limit = Scaled(5000) + c.delayMs;
        const bool signalled = c.leadMs == 0 && inquiry.Signalled(limit);
        volatile BYTE* status = &inquiry.srb.SRB_Status;
        while (c.leadMs != 0 && *status == SS_PENDING && GetTickCount() - start < limit) {
            Sleep(1);
        }
        const DWORD statusSeen = GetTickCount();
        ASSERT_EQ(c.status, inquiry.srb.SRB_Status) << c.scenario;
        EXPECT_GE(statusSeen - start + 20, c.delayMs) << "the status came before the delay ran\n"
                                                      << c.scenario;
        if (c.leadMs != 0) {
            EXPECT_FALSE(inquiry.Signalled(0)) << "signalled with its status\n" << c.scenario;
        }
        ASSERT_TRUE(signalled || inquiry.Signalled(Scaled(5000) + c.leadMs)) << c.scenario;
        EXPECT_GE(GetTickCount() - statusSeen + 20, c.leadMs) << "signalled early\n" << c.scenario;
        if (c.status == SS_COMP) {
            EXPECT_EQ(0, inquiry.srb.SRB_TargStat);
            EXPECT_EQ("ZAL     TK-4800J        2.16", InquiryIdentity(inquiry.data));
            EXPECT_EQ(0xEE, inquiry.data[36]);
            EXPECT_EQ(28u, inquiry.srb.SRB_BufLen) << "the residual count: 64 offered, 36 moved";
        }
        if (c.logged != nullptr) {
            EXPECT_TRUE(Holds(Log(), c.logged));
        } else {
            EXPECT_EQ("", Log()) << c.scenario;
        }
    }
}

TEST_F(AspiFrontEndTest, PostingCallsTheRoutineOnTheLibrarysThread) {
    Scenario("[device 0:0]\n");
    ExecRequest tur(0, 0, SRB_POSTING, TestUnitReadyCommand(), 0);
    tur.srb.SRB_SenseLen = 14;
    std::memset(tur.srb.SenseArea, 0xCC, sizeof tur.srb.SenseArea);
    ClearPostedCalls();
    ASSERT_EQ(static_cast<DWORD>(SS_PENDING), send(&tur.srb));
    ASSERT_TRUE(AwaitPostedCalls(1, Scaled(5000)));
    const std::vector<PostedCall> posted = PostedCalls();
    ASSERT_EQ(1u, posted.size());
    EXPECT_EQ(&tur.srb, posted[0].block);
    EXPECT_EQ(SS_ERR, posted[0].status) << "status is set before the routine runs";
    EXPECT_NE(GetCurrentThreadId(), posted[0].thread);
    EXPECT_EQ(STATUS_CHKCOND, tur.srb.SRB_TargStat);
    EXPECT_EQ(0x70, tur.srb.SenseArea[0]);
    EXPECT_EQ(0x02, tur.srb.SenseArea[2]);
    EXPECT_EQ(0x3A, tur.srb.SenseArea[12]);
    EXPECT_EQ(0xCC, tur.srb.SenseArea[14]) << "only SRB_SenseLen bytes of sense";
}

TEST_F(AspiFrontEndTest, AnInstantDriveCompletesOnTheCallersThreadBeforeTheCallReturns) {
    // The first rows on an instant drive; the last two on a drive that completes
    // on the worker, each under a fault that completes it on the caller's thread.
    const struct {
        const char* scenario; // loaded before the row; null: the row before's
        Bytes cdb;
        BYTE flags;
        DWORD status; // returned, and in the block
        const char* logged;
    } cases[] = {
        {"[emulator]\ncompletion = caller\n"
         "[device 0:0]\nfault = 12#2 check 5/24/00\nfault = 00#2 hang\n",
         InquiryCommand(), In, SS_COMP, "1 0:0 cdb=12-00-00-00-24-00 dir=in len=36 outcome=good"},
        {nullptr, InquiryCommand(), SRB_DIR_IN | SRB_POSTING, SS_ERR,
         "2 0:0 cdb=12-00-00-00-24-00 dir=in len=36 outcome=check-5/24/00"},
        {nullptr, TestUnitReadyCommand(), SRB_EVENT_NOTIFY, SS_ERR,
         "3 0:0 cdb=00-00-00-00-00-00 dir=none len=0 outcome=check-2/3A/00"},
        {nullptr, TestUnitReadyCommand(), SRB_EVENT_NOTIFY, SS_PENDING,
         "4 0:0 cdb=00-00-00-00-00-00 dir=none len=0 outcome=hang"},
        {"[device 0:0]\ndelay = 200\nfault = 12 caller\nfault = 00 caller\n", InquiryCommand(), In,
         SS_COMP, "1 0:0 cdb=12-00-00-00-24-00 dir=in len=36 outcome=caller-good"},
        {nullptr, TestUnitReadyCommand(), SRB_POSTING, SS_ERR,
         "2 0:0 cdb=00-00-00-00-00-00 dir=none len=0 outcome=caller-check-2/3A/00"}};
    for (const auto& c : cases) {
        if (c.scenario != nullptr) {
            Scenario(c.scenario);
        }
        const bool inquiry = c.cdb[0] == 0x12;
        ExecRequest request(0, 0, c.flags, c.cdb, inquiry ? 36 : 0);
        ClearPostedCalls();
        EXPECT_EQ(c.status, send(&request.srb)) << c.logged;
        EXPECT_EQ(c.status, request.srb.SRB_Status) << c.logged;
        EXPECT_TRUE(Holds(Log(), c.logged));
        if ((c.flags & SRB_POSTING) != 0) {
            const std::vector<PostedCall> posted = PostedCalls();
            ASSERT_EQ(1u, posted.size()) << "posted before the call returned";
            EXPECT_EQ(GetCurrentThreadId(), posted[0].thread);
            EXPECT_EQ(0x70, request.srb.SenseArea[0]);
        } else {
            EXPECT_EQ(c.status != SS_PENDING, request.Signalled(0)) << c.logged;
        }
        if (c.status == SS_COMP) {
            EXPECT_EQ("ZAL     TK-4800J        2.16", InquiryIdentity(request.data));
        }
        if (c.status == SS_PENDING) {
            SRB_Abort abort = AbortRequest(0, &request.srb);
            EXPECT_EQ(static_cast<DWORD>(SS_COMP), send(&abort)) << "a hung request is pending";
        }
    }
}

TEST_F(AspiFrontEndTest, OneWorkerCarriesRequestsOutAtOnceAndCompletesEachDevicesInOrder) {
    ScratchFolder folder;
    Scenario("[emulator]\nlog = " + folder.File("order.log") +
             "\n[device 0:0]\nfault = 12#1 late 1000\n[device 0:1]\n");
    // In the order sent: a late INQUIRY, an instant one behind it on the same
    // device, one to another device and, once three are done, one more.
    const BYTE Posted = SRB_POSTING | SRB_DIR_IN;
    ExecRequest sent[] = {{0, 0, Posted, InquiryCommand(), 36},
                          {0, 0, Posted, InquiryCommand(), 36},
                          {0, 1, SRB_POSTING, TestUnitReadyCommand(), 0},
                          {0, 0, SRB_POSTING, TestUnitReadyCommand(), 0}};
    const struct {
        BYTE status;
        size_t completed; // its place among the completions
    } expected[] = {{SS_COMP, 2}, {SS_COMP, 3}, {SS_ERR, 1}, {SS_ERR, 4}};
    ClearPostedCalls();
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(i < 3 || AwaitPostedCalls(3, 5000));
        ASSERT_EQ(static_cast<DWORD>(SS_PENDING), send(&sent[i].srb));
    }
    ASSERT_TRUE(AwaitPostedCalls(4, 5000));
    const std::vector<PostedCall> completions = PostedCalls();
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(&sent[i].srb, completions[expected[i].completed - 1].block)
            << "request " << i + 1 << " is not completion " << expected[i].completed;
        EXPECT_EQ(expected[i].status, sent[i].srb.SRB_Status) << "request " << i + 1;
        EXPECT_EQ(completions[0].thread, completions[i].thread)
            << "completion " << i + 1 << " came from another thread";
    }
    EXPECT_NE(GetCurrentThreadId(), completions[0].thread);
    EXPECT_TRUE(Holds(ReadFile(folder.File("order.log")),
                      "# overlap: command 2 began while command 1 was in flight\r\n2 0:0 "))
        << "the second request is carried out while the first is late";
}

TEST_F(AspiFrontEndTest, BadExecuteRequestsAreRefusedAtOnce) {
    Scenario("[device 0:0]\n");
    const struct {
        BYTE ha;
        BYTE target;
        BYTE flags;
        BYTE cdbLength;
        DWORD status;
        const char* why;
    } cases[] = {{0, 1, In, 6, SS_NO_DEVICE, "no device at 0:1"},
                 {1, 0, In, 6, SS_INVALID_HA, "no host adapter 1"},
                 {0, 0, In | SRB_POSTING, 6, SS_INVALID_SRB, "posting and event together"},
                 {0, 0, In, 0, SS_INVALID_SRB, "no CDB"},
                 {0, 0, In, 17, SS_INVALID_SRB, "CDB longer than 16"}};
    for (const auto& c : cases) {
        ExecRequest request(c.ha, c.target, c.flags, InquiryCommand(), 36);
        request.srb.SRB_CDBLen = c.cdbLength;
        EXPECT_EQ(c.status, send(&request.srb)) << c.why;
        EXPECT_EQ(c.status, request.srb.SRB_Status) << c.why;
    }
    EXPECT_EQ("", Log()) << "nothing reached the drive";
}

// A hung request never completes by itself and holds up no other; it ends
// aborted, and signalled, when it is aborted or when a new scenario resets the
// drives (before the load returns), and its block is the caller's again.
TEST_F(AspiFrontEndTest, AHungRequestNeverCompletesUntilAbortedOrTheDrivesAreReset) {
    const struct {
        bool byAbort;
        const char* how;
    } endings[] = {{true, "ended by an abort"}, {false, "ended by a new scenario"}};
    for (const auto& e : endings) {
        Scenario("[device 0:0]\nfault = 00 hang\n");
        ExecRequest tur(0, 0, SRB_EVENT_NOTIFY, TestUnitReadyCommand(), 0);
        ASSERT_EQ(static_cast<DWORD>(SS_PENDING), send(&tur.srb)) << e.how;
        ExecRequest inquiry(0, 0, In, InquiryCommand(), 36);
        Complete(inquiry); // the hung request holds up no other
        EXPECT_EQ(SS_COMP, inquiry.srb.SRB_Status);
        EXPECT_FALSE(tur.Signalled(800)) << e.how;
        EXPECT_EQ(SS_PENDING, tur.srb.SRB_Status) << e.how;
        EXPECT_TRUE(Holds(Log(), "outcome=hang"));
        SRB_Abort abort = AbortRequest(0, &tur.srb);
        if (e.byAbort) {
            EXPECT_EQ(static_cast<DWORD>(SS_COMP), send(&abort));
        } else {
            Scenario("[device 0:0]\n");
        }
        EXPECT_TRUE(tur.Signalled(0)) << "signalled as it ends, " << e.how;
        EXPECT_EQ(SS_ABORTED, tur.srb.SRB_Status) << e.how;
        EXPECT_EQ(static_cast<DWORD>(SS_INVALID_SRB), send(&abort))
            << "nothing pending any more, " << e.how;
        if (!e.byAbort) {
            EXPECT_EQ("", Log()) << "the aborted request is not carried out by the new drive";
            Complete(tur); // the block sent again
            EXPECT_EQ(SS_ERR, tur.srb.SRB_Status) << "no disc";
        }
    }
}

TEST_F(AspiFrontEndTest, ALateRequestCompletesAfterTheCallersTimeOut) {
    Scenario("[device 0:0]\nfault = 12 late 700\n");
    ExecRequest inquiry(0, 0, In, InquiryCommand(), 36);
    ASSERT_EQ(static_cast<DWORD>(SS_PENDING), send(&inquiry.srb));
    EXPECT_FALSE(inquiry.Signalled(400)) << "a caller waiting 400 ms gives up";
    ASSERT_TRUE(inquiry.Signalled(3000));
    EXPECT_EQ(SS_COMP, inquiry.srb.SRB_Status);
    EXPECT_EQ('Z', inquiry.data[8]);
}

TEST_F(AspiFrontEndTest, AVanishedDeviceTimesOutAtSelection) {
    Scenario("[device 0:0]\nvanish-after = 1\n");
    for (BYTE expected : {SS_COMP, SS_ERR}) {
        ExecRequest inquiry(0, 0, In, InquiryCommand(), 36);
        Complete(inquiry);
        EXPECT_EQ(expected, inquiry.srb.SRB_Status);
        EXPECT_EQ(expected == SS_ERR ? 0x11 : 0, inquiry.srb.SRB_HaStat);
    }
    SRB_GDEVBlock type = BlankRequest<SRB_GDEVBlock>(SC_GET_DEV_TYPE);
    EXPECT_EQ(static_cast<DWORD>(SS_NO_DEVICE), send(&type));
    EXPECT_TRUE(Holds(Log(), "outcome=gone"));
}

TEST_F(AspiFrontEndTest, FreeingTheLibraryWhileARequestIsPendingIsSafe) {
    Scenario("[device 0:0]\ndelay = 400\n");
    ExecRequest inquiry(0, 0, In, InquiryCommand(), 36);
    ASSERT_EQ(static_cast<DWORD>(SS_PENDING), send(&inquiry.srb));
    FreeLibrary(library);
    library = NULL;
    EXPECT_NE(static_cast<HMODULE>(NULL), GetModuleHandleA("wnaspi32.dll"))
        << "the library's worker keeps it loaded";
    ASSERT_TRUE(inquiry.Signalled(5000));
    EXPECT_EQ(SS_COMP, inquiry.srb.SRB_Status);
    EXPECT_EQ('Z', inquiry.data[8]);
    HMODULE still = NULL;
    for (int wait = 0; (still = GetModuleHandleA("wnaspi32.dll")) != NULL && wait < 500; ++wait) {
        Sleep(10);
    }
    EXPECT_EQ(static_cast<HMODULE>(NULL), still) << "unloaded once the worker has ended";
}

TEST(AspiProbeTest, ListsTheAdaptersAndDrivesOfTheScenario) {
    ScratchFolder folder;
    EnvironmentScenario(folder, "[device 0:0]\n[device 0:3]\nkind = optical\n[device 1:1]\n"
                                "kind = disk\n[device 1:2]\nfault = 12 check 4/44/00\n");
    std::string output;
    ASSERT_EQ(0, RunProgram("\"" + ProgramFolder() + "\\aspiprobe.exe\"", &output)) << output;
    const char* const lines[] = {
        "platform 1",
        "support 0x0102 status 0x01 adapters 2",
        "adapter 0 manager 'ZAL emulator    ' identifier 'Emulated HA #0'",
        "device 0:0 type 5 vendor 'ZAL     ' product 'TK-4800J        ' revision '2.16'",
        "device 0:3 type 5 vendor 'OTHERCO ' product 'DVD-RW 9000     ' revision '1.00'",
        "adapter 1 manager 'ZAL emulator    ' identifier 'Emulated HA #1'",
        "device 1:1 type 0 vendor 'ACME    ' product 'FIXED DISK 2000 ' revision '3.10'",
        "device 1:2 status 0x04"};
    std::string expected;
    for (const char* line : lines) {
        expected += std::string(line) + "\r\n";
    }
    EXPECT_EQ(expected, output);
}

} // namespace
