// discmode's session: its tab control (see DiscmodeSession.h).
#include "DiscmodeSession.h"

#include <commctrl.h>

int DiscmodeSession::TabCount() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IdTabs), TCM_GETITEMCOUNT, 0, 0));
}

int DiscmodeSession::TabSelection() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IdTabs), TCM_GETCURSEL, 0, 0));
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
