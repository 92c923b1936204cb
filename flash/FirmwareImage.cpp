// Loading the appended firmware image. The file is read with four small
// positioned reads at most (the trailer at the plain and the extended place, the
// extension, the version field) and one read of the whole image straight into
// its buffer; every read must deliver all its bytes, and nothing is read past a
// buffer.
#include "FirmwareImage.h"

#include "Identification.h"
#include "MessageTable.h"
#include "TestImageMark.h"

#include <windows.h>

LoadedImage FirmwareImage;

enum {
    TrailerReadLength = 6, // the two checksum bytes and the tag
    VersionFieldBackOffset = PlainTrailerLength - ImageVersionOffset // 1,022,980
};

static int ReadAt(HANDLE file, DWORD position, void* buffer, DWORD length) {
    if (SetFilePointer(file, static_cast<LONG>(position), NULL, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER) {
        return 0;
    }
    DWORD got = 0;
    return ReadFile(file, buffer, length, &got, NULL) && got == length ? 1 : 0;
}

static int TagAt(const unsigned char* trailer) {
    return IsTrailerTag(trailer + 2);
}

// Reads and checks the open file; fills FirmwareImage's data, and its other
// fields through `found` for the caller to take on success.
static int ReadImage(HANDLE file, LoadedImage* found, unsigned char* extension, int* extended) {
    DWORD sizeHigh = 0;
    const DWORD size = GetFileSize(file, &sizeHigh);
    // A file of 4 GiB or more is no program file of this tool.
    if (size == INVALID_FILE_SIZE || sizeHigh != 0 || size < PlainTrailerLength) {
        return 0;
    }
    unsigned char trailer[TrailerReadLength];
    DWORD shift = 0;
    if (!ReadAt(file, size - TrailerReadLength, trailer, sizeof trailer)) {
        return 0;
    }
    if (!TagAt(trailer)) {
        // The extended trailer: the tag two bytes earlier, which a whole image
        // in front of it needs room for.
        shift = TrailerExtensionLength;
        if (size < ExtendedTrailerLength ||
            !ReadAt(file, size - TrailerReadLength - shift, trailer, sizeof trailer) ||
            !TagAt(trailer)) {
            return 0;
        }
        if (!ReadAt(file, size - TrailerExtensionLength, extension, TrailerExtensionLength)) {
            return 0;
        }
        *extended = 1;
    }
    unsigned char field[4];
    if (!ReadAt(file, size - VersionFieldBackOffset - shift, field, sizeof field) ||
        field[0] != static_cast<unsigned char>(ImageVersionMark)) {
        return 0;
    }
    FormVersionText(static_cast<char>(field[1]), static_cast<char>(field[2]),
                    static_cast<char>(field[3]), found->updateVersion);
    found->checksum[0] = trailer[0];
    found->checksum[1] = trailer[1];
    return ReadAt(file, size - PlainTrailerLength - shift, FirmwareImage.data, ImageSize);
}

static int AllocateImageBuffer() {
    if (FirmwareImage.data == NULL) {
        FirmwareImage.data = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, ImageSize));
    }
    return FirmwareImage.data != NULL ? 1 : 0;
}

static char* CopyToHeap(const char* text) {
    const int length = lstrlenA(text);
    char* copy =
        static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(length) + 1));
    if (copy != NULL) {
        lstrcpyA(copy, text);
    }
    return copy;
}

int ReadImageFile(const char* path) {
    if (!AllocateImageBuffer()) {
        return 0;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    LoadedImage found = FirmwareImage;
    unsigned char extension[TrailerExtensionLength] = {0, 0};
    int extended = 0;
    const int ok = ReadImage(file, &found, extension, &extended);
    CloseHandle(file);
    if (!ok) {
        return 0;
    }
    // Only a whole image changes what the tool knows: a file refused part-way
    // leaves the version, the checksum and the revision pattern as they were.
    char* pathCopy = CopyToHeap(path);
    if (pathCopy == NULL) {
        return 0;
    }
    lstrcpyA(FirmwareImage.updateVersion, found.updateVersion);
    FirmwareImage.checksum[0] = found.checksum[0];
    FirmwareImage.checksum[1] = found.checksum[1];
    FirmwareImage.path = pathCopy;
    FirmwareImage.testImage = CarriesTestImageMark(FirmwareImage.data);
    if (extended) {
        SetRevisionPatternTail(static_cast<char>(extension[0]), static_cast<char>(extension[1]));
    }
    return 1;
}

void ProgramPathFromCommandLine(const char* commandLine, char* path, unsigned size) {
    unsigned length = 0;
    const char* p = commandLine;
    const char end = *p == '"' ? '"' : ' ';
    if (*p == '"') {
        ++p;
    }
    while (*p != '\0' && *p != end && length + 1 < size) {
        path[length++] = *p++;
    }
    if (length > 0 && path[length - 1] == '"') {
        --length;
    }
    path[length] = '\0';
}

int LoadFirmwareImage() {
    char path[MAX_PATH];
    ProgramPathFromCommandLine(GetCommandLineA(), path, sizeof path);
    int loaded = 0;
    HANDLE probe = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        loaded = ReadImageFile(path);
    } else if (GetModuleFileNameA(NULL, path, sizeof path) != 0) {
        // The command line names the program in a way that does not open here
        // (a relative name from another folder, say): the module file is the
        // same program file.
        loaded = ReadImageFile(path);
    }
    if (!loaded) {
        MessageBoxA(NULL, MessageTable->badImage, DialogTitle,
                    MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
    }
    return loaded;
}
