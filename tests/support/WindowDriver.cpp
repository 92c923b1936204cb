// The one window driver of the tests (see WindowDriver.h).
#include "WindowDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <iterator>

RunningProgram::~RunningProgram() {
    if (started_) {
        if (!HasExited()) {
            Kill();
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

namespace {

// This program's environment block with `extra` entries added (replacing
// entries of the same name).
std::vector<char> EnvironmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; entry != NULL && *entry != '\0';
         entry += std::strlen(entry) + 1) {
        entries.push_back(entry);
    }
    FreeEnvironmentStringsA(block);
    for (const std::string& added : extra) {
        const std::string name = added.substr(0, added.find('=') + 1);
        const auto same = std::find_if(entries.begin(), entries.end(), [&](const std::string& e) {
            return _strnicmp(e.c_str(), name.c_str(), name.size()) == 0;
        });
        if (same != entries.end()) {
            entries.erase(same);
        }
        entries.push_back(added);
    }
    std::vector<char> result;
    for (const std::string& entry : entries) {
        result.insert(result.end(), entry.begin(), entry.end());
        result.push_back('\0');
    }
    result.push_back('\0');
    return result;
}

} // namespace

bool RunningProgram::Start(const std::string& commandLine, const std::string& directory,
                           const std::vector<std::string>& environment) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    std::vector<char> block = EnvironmentWith(environment);
    started_ =
        CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0,
                       environment.empty() ? NULL : block.data(),
                       directory.empty() ? NULL : directory.c_str(), &startup, &info_) != FALSE;
    return started_;
}

bool RunningProgram::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!started_ || WaitForSingleObject(info_.hProcess, Scaled(timeoutMs)) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, exitCode != NULL ? exitCode : &code);
    return true;
}

void RunningProgram::Kill() {
    if (started_) {
        TerminateProcess(info_.hProcess, 255);
        WaitForSingleObject(info_.hProcess, Scaled(5000));
    }
}

namespace {

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) {
        search->found.push_back(window);
    }
    return TRUE;
}

// A box holds the 0xFFFF text control; the tools' dialogs hold the drive list.
bool IsMessageBox(HWND window) {
    return WindowClass(window) == "#32770" && GetDlgItem(window, 0xFFFF) != NULL &&
           GetDlgItem(window, IDC_DRIVE_LIST) == NULL && IsWindowVisible(window);
}

template <typename Match> HWND WaitForWindow(DWORD processId, DWORD timeoutMs, Match match) {
    HWND result = NULL;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(processId)) {
                if (match(window)) {
                    result = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return result;
}

} // namespace

std::vector<HWND> TopLevelWindows(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
    return WaitForWindow(processId, timeoutMs, IsMessageBox);
}

HWND WaitForDialogWithControl(DWORD processId, int controlId, DWORD timeoutMs, bool shownOnly) {
    return WaitForWindow(processId, timeoutMs, [=](HWND window) {
        return WindowClass(window) == "#32770" && GetDlgItem(window, controlId) != NULL &&
               (!shownOnly || IsWindowVisible(window));
    });
}

std::string WindowText(HWND window) {
    char text[4096];
    text[0] = '\0';
    const LRESULT length =
        SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string ControlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != NULL ? WindowText(control) : std::string("<no control>");
}

std::string WindowClass(HWND window) {
    char name[256];
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

namespace {

// A user cannot press what is hidden or disabled.
bool Usable(HWND button) {
    return button != NULL && IsWindowVisible(button) && IsWindowEnabled(button);
}

// A key pressed and released on `window`, both messages queued (the release
// message is the one after the press: WM_KEYUP, WM_SYSKEYUP).
void PostKey(HWND window, WPARAM key, LPARAM down, LPARAM up, UINT downMessage = WM_KEYDOWN) {
    PostMessageA(window, downMessage, key, down);
    PostMessageA(window, downMessage + 1, key, up);
}

} // namespace

bool PressButton(HWND dialog, int controlId) {
    HWND button = GetDlgItem(dialog, controlId);
    return Usable(button) && PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

BoxSeen WaitForBox(DWORD processId, DWORD timeoutMs) {
    BoxSeen box;
    box.window = WaitForMessageBox(processId, timeoutMs);
    if (box.window != NULL) {
        box.caption = WindowText(box.window);
        box.text = MessageBoxText(box.window);
        box.owned = GetWindow(box.window, GW_OWNER) != NULL;
        box.topmost = (GetWindowLongA(box.window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    }
    return box;
}

bool AnswerBox(const BoxSeen& box, int button) {
    HWND window = box.window;
    return window != NULL && PressButton(window, button) &&
           WaitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); }, 5000);
}

std::vector<int> DialogDriver::CheckedOf(const std::vector<int>& ids) const {
    std::vector<int> checked;
    std::copy_if(ids.begin(), ids.end(), std::back_inserter(checked),
                 [this](int id) { return Checked(id); });
    return checked;
}

std::vector<std::string> DialogDriver::DriveListItems() const {
    std::vector<std::string> items;
    HWND list = GetDlgItem(dialog_, IDC_DRIVE_LIST);
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

bool DialogDriver::Flush(int rounds) {
    HWND status = GetDlgItem(dialog_, IDC_STATUS);
    const auto limit = [status] { return SendMessageA(status, EM_GETLIMITTEXT, 0, 0); };
    for (int round = 0; round < rounds; ++round) {
        const LRESULT marker = 0x10000 + (limit() & 0xFF) + 1;
        PostMessageA(status, EM_SETLIMITTEXT, static_cast<WPARAM>(marker), 0);
        WaitUntil([&] { return !IsWindow(status) || limit() == marker; }, 5000);
        if (limit() != marker) {
            return false;
        }
    }
    return true;
}

int DialogDriver::TabCount() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IDC_TAB), TCM_GETITEMCOUNT, 0, 0));
}

int DialogDriver::TabSelection() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IDC_TAB), TCM_GETCURSEL, 0, 0));
}

std::string DialogDriver::TabCaption(int index) const {
    // A tab's text is read through a buffer the tab control writes into, which
    // works within the dialog's process only.
    char text[128] = "";
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(GetDlgItem(dialog_, IDC_TAB), TCM_GETITEMA, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
    return text;
}

bool DialogDriver::ClickRadio(int id) {
    HWND button = GetDlgItem(dialog_, id);
    if (!Usable(button)) {
        return false;
    }
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
}

namespace {

// Moves `control` with arrow keys until `selection` reads `index`, one key at a
// time, each awaited; then lets the dialog finish handling the last.
template <typename Selection>
void MoveWithArrows(HWND control, int index, WPARAM back, WPARAM on, Selection selection) {
    int current = selection();
    while (current != index) {
        const WPARAM key = index > current ? on : back;
        PostKey(control, key, 0, static_cast<LPARAM>(0xC0000000u));
        const int before = current;
        WaitUntil([&] { return selection() != before; }, 5000);
        current = selection();
        if (current == before) {
            break;
        }
    }
    // A sent message is taken only between two messages of the queue.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(control, WM_NULL, 0, 0, SMTO_NORMAL, Scaled(10000), &ignored);
}

} // namespace

void DialogDriver::SelectDrive(int index) {
    // The arrow keys move the selection of a closed drop-down list, one entry a
    // key, and tell the dialog each time.
    MoveWithArrows(GetDlgItem(dialog_, IDC_DRIVE_LIST), index, VK_UP, VK_DOWN,
                   [this] { return DriveListSelection(); });
}

void DialogDriver::SelectTab(int index) {
    MoveWithArrows(GetDlgItem(dialog_, IDC_TAB), index, VK_LEFT, VK_RIGHT,
                   [this] { return TabSelection(); });
}

void DialogDriver::PressEscape() {
    PostKey(GetDlgItem(dialog_, IDC_DRIVE_LIST), VK_ESCAPE, 0x00010001,
            static_cast<LPARAM>(0xC0010001u));
}

void DialogDriver::PressEnter() {
    PostKey(dialog_, VK_RETURN, 0x001C0001, static_cast<LPARAM>(0xC01C0001u));
}

void DialogDriver::PressAltF4() {
    // The context code (Alt held) and the scan code of F4.
    PostKey(dialog_, VK_F4, 0x20000000 | 0x003E0001, static_cast<LPARAM>(0xE03E0001u),
            WM_SYSKEYDOWN);
}

bool DialogDriver::TryNextDrive() {
    HWND list = GetDlgItem(dialog_, IDC_DRIVE_LIST);
    if (!IsWindowEnabled(list)) {
        return false;
    }
    PostKey(list, VK_DOWN, 0, static_cast<LPARAM>(0xC0000000u));
    return true;
}
