// The book-type tool's texts in both languages, byte for byte (the Japanese ones
// as code page 932), the error text chosen for each failure mask, and the choice
// of language by the system's default language.
#include "BookTypeTestSupport.h"
#include "MessageTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

namespace {

#define FIELD(name) [](const MessageTexts* t) { return t->name; }

// The text's role, its field, the English text and the Japanese (UTF-8 here; the table holds code
// page 932).
const std::tuple<const char*, const char* (*)(const MessageTexts*), const char*, const char*>
    messageCases[] = {
        {"no-drive", FIELD(noDrive), "Target dirve is not found correctly.",
         "対応するドライブが見つかりませんでした。"},
        {"count-left", FIELD(countLeft), "Possible set count is %d left.",
         "変更可能回数は、あと%d回です。"},
        {"changeable", FIELD(changeable), "Setting possible to change.", "変更できます。"},
        {"count-limit", FIELD(countLimit), "No more change is allowed due to the count limit.",
         "変更回数が上限に達しているので設定は変更できません。"},
        {"default-limit", FIELD(defaultLimit),
         "Default value setting can't change. Because of the default value setting count was "
         "limited.",
         "Default設定値変更回数が上限に達しているのでDefault設定値は変更できません。"},
        {"eject", FIELD(ejectRequest), "Try again after DISC Ejected.",
         "DISCを抜いてから実行してください。"},
        {"completed", FIELD(changeCompleted), "Change is completed.", "設定を変更しました。"},
};

TEST(MessageTableTest, MessagesInBothLanguages) {
    for (const auto& [role, pick, english, japanese] : messageCases) {
        EXPECT_EQ(std::string(english), pick(MessageTableFor(0))) << role;
        EXPECT_EQ(Cp932(japanese), pick(MessageTableFor(1))) << role;
    }
    EXPECT_EQ(std::string("BookType Setting Utility"), DialogTitle);
}

TEST(MessageTableTest, MediumTextsInBothLanguages) {
    const char* const english[] = {
        "DVD+R DL Medium setting", "DVD+R Medium setting", "DVD+R DL", "DVD-ROM", "DVD+R", " -- "};
    const char* const japanese[] = {
        "DVD+R DL メディア設定", "DVD+R メディア設定", "DVD+R DL", "DVD-ROM", "DVD+R", " -- "};
    for (int i = 0; i < MediumTextCount; ++i) {
        EXPECT_EQ(std::string(english[i]), MediumTextTableFor(0)[i]) << "entry " << i;
        EXPECT_EQ(Cp932(japanese[i]), MediumTextTableFor(1)[i]) << "entry " << i;
    }
}

TEST(MessageTableTest, ErrorTextByFailureMask) {
    const std::tuple<DWORD, const char*, const char*> cases[] = {
        // mask, English, Japanese
        {0x001, "Failed to set default value of DVD+R.", "DVD+RのDefault変更に失敗しました。"},
        {0x010, "Failed to set default value of DVD+RW.", "DVD+RWのDefault変更に失敗しました。"},
        {0x011, "Failed to set default value of DVD+R & DVD+RW.",
         "DVD+RとDVD+RWのDefault変更に失敗しました。"},
        {0x100, "Failed to set default value of DVD+R DL.",
         "DVD+R DLのDefault変更に失敗しました。"},
        {0x101, "Failed to set default value of DVD+R & DVD+R DL.",
         "DVD+RとDVD+R DLのDefault変更に失敗しました。"},
        {0x110, "Failed to set default value of DVD+RW & DVD+R DL.",
         "DVD+RWとDVD+R DLのDefault変更に失敗しました。"},
        {0x111, "Failed to set.", "変更に失敗しました。"},
        {0x002, "Some failure occurred to set .", "変更に失敗した項目があります。"},
        {0x004, "Some failure occurred to set .", "変更に失敗した項目があります。"},
        {0x102, "Some failure occurred to set .", "変更に失敗した項目があります。"},
        {0x400, "Some failure occurred to set .", "変更に失敗した項目があります。"},
        {0x777, "Some failure occurred to set .", "変更に失敗した項目があります。"},
    };
    for (const auto& [mask, english, japanese] : cases) {
        MessageTable = MessageTableFor(0);
        EXPECT_EQ(std::string(english), ChangeFailureText(mask)) << std::hex << mask;
        MessageTable = MessageTableFor(1);
        EXPECT_EQ(Cp932(japanese), ChangeFailureText(mask)) << std::hex << mask;
    }
    MessageTable = MessageTableFor(0);
}

// Registered twice: under a Japanese and under an English locale.
TEST(MessageTableTest, LanguageFollowsTheSystemDefaultLanguage) {
    const char* set = std::getenv("LC_ALL");
    const std::string locale = set != nullptr ? set : "(unset)";
    const bool japanese = locale.compare(0, 5, "ja_JP") == 0;
    EXPECT_EQ(japanese ? 0x0411 : 0x0409, GetSystemDefaultLangID()) << "locale " << locale;
    EXPECT_EQ(japanese ? 1 : 0, ChooseLanguage()) << "locale " << locale;
    EXPECT_EQ(MessageTableFor(japanese ? 1 : 0), MessageTable);
    EXPECT_EQ(MediumTextTableFor(japanese ? 1 : 0), MediumTextTable);
}

} // namespace
