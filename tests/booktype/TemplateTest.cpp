// The two dialog templates as they are built into the program: dialog style,
// size, font and title, and for each of the 29 controls in order its identifier,
// class, style, caption and position, in English (MAINDIALOGE) and Japanese
// (MAINDIALOG).
#include "BookTypeResources.h"
#include "DialogTemplate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const DWORD ButtonMask = 0x0F | WS_GROUP | WS_TABSTOP;
const DWORD EditMask = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
const DWORD StaticMask = SS_TYPEMASK | SS_CENTERIMAGE | SS_NOPREFIX | WS_TABSTOP;
const Styled DropDownList = {CBS_DROPDOWNLIST | WS_VSCROLL | CBS_SORT | WS_TABSTOP,
                             0x03 | CBS_SORT | WS_VSCROLL | WS_TABSTOP};
const Styled DefaultButton = {BS_DEFPUSHBUTTON, ButtonMask};
const Styled Button = {BS_PUSHBUTTON, ButtonMask};
const Styled GroupBox = {BS_GROUPBOX, ButtonMask};
const Styled StatusBox = {ES_MULTILINE | ES_READONLY, EditMask};
const Styled ValueBox = {ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, EditMask};
const Styled Tab = {0, WS_TABSTOP};
const Styled Label = {SS_LEFT, StaticMask};
const Styled CentredLabel = {SS_LEFT | SS_CENTERIMAGE, StaticMask};
const Styled NoPrefixLabel = {SS_LEFT | SS_NOPREFIX, StaticMask};
const Styled FirstRadio = {BS_AUTORADIOBUTTON | WS_GROUP, ButtonMask};
const Styled Radio = {BS_AUTORADIOBUTTON, ButtonMask};

// clang-format off
const std::vector<ControlRow> Controls = {
    // id, class, style, English and Japanese caption, English and Japanese x, y, cx, cy
    {IDC_DRIVE_LIST, "COMBOBOX", DropDownList, "", "", {7, 21, 288, 64}, {7, 21, 254, 64}},
    {IDOK, "BUTTON", DefaultButton, "OK", "実行", {169, 192, 37, 19}, {169, 192, 37, 19}},
    {IDC_STATUS, "EDIT", StatusBox, "", "", {9, 150, 287, 28}, {9, 150, 251, 28}},
    {IDCANCEL, "BUTTON", Button, "Cancel", "ｷｬﾝｾﾙ", {222, 192, 37, 19}, {222, 192, 37, 19}},
    {-1, "BUTTON", GroupBox, "Drive Select:", "ドライブ選択:", {4, 9, 298, 32}, {4, 9, 264, 32}},
    {IDC_TAB, "SYSTABCONTROL32", Tab, "Tab1", "Tab1", {4, 46, 298, 84}, {5, 46, 263, 84}},
    {-1, "BUTTON", GroupBox, "Status:", "状態:", {4, 136, 298, 47}, {4, 136, 264, 48}},
    {-1, "STATIC", CentredLabel, "Default", "Default", {26, 80, 32, 8}, {26, 83, 32, 8}},
    {IDC_TEMPORARY_LABEL, "STATIC", Label, "Temporary", "Temporary", {26, 105, 32, 8}, {26, 105, 32, 8}},
    {-1, "STATIC", NoPrefixLabel, "Select Setting", "Select Setting", {10, 59, 34, 18}, {10, 61, 23, 18}},
    {-1, "STATIC", Label, "Current Value", "Current Value", {55, 64, 65, 8}, {60, 63, 45, 8}},
    {IDC_DL_DEFAULT_NORMAL, "BUTTON", FirstRadio, "&Normal (DVD+R DL)", "標準 (DVD+R DL)", {108, 80, 80, 10}, {108, 81, 71, 10}},
    {IDC_DL_DEFAULT_COMPAT, "BUTTON", Radio, "&Compatibility (DVD-ROM)", "互換 (DVD-ROM)", {192, 80, 103, 10}, {188, 81, 72, 10}},
    {IDC_DL_TEMPORARY_NORMAL, "BUTTON", FirstRadio, "&Normal (DVD+R DL)", "標準 (DVD+R DL)", {108, 103, 80, 10}, {108, 103, 71, 10}},
    {IDC_DL_TEMPORARY_COMPAT, "BUTTON", Radio, "&Compatibility (DVD-ROM)", "互換 (DVD-ROM)", {192, 103, 103, 10}, {188, 103, 72, 10}},
    {IDC_DL_APPLY_DEFAULT, "BUTTON", FirstRadio, "", "", {11, 82, 9, 8}, {11, 83, 9, 8}},
    {IDC_DL_APPLY_TEMPORARY, "BUTTON", Radio, "", "", {11, 105, 9, 8}, {11, 105, 9, 8}},
    {IDC_DL_DEFAULT_VALUE, "EDIT", ValueBox, "", "", {60, 78, 40, 14}, {60, 78, 40, 14}},
    {IDC_DL_TEMPORARY_VALUE, "EDIT", ValueBox, "", "", {60, 102, 40, 14}, {60, 102, 40, 14}},
    {IDC_PLUSR_DEFAULT_NORMAL, "BUTTON", FirstRadio, "&Normal (DVD+R)", "標準 (DVD+R)", {108, 80, 80, 10}, {108, 81, 71, 10}},
    {IDC_PLUSR_DEFAULT_COMPAT, "BUTTON", Radio, "&Compatibility (DVD-ROM)", "互換 (DVD-ROM)", {192, 80, 103, 10}, {188, 81, 72, 10}},
    {IDC_PLUSR_TEMPORARY_NORMAL, "BUTTON", FirstRadio, "&Normal (DVD+R)", "標準 (DVD+R)", {108, 103, 80, 10}, {108, 103, 71, 10}},
    {IDC_PLUSR_TEMPORARY_COMPAT, "BUTTON", Radio, "&Compatibility (DVD-ROM)", "互換 (DVD-ROM)", {192, 103, 103, 10}, {188, 103, 72, 10}},
    {IDC_PLUSR_APPLY_DEFAULT, "BUTTON", FirstRadio, "", "", {11, 82, 9, 8}, {11, 83, 9, 8}},
    {IDC_PLUSR_APPLY_TEMPORARY, "BUTTON", Radio, "", "", {11, 105, 9, 8}, {11, 105, 9, 8}},
    {IDC_PLUSR_DEFAULT_VALUE, "EDIT", ValueBox, "", "", {60, 78, 40, 14}, {60, 78, 40, 14}},
    {IDC_PLUSR_TEMPORARY_VALUE, "EDIT", ValueBox, "", "", {60, 102, 40, 14}, {60, 102, 40, 14}},
    {-1, "STATIC", Label, "Command Ver: ", "Command Ver : ", {7, 194, 48, 8}, {7, 194, 48, 8}},
    {IDC_COMMAND_VERSION, "EDIT", ValueBox, "", "", {58, 191, 14, 14}, {53, 191, 13, 14}},
};

const TemplateCase Templates[] = {
    {"MAINDIALOGE", false, 306, 218, "BookType Setting Utility", "FixedSys"},
    {"MAINDIALOG", true, 273, 217, "BookType設定ユーティリティ", "ＭＳ Ｐゴシック"},
};
// clang-format on

TEST(DialogTemplateTest, BothTemplatesMatchTheirTables) {
    for (const TemplateCase& c : Templates) {
        ExpectTemplate(NULL, c, Controls, WS_CHILD | WS_VISIBLE);
    }
}

} // namespace
