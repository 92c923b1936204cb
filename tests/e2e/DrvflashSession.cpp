// drvflash's session (see DrvflashSession.h).
#include "DrvflashSession.h"

#include <commctrl.h>

int DrvflashSession::Progress() const {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog_, IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

bool DrvflashSession::StartReady() {
    // The drive list is enabled a moment before Flash is shown.
    return Start() && WaitUntil([this] { return Visible(IDC_FLASH) && Enabled(IDC_FLASH); }, 10000);
}

bool DrvflashSession::WaitForRunEnd(RunSeen* seen, DWORD timeoutMs) {
    std::vector<std::string>* texts = &seen->texts;
    // Flash is disabled from the click until the tick that sees the end.
    WaitUntil([this] { return !Enabled(IDC_FLASH); }, 5000);
    const std::string before = Text(IDC_STATUS);
    const bool ended = WaitUntil(
        [&] {
            const std::string text = Text(IDC_STATUS);
            if (texts->empty() || texts->back() != text) {
                texts->push_back(text);
            }
            // Until the run's first tick the bar still shows where the last run left it.
            const int position = Progress();
            const bool started = text != before || texts->size() > 1;
            if (started && (seen->bar.empty() || seen->bar.back() != position)) {
                seen->bar.push_back(position);
            }
            return Enabled(IDC_FLASH);
        },
        timeoutMs);
    // The tick that ends the run may show the last text and give Flash back between one sample's
    // reading of the text and its look at Flash: read the text once more.
    const std::string last = Text(IDC_STATUS);
    if (ended && (texts->empty() || texts->back() != last)) {
        texts->push_back(last);
    }
    return ended;
}
