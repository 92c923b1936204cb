// Runs discmode's real dialog procedure in a test program (see DialogHarness.h).
#include "DialogHarness.h"

#include "MainDialog.h"
#include "WindowDriver.h"

#include <commctrl.h>

DialogRun::~DialogRun() {
    if (thread_ != NULL) {
        if (!Ended() && dialog_ != NULL) {
            PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        WaitForSingleObject(thread_, Scaled(10000));
        CloseHandle(thread_);
    }
}

DWORD WINAPI DialogRun::Body(LPVOID parameter) {
    DialogRun* run = static_cast<DialogRun*>(parameter);
    run->result_ = DialogBoxParamA(GetModuleHandleA(NULL), run->name_, NULL, MainDialogProc, 0);
    return 0;
}

bool DialogRun::Start(const char* name, bool expectDialog) {
    name_ = name;
    thread_ = CreateThread(NULL, 0, Body, this, 0, &threadId_);
    if (thread_ == NULL) {
        return false;
    }
    if (!expectDialog) {
        return true;
    }
    dialog_ = WaitForDialogWithControl(GetCurrentProcessId(), 1009, 10000);
    return dialog_ != NULL;
}

bool DialogRun::WaitForEnd(DWORD timeoutMs, INT_PTR* result) {
    if (thread_ == NULL || WaitForSingleObject(thread_, Scaled(timeoutMs)) != WAIT_OBJECT_0) {
        return false;
    }
    *result = result_;
    return true;
}

bool DialogRun::Ended() {
    return thread_ == NULL || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
}

std::string DialogRun::Text(int id) const {
    return ControlText(dialog_, id);
}

bool DialogRun::Enabled(int id) const {
    return IsWindowEnabled(GetDlgItem(dialog_, id)) != 0;
}

bool DialogRun::Visible(int id) const {
    return IsWindowVisible(GetDlgItem(dialog_, id)) != 0;
}

bool DialogRun::Checked(int id) const {
    return SendDlgItemMessageA(dialog_, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int DialogRun::TabCount() const {
    return static_cast<int>(SendDlgItemMessageA(dialog_, 1014, TCM_GETITEMCOUNT, 0, 0));
}

int DialogRun::TabSelection() const {
    return static_cast<int>(SendDlgItemMessageA(dialog_, 1014, TCM_GETCURSEL, 0, 0));
}

std::string DialogRun::TabCaption(int index) const {
    char text[128] = "";
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendDlgItemMessageA(dialog_, 1014, TCM_GETITEMA, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<std::string> DialogRun::DriveList() const {
    std::vector<std::string> items;
    const LRESULT count = SendDlgItemMessageA(dialog_, 1009, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = "";
        SendDlgItemMessageA(dialog_, 1009, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

int DialogRun::DriveSelection() const {
    return static_cast<int>(SendDlgItemMessageA(dialog_, 1009, CB_GETCURSEL, 0, 0));
}

std::vector<int> DialogRun::CheckedOf(const std::vector<int>& ids) const {
    std::vector<int> checked;
    for (int id : ids) {
        if (Checked(id)) {
            checked.push_back(id);
        }
    }
    return checked;
}

void DialogRun::ChooseDrive(int index) {
    HWND list = GetDlgItem(dialog_, 1009);
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(1009, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void DialogRun::ChooseTab(int index) {
    HWND tab = GetDlgItem(dialog_, 1014);
    SendMessageA(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    NMHDR header = {};
    header.hwndFrom = tab;
    header.idFrom = 1014;
    header.code = static_cast<UINT>(TCN_SELCHANGE);
    SendMessageA(dialog_, WM_NOTIFY, 1014, reinterpret_cast<LPARAM>(&header));
}

void DialogRun::ClickRadio(int id) {
    SendDlgItemMessageA(dialog_, id, BM_CLICK, 0, 0);
}

bool DialogRun::Press(int id) {
    return PressButton(dialog_, id);
}

void DialogRun::PressEscape() {
    HWND list = GetDlgItem(dialog_, 1009);
    PostMessageA(list, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(list, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
}

bool DialogRun::WaitForEnabled(int id, bool enabled, DWORD timeoutMs) const {
    return WaitUntil([&] { return Enabled(id) == enabled; }, timeoutMs);
}

bool DialogRun::WaitForText(int id, const std::string& text, DWORD timeoutMs) const {
    return WaitUntil([&] { return Text(id) == text; }, timeoutMs);
}

namespace {

bool IsBox(HWND window) {
    return WindowClass(window) == "#32770" && IsWindowVisible(window) &&
           GetDlgItem(window, 1009) == NULL && GetDlgItem(window, 0xFFFF) != NULL;
}

} // namespace

BoxSeen WaitForBox(DWORD timeoutMs) {
    BoxSeen box;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(GetCurrentProcessId())) {
                if (IsBox(window)) {
                    box.window = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (box.window != NULL) {
        box.caption = WindowText(box.window);
        box.text = MessageBoxText(box.window);
        box.owned = GetWindow(box.window, GW_OWNER) != NULL;
        box.topmost = (GetWindowLongA(box.window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    }
    return box;
}

bool AnswerBox(const BoxSeen& box) {
    if (box.window == NULL || !PressButton(box.window, IDOK)) {
        return false;
    }
    return WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, 5000);
}
