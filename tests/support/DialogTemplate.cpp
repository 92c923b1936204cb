// Reads extended dialog templates (see DialogTemplate.h).
#include "DialogTemplate.h"

#include <gtest/gtest.h>

namespace {

// Reads a name-or-ordinal field; ordinals of the predefined classes are given
// their names.
const WORD* ReadNameOrOrdinal(const WORD* p, std::wstring* text) {
    text->clear();
    if (*p == 0xFFFF) {
        const WORD ordinal = p[1];
        const wchar_t* names[] = {L"BUTTON",  L"EDIT",      L"STATIC",
                                  L"LISTBOX", L"SCROLLBAR", L"COMBOBOX"};
        if (ordinal >= 0x80 && ordinal <= 0x85) {
            *text = names[ordinal - 0x80];
        }
        return p + 2;
    }
    while (*p != 0) {
        text->push_back(static_cast<wchar_t>(*p++));
    }
    return p + 1;
}

const WORD* AlignToDword(const WORD* p) {
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

std::string Upper(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) {
        result.push_back(static_cast<char>(c >= L'a' && c <= L'z' ? c - 32 : c));
    }
    return result;
}

DWORD Dword(const WORD* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 16;
}

} // namespace

bool ReadDialogTemplate(HMODULE module, const char* name, DialogTemplate* result) {
    HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (resource == NULL) {
        return false;
    }
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(module, resource)));
    if (p == NULL || p[0] != 1 || p[1] != 0xFFFF) {
        return false; // not an extended template
    }
    result->style = Dword(p + 6);
    const int count = p[8];
    result->cx = static_cast<short>(p[11]);
    result->cy = static_cast<short>(p[12]);
    p += 13;
    std::wstring menu, windowClass;
    p = ReadNameOrOrdinal(p, &menu);
    p = ReadNameOrOrdinal(p, &windowClass);
    p = ReadNameOrOrdinal(p, &result->title);
    result->pointSize = p[0];
    p += 3; // point size, weight, italic and character set
    p = ReadNameOrOrdinal(p, &result->font);
    for (int i = 0; i < count; ++i) {
        p = AlignToDword(p);
        TemplateControl control;
        control.style = Dword(p + 4);
        control.x = static_cast<short>(p[6]);
        control.y = static_cast<short>(p[7]);
        control.cx = static_cast<short>(p[8]);
        control.cy = static_cast<short>(p[9]);
        control.id = static_cast<int>(Dword(p + 10));
        p += 12;
        std::wstring kind;
        p = ReadNameOrOrdinal(p, &kind);
        control.kind = Upper(kind);
        p = ReadNameOrOrdinal(p, &control.caption);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        result->controls.push_back(control);
    }
    return true;
}

std::wstring WideFromUtf8(const char* utf8) {
    wchar_t text[256];
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text, 256);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length - 1)) : L"?";
}

void ExpectTemplate(HMODULE module, const TemplateCase& c, const std::vector<ControlRow>& rows,
                    DWORD everyControl) {
    SCOPED_TRACE(c.name);
    DialogTemplate t;
    ASSERT_TRUE(ReadDialogTemplate(module, c.name, &t)) << "no extended dialog template";
    const DWORD dialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER |
                              DS_SETFOREGROUND | DS_SETFONT;
    EXPECT_EQ(dialogStyle, t.style & dialogStyle);
    EXPECT_EQ(c.cx, t.cx);
    EXPECT_EQ(c.cy, t.cy);
    EXPECT_EQ(WideFromUtf8(c.title), t.title) << "template title";
    if (c.font != nullptr) {
        EXPECT_EQ(WideFromUtf8(c.font), t.font) << "font";
    }
    EXPECT_EQ(9, t.pointSize);
    ASSERT_EQ(rows.size(), t.controls.size());
    for (size_t i = 0; i < t.controls.size(); ++i) {
        const TemplateControl& seen = t.controls[i];
        const ControlRow& e = rows[i];
        const int* at = c.japanese ? e.ja : e.en;
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(e.id));
        EXPECT_EQ(e.id, seen.id);
        EXPECT_EQ(e.kind, seen.kind);
        EXPECT_EQ(e.style.bits, seen.style & e.style.mask) << std::hex << seen.style;
        EXPECT_EQ(everyControl, seen.style & everyControl) << std::hex << seen.style;
        EXPECT_EQ(WideFromUtf8(c.japanese ? e.japanese : e.english), seen.caption) << "caption";
        EXPECT_EQ((std::vector<int>{at[0], at[1], at[2], at[3]}),
                  (std::vector<int>{seen.x, seen.y, seen.cx, seen.cy}))
            << "x, y, cx, cy";
    }
}
