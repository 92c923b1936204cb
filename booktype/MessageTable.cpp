// The texts of both languages, and the choice among the status texts of the
// remaining change count and the error texts of a failure mask. This file is
// written in UTF-8 and compiled with code page 932 as its execution character
// set, so the Japanese strings reach the program as the bytes the ANSI window
// functions of a Japanese system expect.
#include "MessageTable.h"

// Up to this many remaining changes the count is shown in full.
enum { ChangeCountShownInFull = 50 };

const char* const DialogTitle = "BookType Setting Utility";

static const MessageTexts englishMessages = {
    "Target dirve is not found correctly.",
    "Possible set count is %d left.",
    "Setting possible to change.",
    "No more change is allowed due to the count limit.",
    "Default value setting can't change. Because of the default value setting count was "
    "limited.",
    "Try again after DISC Ejected.",
    "Change is completed.",
    "Failed to set default value of DVD+R.",
    "Failed to set default value of DVD+RW.",
    "Failed to set default value of DVD+R & DVD+RW.",
    "Failed to set default value of DVD+R DL.",
    "Failed to set default value of DVD+R & DVD+R DL.",
    "Failed to set default value of DVD+RW & DVD+R DL.",
    "Failed to set.",
    "Some failure occurred to set .",
};

static const MessageTexts japaneseMessages = {
    "対応するドライブが見つかりませんでした。",
    "変更可能回数は、あと%d回です。",
    "変更できます。",
    "変更回数が上限に達しているので設定は変更できません。",
    "Default設定値変更回数が上限に達しているのでDefault設定値は変更できません。",
    "DISCを抜いてから実行してください。",
    "設定を変更しました。",
    "DVD+RのDefault変更に失敗しました。",
    "DVD+RWのDefault変更に失敗しました。",
    "DVD+RとDVD+RWのDefault変更に失敗しました。",
    "DVD+R DLのDefault変更に失敗しました。",
    "DVD+RとDVD+R DLのDefault変更に失敗しました。",
    "DVD+RWとDVD+R DLのDefault変更に失敗しました。",
    "変更に失敗しました。",
    "変更に失敗した項目があります。",
};

static const char* const englishMediumTexts[MediumTextCount] = {
    "DVD+R DL Medium setting", "DVD+R Medium setting", "DVD+R DL", "DVD-ROM", "DVD+R", " -- ",
};

static const char* const japaneseMediumTexts[MediumTextCount] = {
    "DVD+R DL メディア設定", "DVD+R メディア設定", "DVD+R DL", "DVD-ROM", "DVD+R", " -- ",
};

const MessageTexts* MessageTable = &englishMessages;
const char* const* MediumTextTable = englishMediumTexts;

const MessageTexts* MessageTableFor(int japanese) {
    return japanese ? &japaneseMessages : &englishMessages;
}

const char* const* MediumTextTableFor(int japanese) {
    return japanese ? japaneseMediumTexts : englishMediumTexts;
}

int ChooseLanguage() {
    const int japanese = GetSystemDefaultLangID() == 0x0411 ? 1 : 0;
    MessageTable = MessageTableFor(japanese);
    MediumTextTable = MediumTextTableFor(japanese);
    return japanese;
}

const char* ChangeFailureText(DWORD mask) {
    switch (mask) {
    case 0x001:
        return MessageTable->failedPlusR;
    case 0x010:
        return MessageTable->failedPlusRw;
    case 0x011:
        return MessageTable->failedPlusRAndPlusRw;
    case 0x100:
        return MessageTable->failedPlusRDl;
    case 0x101:
        return MessageTable->failedPlusRAndPlusRDl;
    case 0x110:
        return MessageTable->failedPlusRwAndPlusRDl;
    case 0x111:
        return MessageTable->failedAllDefaults;
    default:
        return MessageTable->failedSome;
    }
}

const char* ChangeCountText(int count, INT32 commandVersion, char* buffer) {
    if (count == 0) {
        return commandVersion < 2 ? MessageTable->countLimit : MessageTable->defaultLimit;
    }
    if (count <= ChangeCountShownInFull) {
        wsprintfA(buffer, MessageTable->countLeft, count);
        return buffer;
    }
    return MessageTable->changeable;
}
