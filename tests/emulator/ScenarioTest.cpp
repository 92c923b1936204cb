// The scenario file: every key read into the devices, the defaults of each kind,
// the host adapter count, and bad scenarios refused with the line and the reason.
#include "Scenario.h"

#include <gtest/gtest.h>

using namespace zalemu;

namespace {

TEST(ScenarioTest, ReadsEveryKey) {
    const char* text = "# a demo\n"
                       "[emulator]\n"
                       "aspi-status = initialising   # comment after a value\n"
                       "host-adapters = 4\n"
                       "state = demo.state\n"
                       "log = C:\\logs\\demo.log\n"
                       "[device 1:3]\n"
                       "kind = tk4800j\n"
                       "vendor = ZAL\n"
                       "product = TK-4800J\n"
                       "revision = 2.1\n"
                       "disc = yes\n"
                       "load-time = 1500\n"
                       "command-version = 2\n"
                       "changes-left = 32767\n"
                       "dl-default = 01\n"
                       "dl-temporary = e0\n"
                       "dl-applies = temporary\n"
                       "r-default = 00\n"
                       "r-temporary = A1\n"
                       "r-applies = default\n"
                       "firmware = incomplete\n"
                       "delay = 20\n"
                       "block-delay = 0x100\n"
                       "max-transfer = 131072\n"
                       "alignment-mask = 3\n"
                       "open = fail\n"
                       "inquiry-data = fail\n"
                       "capabilities = fail\n"
                       "pass-through-failures = 2\n"
                       "vanish-after = 9\n"
                       "fault = C9/02#2 check 5/24/00\n"
                       "fault = @7 hang\n"
                       "fault = CB late 6000\n";
    ScenarioConfig scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, "C:\\base", &scenario, &error)) << error;
    EXPECT_EQ(AspiStatus::Initialising, scenario.aspiStatus);
    EXPECT_EQ(4, HostAdapterCount(scenario));
    EXPECT_EQ("C:\\base\\demo.state", scenario.statePath);
    EXPECT_EQ("C:\\logs\\demo.log", scenario.logPath);
    ASSERT_EQ(1u, scenario.devices.size());
    const DeviceConfig& d = scenario.devices[0];
    EXPECT_EQ("1:3", d.address);
    EXPECT_EQ("ZAL     ", d.vendor);
    EXPECT_EQ("TK-4800J        ", d.product);
    EXPECT_EQ("2.1 ", d.initial.revision);
    EXPECT_TRUE(d.initial.disc);
    EXPECT_EQ(1500u, d.loadTimeMs);
    EXPECT_EQ(2u, d.commandVersion);
    EXPECT_EQ(32767u, d.initial.changesLeft);
    EXPECT_EQ(0x01, d.initial.dl.defaultValue);
    EXPECT_EQ(0xE0, d.initial.dl.temporaryValue);
    EXPECT_TRUE(d.initial.dl.temporaryApplies);
    EXPECT_EQ(0x00, d.initial.r.defaultValue);
    EXPECT_EQ(0xA1, d.initial.r.temporaryValue);
    EXPECT_FALSE(d.initial.r.temporaryApplies);
    EXPECT_TRUE(d.initial.firmwareIncomplete);
    EXPECT_EQ(20u, d.delayMs);
    EXPECT_EQ(256u, d.blockDelayMs);
    EXPECT_EQ(131072u, d.maxTransfer);
    EXPECT_EQ(3u, d.alignmentMask);
    EXPECT_TRUE(d.openFails && d.inquiryDataFails && d.capabilitiesFails);
    EXPECT_EQ(2u, d.passThroughFailures);
    EXPECT_EQ(9u, d.vanishAfter);
    ASSERT_EQ(3u, d.faults.size());
    const FaultRule& check = d.faults[0];
    EXPECT_TRUE(!check.byIndex && check.opcode == 0xC9 && check.hasSub && check.sub == 2 &&
                check.occurrence == 2 && check.action == FaultAction::Check &&
                check.sense.key == 5 && check.sense.asc == 0x24 && check.sense.ascq == 0);
    EXPECT_TRUE(d.faults[1].byIndex && d.faults[1].index == 7 &&
                d.faults[1].action == FaultAction::Hang);
    EXPECT_TRUE(d.faults[2].opcode == 0xCB && !d.faults[2].hasSub && d.faults[2].occurrence == 0 &&
                d.faults[2].action == FaultAction::Late && d.faults[2].lateMs == 6000);
}

TEST(ScenarioTest, EachKindHasItsOwnIdentityAndTheAdapterCountFollowsTheDevices) {
    const char* text = "[device 0:0]\n"
                       "[device 2:1]\nkind = optical\n"
                       "[device d:]\nkind = disk\nvendor = MINE\n";
    ScenarioConfig scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, "", &scenario, &error)) << error;
    ASSERT_EQ(3u, scenario.devices.size());
    const struct {
        const char* address;
        DeviceKind kind;
        const char* vendor;
        const char* product;
        const char* revision;
    } expected[] = {{"0:0", DeviceKind::Tk4800j, "ZAL     ", "TK-4800J        ", "2.16"},
                    {"2:1", DeviceKind::Optical, "OTHERCO ", "DVD-RW 9000     ", "1.00"},
                    {"D:", DeviceKind::Disk, "MINE    ", "FIXED DISK 2000 ", "3.10"}};
    for (size_t i = 0; i < 3; ++i) {
        const DeviceConfig& d = scenario.devices[i];
        EXPECT_EQ(expected[i].address, d.address);
        EXPECT_EQ(expected[i].kind, d.kind) << d.address;
        EXPECT_EQ(expected[i].vendor, d.vendor) << d.address;
        EXPECT_EQ(expected[i].product, d.product) << d.address;
        EXPECT_EQ(expected[i].revision, d.initial.revision) << d.address;
        EXPECT_EQ(3u, d.commandVersion);
        EXPECT_EQ(50u, d.initial.changesLeft);
        EXPECT_FALSE(d.initial.disc);
    }
    EXPECT_EQ(3, HostAdapterCount(scenario)) << "1 + the highest host adapter (2)";
    EXPECT_EQ("", scenario.statePath);

    ASSERT_TRUE(ParseScenario("[device E:]\n", "", &scenario, &error)) << error;
    EXPECT_EQ(0, HostAdapterCount(scenario)) << "drive letters take no host adapter";
}

TEST(ScenarioTest, BadLinesAreRefusedWithLineAndReason) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[emulator]\naspi-status = maybe\n", "line 2: aspi-status: expected ready"},
        {"kind = disk\n", "line 1: kind: comes before any"},
        {"[device 0:0]\n\nkind = floppy\n", "line 3: kind: expected tk4800j, optical or disk"},
        {"[device 0:0]\nvendor = TOOLONGVENDOR\n", "line 2: vendor: at most 8 characters"},
        {"[device 0:0]\nproduct = 12345678901234567\n", "line 2: product: at most 16"},
        {"[device 0:0]\nrevision = 2.160\n", "line 2: revision: a revision is at most 4"},
        {"[device 0:0]\nchanges-left = 32768\n", "line 2: changes-left: expected a count"},
        {"[device 0:0]\ncommand-version = 65536\n", "line 2: command-version: expected a number"},
        {"[device 0:0]\ndl-default = 1G\n", "line 2: dl-default: expected a book-type byte"},
        {"[device 0:0]\nr-applies = sometimes\n", "line 2: r-applies: expected default or temp"},
        {"[device 0:0]\ndisc = maybe\n", "line 2: disc: expected no or yes"},
        {"[device 0:0]\nopen = later\n", "line 2: open: expected ok or fail"},
        {"[device 0:0]\ncolour = red\n", "line 2: colour: unknown key 'colour'"},
        {"[emulator]\nspeed = 2\n", "line 2: speed: unknown key 'speed' in [emulator]"},
        {"[device 0:0]\nfault = C9/02 explode\n", "line 2: fault: expected the action"},
        {"[device 0:0]\nfault = C9#0 hang\n", "line 2: fault: #N needs an occurrence from 1"},
        {"[device 0:0]\nfault = @0 hang\n", "line 2: fault: @N needs a command number"},
        {"[device 0:0]\nfault = XY hang\n", "line 2: fault: expected OP[/SUB][#N]"},
        {"[device 0:0]\nfault = C9/ZZ hang\n", "line 2: fault: the sub-command after '/'"},
        {"[device 0:0]\nfault = 00 check 5/24\n", "line 2: fault: check needs a sense"},
        {"[device 0:0]\nfault = 00 late soon\n", "line 2: fault: late needs milliseconds"},
        {"[device 0:0]\nfault = 00 hang now\n", "line 2: fault: hang takes nothing"},
        {"[device 0:0]\n[device 0:0]\n", "line 2: device 0:0 is defined twice (first on line 1)"},
        {"[device 256:0]\n", "line 1: unknown section [device 256:0]"},
        {"[emulator\n", "line 1: a section line must end with ']'"},
        {"[emulator]\njust words\n", "line 2: expected 'key = value'"},
        {"[emulator]\nhost-adapters = 300\n", "line 2: host-adapters: expected a count 0..255"},
    };
    for (const auto& c : cases) {
        ScenarioConfig scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(c.text, "", &scenario, &error)) << c.text;
        EXPECT_EQ(0u, error.find(c.error))
            << "scenario:\n"
            << c.text << "expected: " << c.error << "\nsaw:      " << error;
    }
}

TEST(ScenarioTest, ALogNamedBeforeTheBadLineIsKeptForTheReport) {
    ScenarioConfig scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario("[emulator]\nlog = run.log\n[device 0:0]\nkind = x\n", "C:\\t",
                               &scenario, &error));
    EXPECT_EQ("C:\\t\\run.log", scenario.logPath);
}

} // namespace
