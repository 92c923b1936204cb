// What the built programs carry for current Windows: the application manifest
// (resource 1 of type RT_MANIFEST) with its administrator request, DPI awareness,
// supported systems and common controls 6.0, and the version resource with the
// build's release version (ZAL_RELEASE_VERSION, from the project's version).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const kPrograms[] = {"discmode.exe", "drvflash.exe"};

// The bytes of resource 1 of type `type` in `path`, empty when it has none.
std::string ReadResourceOne(const char* path, LPCSTR type) {
    std::string bytes;
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL) {
        return bytes;
    }
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), type);
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : NULL;
    if (data != NULL) {
        bytes.assign(data, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

struct ManifestElement {
    const char* what;
    const char* text;
};

const ManifestElement kManifestElements[] = {
    {"administrator request", "<requestedExecutionLevel level=\"requireAdministrator\""},
    {"system DPI awareness", ">true</dpiAware>"},
    {"Windows Vista", "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>"},
    {"Windows 7", "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>"},
    {"Windows 8", "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>"},
    {"Windows 8.1", "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>"},
    {"Windows 10 and 11", "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"},
    {"common controls 6.0", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""},
    {"release version", "version=\"" ZAL_RELEASE_VERSION "\" processorArchitecture=\"x86\"/>"},
};

TEST(ProgramResources, ManifestAsksForWhatCurrentWindowsNeeds) {
    for (const char* program : kPrograms) {
        const std::string manifest = ReadResourceOne(program, MAKEINTRESOURCEA(24));
        ASSERT_FALSE(manifest.empty()) << program << ": no RT_MANIFEST resource 1";
        for (const ManifestElement& element : kManifestElements) {
            EXPECT_NE(manifest.find(element.text), std::string::npos)
                << program << ": manifest lacks the " << element.what << " (" << element.text
                << ")\n"
                << manifest;
        }
    }
}

TEST(ProgramResources, VersionResourceCarriesTheReleaseVersion) {
    for (const char* program : kPrograms) {
        DWORD unused = 0;
        const DWORD size = GetFileVersionInfoSizeA(program, &unused);
        ASSERT_NE(size, 0u) << program << ": no version resource";
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(program, 0, size, info.data())) << program;

        VS_FIXEDFILEINFO* fixed = NULL;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        char numbers[64];
        wsprintfA(numbers, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
        EXPECT_STREQ(numbers, ZAL_RELEASE_VERSION) << program << ": FILEVERSION";

        for (const char* key : {"FileVersion", "ProductVersion"}) {
            const std::string query = std::string("\\StringFileInfo\\040904E4\\") + key;
            char* text = NULL;
            ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text),
                                       &length))
                << program << ": no " << key;
            EXPECT_STREQ(text, ZAL_RELEASE_VERSION) << program << ": " << key;
        }
    }
}

} // namespace
