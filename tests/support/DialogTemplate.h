// Reads an extended dialog template (DIALOGEX) out of a program's resources, and
// checks it against a test's table of its controls, one row a control.
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

// The style bits a control must show, and the mask they are read with.
struct Styled {
    DWORD bits;
    DWORD mask;
};

// One control as both templates of a program must hold it, in template order:
// identifier, class (upper case), style, caption (UTF-8) and place and size in
// dialog units, {x, y, cx, cy}, of the English and the Japanese template.
struct ControlRow {
    int id;
    const char* kind;
    Styled style;
    const char* english;
    const char* japanese;
    int en[4];
    int ja[4];
};

// One template of a program: its name, which language's columns of the control
// rows apply, size, title and font (UTF-8; null: not checked).
struct TemplateCase {
    const char* name;
    bool japanese;
    int cx, cy;
    const char* title;
    const char* font;
};

// Checks the template `c.name` of `module` (NULL: this program): the modal
// dialog's style bits, size, title, font of 9 points, and its controls against
// `rows`, each control also with the style bits `everyControl`. Each difference
// is a test failure naming the control.
void ExpectTemplate(HMODULE module, const TemplateCase& c, const std::vector<ControlRow>& rows,
                    DWORD everyControl);

#endif
