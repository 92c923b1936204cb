// One run of a built tool against the drive emulator (see ToolSession.h).
#include "ToolSession.h"

#include "EmulatorAccess.h"
#include "EmulatorControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <sstream>

namespace {

std::string CurrentFolder() {
    char folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    std::ofstream(temporary.c_str(), std::ios::binary | std::ios::trunc) << text;
    MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void RemoveFolderFiles(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileA((folder + "\\" + found.cFileName).c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Each path's copy of the program, which has that path's Wine settings; the
// names in the order of ProgramPath.
std::string ProgramFor(const std::string& tool, ProgramPath path) {
    const char* const endings[] = {"_9x.exe", "_9x_wineaspi.exe", "_9x_noaspi.exe", ".exe",
                                   "_noimage_9x.exe"};
    return tool + endings[static_cast<int>(path)];
}

} // namespace

std::string Device(const std::string& address, const std::string& settings) {
    return "[device " + address + "]\n" + settings + "\n";
}

ToolSession::ToolSession(const std::string& tool, const std::string& name) : tool_(tool) {
    const std::string work = CurrentFolder() + "\\e2e-work";
    CreateDirectoryA(work.c_str(), NULL);
    folder_ = work + "\\" + name;
    CreateDirectoryA(folder_.c_str(), NULL);
    RemoveFolderFiles(folder_);
}

void ToolSession::WriteScenario(const std::string& devices) {
    WriteWholeFile(folder_ + "\\scenario.txt",
                   "[emulator]\nstate = drive.state\nlog = commands.log\n\n" + devices);
}

bool ToolSession::Start(ProgramPath path, bool expectDialog) {
    programFile_ = CurrentFolder() + "\\" + ProgramFor(tool_, path);
    if (!program_.Start("\"" + programFile_ + "\"", folder_,
                        {"ZALEMU_SCENARIO=" + folder_ + "\\scenario.txt"})) {
        return false;
    }
    processId_ = program_.ProcessId();
    if (!expectDialog) {
        return WaitForBox(90000).window != NULL;
    }
    // The dialog is ready for the user once the drive list is enabled.
    return FindDialog(processId_, 90000) && WaitForEnabled(IDC_DRIVE_LIST, true, 90000);
}

bool ToolSession::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    return program_.WaitForExit(timeoutMs, exitCode);
}

std::vector<zalemu::CommandRecord> ToolSession::Commands() const {
    return ParsedLog(ReadWholeFile(folder_ + "\\commands.log"));
}

std::vector<std::string> ToolSession::OverlapNotes() const {
    std::istringstream lines(ReadWholeFile(folder_ + "\\commands.log"));
    std::vector<std::string> notes;
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 10, "# overlap:") == 0) {
            notes.push_back(line);
        }
    }
    return notes;
}

std::vector<zalemu::CommandRecord> ToolSession::CommandsAfter(size_t skip) const {
    const std::vector<zalemu::CommandRecord> all = Commands();
    std::vector<zalemu::CommandRecord> result;
    std::copy_if(all.begin() + static_cast<long>(std::min(skip, all.size())), all.end(),
                 std::back_inserter(result), [](const auto& r) { return r.Opcode() != 0x00; });
    return result;
}

std::string ToolSession::StateFile() const {
    return ReadWholeFile(folder_ + "\\drive.state");
}

std::string ToolSession::FirmwareMismatch(const std::string& address) const {
    // The drives' memory as the state file and the firmware file beside it keep
    // it, read by this process's own emulator.
    const std::string scenario = folder_ + "\\scenario.txt";
    char error[512] = "";
    if (ZalEmuLoadScenarioFile(scenario.c_str(), error, sizeof error) != 1) {
        return std::string("the scenario does not load: ") + error;
    }
    return ::FirmwareMismatch(EmulatorAccess::Linked().Firmware(address), programFile_);
}

bool ToolSession::SetDisc(const std::string& address, bool loaded) {
    // The emulator writes each device's disc as the first line of its section.
    std::string state = StateFile();
    const std::string disc = "[device " + address + "]\ndisc = ";
    const size_t at = state.find(disc);
    if (at == std::string::npos) {
        return false;
    }
    const size_t value = at + disc.size();
    state.replace(value, state.find('\n', value) - value, loaded ? "yes" : "no");
    WriteWholeFile(folder_ + "\\drive.state", state);
    return true;
}

void ExpectStartFailure(const std::string& tool, const StartFailure& failure) {
    ToolSession run(tool, std::string("start-") + failure.name);
    run.WriteScenario(Device("0:0", failure.device));
    ASSERT_TRUE(run.Start(failure.path, false)) << "no message box";
    const BoxSeen box = run.WaitForBox();
    ASSERT_NE(nullptr, box.window);
    if (failure.caption != nullptr) {
        EXPECT_EQ(failure.caption, box.caption);
    }
    EXPECT_EQ(failure.text, box.text);
    if (failure.control != 0) {
        // The dialog behind the box, whether it is shown yet or not.
        const HWND dialog =
            WaitForDialogWithControl(run.Program().ProcessId(), failure.control, 5000, false);
        ASSERT_NE(nullptr, dialog) << "no dialog behind the box";
        EXPECT_EQ(failure.shown, ControlText(dialog, failure.control));
    }
    ASSERT_TRUE(AnswerBox(box)) << "the box could not be answered";
    DWORD exitCode = 99;
    ASSERT_TRUE(run.WaitForExit(20000, &exitCode)) << "the program did not end";
    EXPECT_EQ(0u, exitCode);
    if (failure.sendsNothing) {
        EXPECT_TRUE(run.Commands().empty()) << "a command went to the device";
    }
}
