// The flash tool's user texts in English and Japanese, chosen once at start. The
// Japanese texts are code page 932 strings for the ANSI window functions.
#ifndef ZAL_FLASH_MESSAGETABLE_H
#define ZAL_FLASH_MESSAGETABLE_H

struct MessageTexts {
    const char* start;   // status box, first tick of a run
    const char* running; // status box while a run lasts
    const char* success; // status box after a successful run
    const char* error;   // status box after a failed run
    const char* badImage;
    const char* readyPrompt;
    const char* noTarget;
    const char* revertQuestion;
    const char* powerOffQuestion;
    const char* counterFormat; // two %d: completed runs, then drives found
    const char* noRights;
    // A program carrying a generated test image: its caption (which begins with
    // the warning, so that a narrow caption bar cannot cut it off), and the status
    // box after a run refused because the drive is not the drive emulator.
    const char* testImageTitle;
    const char* testImageRefused;
    // The status box after a run refused because the drives still hold the
    // request blocks of earlier commands that ran out of time: without a block
    // kept for leaving flash mode, the run would not be sure to leave it.
    const char* blocksHeld;
};

// The window title and the caption of every box, in both languages.
extern const char* const DialogTitle;

// The table of the chosen language (English until ChooseLanguage has run).
extern const MessageTexts* MessageTable;

// 1 and the Japanese table when the system's default language is Japanese
// (0x0411), else 0 and the English table.
int ChooseLanguage();

// The table of one language, without choosing it: 1 Japanese, 0 English.
const MessageTexts* MessageTableFor(int japanese);

#endif
