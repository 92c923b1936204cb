// One run of the built discmode.exe against the drive emulator (see DiscmodeSession.h).
#include "DiscmodeSession.h"

#include <commctrl.h>

#include <cstdio>
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
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary.c_str(), std::ios::binary | std::ios::trunc);
        out << text;
    }
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

const char* ProgramFor(DiscmodePath path) {
    switch (path) {
    case DiscmodePath::AspiEmulator:
        return "discmode_9x.exe";
    case DiscmodePath::AspiWine:
        return "discmode_9x_wineaspi.exe";
    case DiscmodePath::AspiMissing:
        return "discmode_9x_noaspi.exe";
    case DiscmodePath::Nt:
        break;
    }
    return "discmode.exe";
}

} // namespace

std::string Device(const std::string& address, const std::string& settings) {
    return "[device " + address + "]\n" + settings + "\n";
}

DiscmodeSession::DiscmodeSession(const std::string& name) {
    const std::string work = CurrentFolder() + "\\e2e-work";
    CreateDirectoryA(work.c_str(), NULL);
    folder_ = work + "\\" + name;
    CreateDirectoryA(folder_.c_str(), NULL);
    RemoveFolderFiles(folder_);
}

DiscmodeSession::~DiscmodeSession() {
    if (!program_.HasExited()) {
        program_.Kill();
    }
}

void DiscmodeSession::WriteScenario(const std::string& devices) {
    WriteWholeFile(folder_ + "\\scenario.txt",
                   "[emulator]\nstate = drive.state\nlog = commands.log\n\n" + devices);
}

bool DiscmodeSession::Start(DiscmodePath path, bool expectDialog) {
    const std::string program = CurrentFolder() + "\\" + ProgramFor(path);
    if (!program_.Start("\"" + program + "\"", folder_,
                        {"ZALEMU_SCENARIO=" + folder_ + "\\scenario.txt"})) {
        return false;
    }
    if (!expectDialog) {
        return WaitForBox(20000) != NULL;
    }
    dialog_ = WaitForDialogWithControl(program_.ProcessId(), IdDriveList, 20000);
    // The dialog is ready for the user once the drive list is enabled.
    return dialog_ != NULL && WaitForEnabled(IdDriveList, true, 20000);
}

std::string DiscmodeSession::Text(int id) const {
    return ControlText(dialog_, id);
}

bool DiscmodeSession::Enabled(int id) const {
    return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE;
}

bool DiscmodeSession::Visible(int id) const {
    return IsWindowVisible(GetDlgItem(dialog_, id)) != FALSE;
}

bool DiscmodeSession::Checked(int id) const {
    return SendMessageA(GetDlgItem(dialog_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<std::string> DiscmodeSession::DriveListItems() const {
    std::vector<std::string> items;
    HWND list = GetDlgItem(dialog_, IdDriveList);
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // Across processes Wine hands the entry over as UTF-16 whichever form is
        // asked for; it is turned back into this program's code page here.
        wchar_t wide[256] = L"";
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
        char text[512] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
        items.push_back(text);
    }
    return items;
}

int DiscmodeSession::DriveListSelection() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IdDriveList), CB_GETCURSEL, 0, 0));
}

int DiscmodeSession::TabCount() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IdTabs), TCM_GETITEMCOUNT, 0, 0));
}

int DiscmodeSession::TabSelection() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IdTabs), TCM_GETCURSEL, 0, 0));
}

void DiscmodeSession::SelectDrive(int index) {
    // The arrow keys move the selection of a closed drop-down list, one entry a
    // key, and tell the dialog each time.
    HWND list = GetDlgItem(dialog_, IdDriveList);
    int current = DriveListSelection();
    while (current != index) {
        const WPARAM key = index > current ? VK_DOWN : VK_UP;
        PostMessageA(list, WM_KEYDOWN, key, 0);
        PostMessageA(list, WM_KEYUP, key, static_cast<LPARAM>(0xC0000000u));
        const int before = current;
        WaitUntil([&] { return DriveListSelection() != before; }, 5000);
        current = DriveListSelection();
        if (current == before) {
            return;
        }
    }
}

void DiscmodeSession::NextTab() {
    const int before = TabSelection();
    PostMessageA(GetDlgItem(dialog_, IdTabs), WM_KEYDOWN, VK_RIGHT, 0);
    WaitUntil([&] { return TabSelection() != before; }, 3000);
}

void DiscmodeSession::PreviousTab() {
    const int before = TabSelection();
    PostMessageA(GetDlgItem(dialog_, IdTabs), WM_KEYDOWN, VK_LEFT, 0);
    WaitUntil([&] { return TabSelection() != before; }, 3000);
}

bool DiscmodeSession::Click(int id) {
    return PressButton(dialog_, id);
}

void DiscmodeSession::PressEscape() {
    HWND target = GetDlgItem(dialog_, IdDriveList);
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
}

void DiscmodeSession::Close() {
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

HWND DiscmodeSession::WaitForBox(DWORD timeoutMs) {
    return WaitForMessageBox(program_.ProcessId(), timeoutMs);
}

bool DiscmodeSession::AnswerBox(HWND box) {
    return PressButton(box, IDOK) && WaitUntil([box] { return !IsWindow(box); }, 5000);
}

bool DiscmodeSession::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    return program_.WaitForExit(timeoutMs, exitCode);
}

std::vector<zalemu::CommandRecord> DiscmodeSession::Commands() const {
    std::vector<zalemu::CommandRecord> records;
    std::string error;
    if (!zalemu::ParseLog(ReadWholeFile(folder_ + "\\commands.log"), &records, &error)) {
        zalemu::CommandRecord bad;
        bad.outcome = "unparsable log: " + error;
        return {bad};
    }
    return records;
}

std::vector<zalemu::CommandRecord> DiscmodeSession::CommandsAfter(size_t skip) const {
    std::vector<zalemu::CommandRecord> all = Commands();
    std::vector<zalemu::CommandRecord> result;
    for (size_t i = skip; i < all.size(); ++i) {
        if (all[i].Opcode() != 0x00) {
            result.push_back(all[i]);
        }
    }
    return result;
}

std::string DiscmodeSession::StateFile() const {
    return ReadWholeFile(folder_ + "\\drive.state");
}

bool DiscmodeSession::SetDisc(const std::string& address, bool loaded) {
    std::istringstream in(StateFile());
    std::string line;
    std::string result;
    bool inSection = false;
    bool changed = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[device " + address + "]";
        } else if (inSection && line.compare(0, 4, "disc") == 0) {
            line = std::string("disc = ") + (loaded ? "yes" : "no");
            changed = true;
        }
        result += line + "\n";
    }
    if (changed) {
        WriteWholeFile(folder_ + "\\drive.state", result);
    }
    return changed;
}

bool DiscmodeSession::WaitForEnabled(int id, bool enabled, DWORD timeoutMs) const {
    return WaitUntil([&] { return Enabled(id) == enabled; }, timeoutMs);
}

bool DiscmodeSession::WaitForText(int id, const std::string& text, DWORD timeoutMs) const {
    return WaitUntil([&] { return Text(id) == text; }, timeoutMs);
}
