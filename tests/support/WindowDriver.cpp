// Drives a Windows program from outside (see WindowDriver.h).
#include "WindowDriver.h"

#include <cstring>

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
        for (size_t i = 0; i < entries.size(); ++i) {
            if (_strnicmp(entries[i].c_str(), name.c_str(), name.size()) == 0) {
                entries.erase(entries.begin() + static_cast<long>(i));
                break;
            }
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
    GetExitCodeProcess(info_.hProcess, &code);
    if (exitCode != NULL) {
        *exitCode = code;
    }
    return true;
}

bool RunningProgram::HasExited() {
    return started_ && WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
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

bool IsMessageBox(HWND window) {
    return WindowClass(window) == "#32770" && GetDlgItem(window, 0xFFFF) != NULL &&
           IsWindowVisible(window);
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

HWND WaitForDialogWithControl(DWORD processId, int controlId, DWORD timeoutMs) {
    return WaitForWindow(processId, timeoutMs, [controlId](HWND window) {
        return WindowClass(window) == "#32770" && GetDlgItem(window, controlId) != NULL &&
               IsWindowVisible(window);
    });
}

bool WaitForNoMessageBox(DWORD processId, DWORD timeoutMs) {
    return WaitUntil(
        [processId] {
            for (HWND window : TopLevelWindows(processId)) {
                if (IsMessageBox(window)) {
                    return false;
                }
            }
            return true;
        },
        timeoutMs);
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

std::string MessageBoxText(HWND box) {
    return ControlText(box, 0xFFFF);
}

std::string WindowClass(HWND window) {
    char name[256];
    const int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

bool PressButton(HWND dialog, int controlId) {
    HWND button = GetDlgItem(dialog, controlId);
    // A user cannot press what is hidden or disabled.
    if (button == NULL || !IsWindowVisible(button) || !IsWindowEnabled(button)) {
        return false;
    }
    return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}
