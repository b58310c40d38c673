#include "settings_file.h"

#include <windows.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

const char settingsFileName[] = "tessorn.ini";
const char tempFileSuffix[] = ".tmp";

enum {
    readAttempts = 20,  // most programs that hold the file let go within a second
    readRetryPauseMs = 50,
};

// Attributes the user may have given the file, carried over to the new one.
// Read-only is not among them: it refuses the save instead.
static const DWORD keptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

static ReadOutcome TryReadSettingsFile(unsigned char** content, size_t* length)
{
    // Others may read while we do; a writer is kept out, so we never see
    // half a file.
    HANDLE file = CreateFileA(settingsFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return settingsFileAbsent;
        DWORD attributes = GetFileAttributesA(settingsFileName);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return settingsFileAbsent;
        return settingsFileUnreadable;
    }
    ReadOutcome outcome = settingsFileRead;
    LARGE_INTEGER size;
    unsigned char* buffer = nullptr;
    size_t total = 0;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || (uint64_t)size.QuadPart > SIZE_MAX)
        outcome = settingsFileUnreadable;
    else if (size.QuadPart > 0 && !(buffer = (unsigned char*)malloc((size_t)size.QuadPart)))
        outcome = settingsFileUnreadable;
    // ReadFile takes a 32-bit count; a file that shrank since it was
    // sized ends the loop early and only what arrived is parsed.
    while (outcome == settingsFileRead && buffer && total < (size_t)size.QuadPart) {
        size_t left = (size_t)size.QuadPart - total;
        DWORD chunk = left > 0x40000000u ? 0x40000000u : (DWORD)left;
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, chunk, &got, nullptr))
            outcome = settingsFileUnreadable;
        else if (got == 0)
            break;
        total += got;
    }
    CloseHandle(file);
    if (outcome != settingsFileRead) {
        free(buffer);
        return outcome;
    }
    *content = buffer;
    *length = total;
    return settingsFileRead;
}

ReadOutcome ReadSettingsFile(unsigned char** content, size_t* length)
{
    *content = nullptr;
    *length = 0;
    ReadOutcome outcome = TryReadSettingsFile(content, length);
    for (int attempt = 1; attempt < readAttempts && outcome == settingsFileUnreadable; ++attempt) {
        Sleep(readRetryPauseMs);
        outcome = TryReadSettingsFile(content, length);
    }
    return outcome;
}

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPSTR, DWORD, DWORD);

// The path of the file that "tessorn.ini" really is: a link is followed,
// so that the save reaches the file it points to and the link stays.
// False where there is no such file or the system cannot tell (before
// Vista); the save then goes to "tessorn.ini" itself.
static bool FinalSettingsPath(char* path, DWORD size)
{
    FinalPathFunction finalPath = (FinalPathFunction)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA");
    if (!finalPath)
        return false;
    // No access asked: this open disturbs no one who holds the file.
    HANDLE file = CreateFileA(settingsFileName, 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char found[MAX_PATH + 8];
    DWORD length = finalPath(file, found, sizeof found, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= sizeof found)
        return false;
    // "\\?\C:\dir\file" or "\\?\UNC\server\share\file": the ANSI file calls
    // take the plain forms.
    const char* plain = found;
    char unc[MAX_PATH + 8];
    if (strncmp(found, "\\\\?\\UNC\\", 8) == 0) {
        unc[0] = '\\';
        strcpy(unc + 1, found + 7);
        plain = unc;
    } else if (strncmp(found, "\\\\?\\", 4) == 0) {
        plain = found + 4;
    }
    if (strlen(plain) + 1 > size)
        return false;
    strcpy(path, plain);
    return true;
}

static void RemoveFile(const char* path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

bool ReplaceSettingsFile(const unsigned char* bytes, size_t length)
{
    char target[MAX_PATH];
    if (!FinalSettingsPath(target, sizeof target))
        strcpy(target, settingsFileName);
    char tempPath[MAX_PATH + sizeof tempFileSuffix];
    strcpy(tempPath, target);
    strcat(tempPath, tempFileSuffix);

    // A read-only file is the user's way to keep it; some replace calls
    // (and Wine running as root) would overwrite it anyway.
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    DWORD newAttributes = FILE_ATTRIBUTE_NORMAL;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & keptAttributes))
        newAttributes = attributes & keptAttributes;

    RemoveFile(tempPath);  // left over from a save that was interrupted
    HANDLE file = CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, newAttributes,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool complete = WriteFile(file, bytes, (DWORD)length, &written, nullptr) && written == length &&
                    FlushFileBuffers(file);
    complete = CloseHandle(file) && complete;
    complete = complete &&
               MoveFileExA(tempPath, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!complete)
        RemoveFile(tempPath);
    return complete;
}
