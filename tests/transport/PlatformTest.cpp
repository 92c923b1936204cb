// The platform query and the shutdown request, with the token and shutdown calls
// recorded by the test seam (no call reaches the system). The shutdown runs on
// each platform the seam can report; Wine's own answer is checked in this program,
// which Wine shows the NT family, and in its copy named _9x, shown Windows 98.
#include "Platform.h"
#include "RecordedShutdown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The platform Wine must show this program, by the name it runs under.
DWORD IntendedPlatform() {
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    const bool copy = length > 7 && strcmp(path + length - 7, "_9x.exe") == 0;
    return copy ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
}

OSVERSIONINFOA SystemVersion() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version;
}

std::vector<std::string> FunctionsCalled() {
    std::vector<std::string> names;
    for (const ShutdownCall& call : RecordedShutdownCalls()) {
        names.push_back(call.function);
    }
    return names;
}

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { ResetRecordedShutdown(); }
};

// The program under each name states the platform Wine must show it, so that a
// wrong Wine setting fails here; the tools' own programs depend on the same setting.
TEST_F(PlatformTest, RunsOnTheIntendedPlatform) {
    EXPECT_EQ(IntendedPlatform(), SystemVersion().dwPlatformId);
}

TEST_F(PlatformTest, QueryWithoutShutdownOnlyAsks) {
    EXPECT_EQ(SystemVersion().dwPlatformId, QueryPlatform(0));
    EXPECT_TRUE(RecordedShutdownCalls().empty());
}

std::string PlatformName(const ::testing::TestParamInfo<DWORD>& platform) {
    return platform.param == VER_PLATFORM_WIN32_NT ? "nt" : "win9x";
}

// The platform the seam reports: the cases run once for each family.
class ShutdownTest : public ::testing::TestWithParam<DWORD> {
protected:
    void SetUp() override { ResetRecordedShutdown({false, ERROR_SUCCESS, GetParam()}); }
    void TearDown() override { ResetRecordedShutdown(); }
};

TEST_P(ShutdownTest, ShutdownFollowsThePlatform) {
    const DWORD platform = QueryPlatform(1);
    EXPECT_EQ(GetParam(), platform);
    const std::vector<ShutdownCall> calls = RecordedShutdownCalls();
    if (platform == PlatformNT) {
        // The privilege goes on before the request and off after it, each time on a
        // token of its own that is closed again.
        const std::vector<std::string> expected = {
            "OpenProcessToken",      "LookupPrivilegeValueA", "AdjustTokenPrivileges",
            "CloseHandle",           "ExitWindowsEx",         "OpenProcessToken",
            "LookupPrivilegeValueA", "AdjustTokenPrivileges", "CloseHandle"};
        ASSERT_EQ(expected, FunctionsCalled());
        EXPECT_EQ(DWORD(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), calls[0].value);
        EXPECT_EQ(0x28u, calls[0].value);
        EXPECT_EQ("SeShutdownPrivilege", calls[1].text);
        EXPECT_EQ(DWORD(SE_PRIVILEGE_ENABLED), calls[2].value) << "switched on first";
        EXPECT_EQ(0u, calls[2].extra) << "disable-all is false";
        EXPECT_EQ(calls[0].handle, calls[2].handle);
        EXPECT_EQ(calls[0].handle, calls[3].handle);
        EXPECT_EQ(DWORD(EWX_SHUTDOWN), calls[4].value);
        EXPECT_EQ(0u, calls[4].extra) << "reason 0";
        EXPECT_EQ("SeShutdownPrivilege", calls[6].text);
        EXPECT_EQ(0u, calls[7].value) << "switched off after the request";
        EXPECT_EQ(0, OpenTokenCount()) << "no token handle is left open";
    } else {
        ASSERT_EQ(std::vector<std::string>{"ExitWindowsEx"}, FunctionsCalled())
            << "Windows 9x has no token to open";
        EXPECT_EQ(DWORD(EWX_SHUTDOWN), calls[0].value);
        EXPECT_EQ(0u, calls[0].extra);
    }
}

TEST_F(PlatformTest, APlatformOfNeitherFamilyIsShutDownWithoutAToken) {
    ResetRecordedShutdown({false, ERROR_SUCCESS, 3});
    EXPECT_EQ(3u, QueryPlatform(0));
    EXPECT_TRUE(RecordedShutdownCalls().empty());
    EXPECT_EQ(3u, QueryPlatform(1));
    EXPECT_EQ(std::vector<std::string>{"ExitWindowsEx"}, FunctionsCalled());
}

TEST_F(PlatformTest, PrivilegeOutcomes) {
    struct Case {
        bool openFails;
        DWORD lastError;
        int expected;
        bool adjusted;
    } cases[] = {
        {false, ERROR_SUCCESS, 1, true},
        {false, ERROR_NOT_ALL_ASSIGNED, 0, true}, // the process does not hold the privilege
        {true, ERROR_SUCCESS, 0, false},
    };
    for (const Case& c : cases) {
        ResetRecordedShutdown({c.openFails, c.lastError, 0});
        EXPECT_EQ(c.expected, SetShutdownPrivilege("SeShutdownPrivilege", SE_PRIVILEGE_ENABLED))
            << "open fails " << c.openFails << ", last error " << c.lastError;
        const std::vector<std::string> names = FunctionsCalled();
        EXPECT_EQ(c.adjusted, std::count(names.begin(), names.end(), "AdjustTokenPrivileges") != 0);
        EXPECT_EQ(0, OpenTokenCount());
    }
}

TEST_P(ShutdownTest, ShutdownIsRequestedEvenWhenThePrivilegeIsRefused) {
    ResetRecordedShutdown({true, ERROR_SUCCESS, GetParam()}); // no token
    QueryPlatform(1);
    const std::vector<std::string> names = FunctionsCalled();
    EXPECT_EQ(1, std::count(names.begin(), names.end(), "ExitWindowsEx"));
}

INSTANTIATE_TEST_SUITE_P(Platform, ShutdownTest,
                         ::testing::Values(DWORD(VER_PLATFORM_WIN32_NT),
                                           DWORD(VER_PLATFORM_WIN32_WINDOWS)),
                         PlatformName);

} // namespace
