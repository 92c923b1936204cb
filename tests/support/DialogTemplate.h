// Reads an extended dialog template (DIALOGEX) out of a program's resources, as
// the template tests compare them with their tables.
#ifndef ZAL_TESTS_DIALOGTEMPLATE_H
#define ZAL_TESTS_DIALOGTEMPLATE_H

#include <windows.h>

#include <string>
#include <vector>

struct TemplateControl {
    DWORD style = 0;
    int id = 0;
    std::string kind; // class name, upper case
    std::wstring caption;
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
    DWORD style = 0;
    int cx = 0, cy = 0;
    std::wstring title;
    int pointSize = 0;
    std::wstring font;
    std::vector<TemplateControl> controls;
};

// The template `name` of `module` (NULL: this program); false when there is no
// such extended template.
bool ReadDialogTemplate(HMODULE module, const char* name, DialogTemplate* result);

// A UTF-8 text as UTF-16, to compare with a template's texts.
std::wstring WideFromUtf8(const char* utf8);

#endif
