// The texts of both languages. This file is written in UTF-8 and compiled with
// code page 932 as its execution character set, so the Japanese strings reach the
// program as the bytes the ANSI window functions of a Japanese system expect.
#include "MessageTable.h"

#include <windows.h>

const char* const DialogTitle = "ZAL Drive Firmware Flash Utility";

static const MessageTexts englishMessages = {
    "Start Flashing",
    "Flashing...",
    "Flashing is Completed. Please turn off your PC.",
    "Flashing Error",
    "Incorrect file",
    "Do you want to change the firmware?",
    "Target ZAL TK-4800J is not found correctly.",
    "This drive's firmware will revert to previous version. Do you want to GO?",
    "PC will have powerdown. Are you sure?",
    "%d of %d",
    "administrative privileges are needed",
    "TEST IMAGE - ZAL Drive Firmware Flash Utility",
    "TEST IMAGE: for the drive emulator only. Nothing was written.",
    "The drive has not answered earlier commands yet. Nothing was sent. "
    "Wait a moment, then press Flash again.",
};

static const MessageTexts japaneseMessages = {
    "ファームウェア書き換え開始",
    "ファームウェア書き換え中...",
    "ファームウェア変更終了。ＰＣの電源を一旦オフしてから再起動して下さい。",
    "ファームウェア書き換えエラー",
    "ファイルが正しくありません。",
    "バージョンを確認して下さい。「実行」ボタンでファームウェア変更を始めます。",
    "対応する ZAL TK-4800J が見つかりませんでした。",
    "古いバージョンに戻します。よろしいですか？",
    "電源をオフします。よろしいですか？",
    "%d / %d",
    "管理者権限のないユーザでは書き換えを行えません",
    "テスト用イメージ - ZAL Drive Firmware Flash Utility",
    "テスト用イメージはエミュレータ専用です。何も書き込んでいません。",
    "ドライブが前のコマンドにまだ応答していません。何も送信していません。"
    "しばらく待ってから、もう一度実行して下さい。",
};

const MessageTexts* MessageTable = &englishMessages;

const MessageTexts* MessageTableFor(int japanese) {
    return japanese ? &japaneseMessages : &englishMessages;
}

int ChooseLanguage() {
    const int japanese = GetSystemDefaultLangID() == 0x0411 ? 1 : 0;
    MessageTable = MessageTableFor(japanese);
    return japanese;
}
