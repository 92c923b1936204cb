// The scenario file: file names, faults and padded values read into the devices,
// and bad scenarios refused with the line and the reason. (The other keys are
// seen at work in the tests of the commands, faults and front ends.)
#include "Scenario.h"

#include <gtest/gtest.h>

#include <utility>

using namespace zalemu;

namespace {

TEST(ScenarioTest, ReadsFilesFaultsAndPaddedValues) {
    const char* text = "# a demo\n"
                       "[emulator]\n"
                       "aspi-status = initialising   # comment after a value\n"
                       "completion = caller\n"
                       "early-status = 0x1E\n"
                       "no-device = later\n"
                       "host-adapters = 4\n"
                       "state = demo.state\n"
                       "log = C:\\logs\\demo.log\n"
                       "[device 1:3]\n"
                       "revision = 2.1\n"
                       "dl-temporary = e0\n"
                       "firmware = incomplete\n"
                       "block-delay = 0x100\n"
                       "fault = C9/02#2 check 5/24/00\n"
                       "fault = @7 hang\n"
                       "fault = CB late 6000\n"
                       "fault = 00#3 early-status 40\n"
                       "fault = 12 caller\n";
    ScenarioConfig scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, "C:\\base", &scenario, &error)) << error;
    EXPECT_EQ(AspiStatus::Initialising, scenario.aspiStatus);
    EXPECT_EQ(Completion::Caller, scenario.completion);
    EXPECT_EQ(30u, scenario.earlyStatusMs);
    EXPECT_EQ(NoDeviceAnswer::Later, scenario.noDevice);
    EXPECT_EQ(4, HostAdapterCount(scenario));
    EXPECT_EQ("C:\\base\\demo.state", scenario.statePath) << "relative to the base folder";
    EXPECT_EQ("C:\\logs\\demo.log", scenario.logPath) << "absolute stays";
    ASSERT_EQ(1u, scenario.devices.size());
    const DeviceConfig& d = scenario.devices[0];
    EXPECT_EQ("2.1 ", d.initial.revision);
    EXPECT_EQ(0xE0, d.initial.dl.temporaryValue);
    EXPECT_TRUE(d.initial.firmwareIncomplete);
    EXPECT_EQ(256u, d.blockDelayMs);
    ASSERT_EQ(5u, d.faults.size());
    const FaultRule& check = d.faults[0];
    EXPECT_FALSE(check.byIndex);
    EXPECT_EQ(0xC9, check.opcode);
    EXPECT_TRUE(check.hasSub);
    EXPECT_EQ(2, check.sub);
    EXPECT_EQ(2u, check.occurrence);
    EXPECT_EQ(FaultAction::Check, check.action);
    EXPECT_EQ(5, check.sense.key);
    EXPECT_EQ(0x24, check.sense.asc);
    EXPECT_EQ(0, check.sense.ascq);
    EXPECT_TRUE(d.faults[1].byIndex);
    EXPECT_EQ(7u, d.faults[1].index);
    EXPECT_EQ(FaultAction::Hang, d.faults[1].action);
    EXPECT_EQ(0xCB, d.faults[2].opcode);
    EXPECT_FALSE(d.faults[2].hasSub);
    EXPECT_EQ(0u, d.faults[2].occurrence);
    EXPECT_EQ(FaultAction::Late, d.faults[2].action);
    EXPECT_EQ(6000u, d.faults[2].lateMs);
    EXPECT_EQ(3u, d.faults[3].occurrence);
    EXPECT_EQ(FaultAction::EarlyStatus, d.faults[3].action);
    EXPECT_EQ(40u, d.faults[3].earlyStatusMs);
    EXPECT_EQ(0x12, d.faults[4].opcode);
    EXPECT_EQ(FaultAction::Caller, d.faults[4].action);

    ScenarioConfig defaults;
    ASSERT_TRUE(ParseScenario("[device 0:0]\n", "", &defaults, &error)) << error;
    EXPECT_EQ(0u, defaults.earlyStatusMs);
    EXPECT_EQ(NoDeviceAnswer::AtOnce, defaults.noDevice);
}

TEST(ScenarioTest, BadLinesAreRefusedWithLineAndReason) {
    // the scenario, the start of its error
    const std::pair<const char*, const char*> cases[] = {
        {"[emulator]\naspi-status = maybe\n", "line 2: aspi-status: expected ready"},
        {"[emulator]\ncompletion = later\n", "line 2: completion: expected worker or caller"},
        {"kind = disk\n", "line 1: kind: comes before any"},
        {"[device 0:0]\n\nkind = floppy\n", "line 3: kind: expected tk4800j, optical or disk"},
        {"[device 0:0]\nvendor = TOOLONGVENDOR\n", "line 2: vendor: at most 8 characters"},
        {"[device 0:0]\nproduct = 12345678901234567\n", "line 2: product: at most 16"},
        {"[device 0:0]\nrevision = 2.160\n", "line 2: revision: at most 4 characters"},
        {"[device 0:0]\nloader-product = TK-4800J LOADER 2\n",
         "line 2: loader-product: at most 16"},
        {"[device 0:0]\nloader-revision = 0.010\n", "line 2: loader-revision: at most 4"},
        {"[device 0:0]\nloader-revision = 0\t01\n",
         "line 2: loader-revision: character 2 is 0x09; only printable ASCII"},
        {"[device 0:0]\nvendor = Z\x80L\n", "line 2: vendor: character 2 is 0x80"},
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
        {"[device 0:0]\nfault = 00 early-status\n",
         "line 2: fault: early-status needs milliseconds"},
        {"[device 0:0]\n\nfault = 00 early-status 30 40\n",
         "line 3: fault: early-status needs milliseconds"},
        {"[device 0:0]\nfault = 00 early-status -5\n",
         "line 2: fault: early-status needs milliseconds"},
        {"[device 0:0]\nfault = 00 caller 30\n", "line 2: fault: caller takes nothing"},
        {"[emulator]\nearly-status = soon\n", "line 2: early-status: expected milliseconds"},
        {"[emulator]\nearly-status = 2147483648\n", "line 2: early-status: expected milliseconds"},
        {"[emulator]\nno-device = never\n", "line 2: no-device: expected at-once or later"},
        {"[emulator]\nno-device =\n", "line 2: no-device: expected at-once or later"},
        {"[device 0:0]\n[device 0:0]\n", "line 2: device 0:0 is defined twice (first on line 1)"},
        {"[device 256:0]\n", "line 1: unknown section [device 256:0]"},
        {"[emulator\n", "line 1: a section line must end with ']'"},
        {"[emulator]\njust words\n", "line 2: expected 'key = value'"},
        {"[emulator]\nhost-adapters = 300\n", "line 2: host-adapters: expected a count 0..255"},
    };
    for (const auto& [text, expected] : cases) {
        ScenarioConfig scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(text, "", &scenario, &error)) << text;
        EXPECT_EQ(0u, error.find(expected))
            << "scenario:\n"
            << text << "expected: " << expected << "\nsaw:      " << error;
    }
}

} // namespace
