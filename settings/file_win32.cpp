#include "settings_file.h"

#include <windows.h>
#include <stdint.h>
#include <stdlib.h>

const char settingsFileName[] = "tessorn.ini";
const char settingsTempFileName[] = "tessorn.ini.tmp";

// Share mode 0: while we read, nobody writes half a file under us.
bool ReadSettingsFile(unsigned char** content, size_t* length)
{
    *content = nullptr;
    *length = 0;
    HANDLE file = CreateFileA(settingsFileName, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || (uint64_t)size.QuadPart > SIZE_MAX) {
        CloseHandle(file);
        return false;
    }
    unsigned char* buffer = nullptr;
    size_t total = 0;
    if (size.QuadPart > 0) {
        buffer = (unsigned char*)malloc((size_t)size.QuadPart);
        if (!buffer) {
            CloseHandle(file);
            return false;
        }
        // ReadFile takes a 32-bit count; a file that shrank since it was
        // sized ends the loop early and only what arrived is parsed.
        while (total < (size_t)size.QuadPart) {
            size_t left = (size_t)size.QuadPart - total;
            DWORD chunk = left > 0x40000000u ? 0x40000000u : (DWORD)left;
            DWORD got = 0;
            if (!ReadFile(file, buffer + total, chunk, &got, nullptr) || got == 0)
                break;
            total += got;
        }
    }
    CloseHandle(file);
    *content = buffer;
    *length = total;
    return true;
}

static void RemoveTempFile()
{
    SetFileAttributesA(settingsTempFileName, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(settingsTempFileName);
}

bool ReplaceSettingsFile(const unsigned char* bytes, size_t length)
{
    // A read-only file is the user's way to keep it; some replace calls
    // (and Wine running as root) would overwrite it anyway.
    DWORD attributes = GetFileAttributesA(settingsFileName);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;

    RemoveTempFile();  // left over from a save that was interrupted
    HANDLE file = CreateFileA(settingsTempFileName, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool complete = WriteFile(file, bytes, (DWORD)length, &written, nullptr) && written == length &&
                    FlushFileBuffers(file);
    complete = CloseHandle(file) && complete;
    complete = complete && MoveFileExA(settingsTempFileName, settingsFileName,
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!complete)
        RemoveTempFile();
    return complete;
}
