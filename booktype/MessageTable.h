// The book-type tool's user texts in English and Japanese, chosen once at start,
// and which of them a remaining change count or a failure mask shows. The
// Japanese texts are code page 932 strings for the ANSI window functions.
#ifndef ZAL_BOOKTYPE_MESSAGETABLE_H
#define ZAL_BOOKTYPE_MESSAGETABLE_H

#include <windows.h>

struct MessageTexts {
    const char* noDrive;
    const char* countLeft; // one %d: the remaining change count
    const char* changeable;
    const char* countLimit;
    const char* defaultLimit;
    const char* ejectRequest;
    const char* changeCompleted;
    // Error box texts by failure mask: 0x001, 0x010, 0x011, 0x100, 0x101, 0x110,
    // 0x111, and any other non-zero mask.
    const char* failedPlusR;
    const char* failedPlusRw;
    const char* failedPlusRAndPlusRw;
    const char* failedPlusRDl;
    const char* failedPlusRAndPlusRDl;
    const char* failedPlusRwAndPlusRDl;
    const char* failedAllDefaults;
    const char* failedSome;
};

enum {
    MediumTextDlTab = 0,
    MediumTextPlusRTab = 1,
    MediumTextDlNormal = 2,
    MediumTextCompatibility = 3,
    MediumTextPlusRNormal = 4,
    MediumTextNoValue = 5,
    MediumTextCount = 6
};

// The window title and the caption of every box, in both languages.
extern const char* const DialogTitle;

// The tables of the chosen language (English until ChooseLanguage has run).
extern const MessageTexts* MessageTable;
extern const char* const* MediumTextTable;

// 1 and the Japanese tables when the system's default language is Japanese
// (0x0411), else 0 and the English tables.
int ChooseLanguage();

// The tables of one language, without choosing it: 1 Japanese, 0 English.
const MessageTexts* MessageTableFor(int japanese);
const char* const* MediumTextTableFor(int japanese);

// The error box text of a non-zero failure mask.
const char* ChangeFailureText(DWORD mask);

// The status text of `count` remaining default changes: with none left, the limit
// text of the drive's command version (the count limit below version 2, the
// default limit from it on); up to 50 left, the count-left format filled in
// `buffer` of ChangeCountTextSize characters; more, the changeable text.
enum { ChangeCountTextSize = 256 };
const char* ChangeCountText(int count, INT32 commandVersion, char* buffer);

#endif
