#include "settings_file.h"

#include <windows.h>
#include <stdint.h>
#include <stdlib.h>
#include <wchar.h>

const char settingsFileName[] = "tessorn.ini";

enum {
    heldAttempts = 20,  // most programs that hold the file let go within a second
    retryPauseMs = 50,
    pathCapacity = 1024,  // wide characters: far more than MAX_PATH
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
    for (int attempt = 1; attempt < heldAttempts && outcome == settingsFileUnreadable; ++attempt) {
        Sleep(retryPauseMs);
        outcome = TryReadSettingsFile(content, length);
    }
    return outcome;
}

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPWSTR, DWORD, DWORD);

static const wchar_t settingsFileNameW[] = L"tessorn.ini";
static const wchar_t tempFileSuffix[] = L".tmp";

// The full path of what `name` really is, every link followed, in the
// "\\?\" form, which the wide file calls take with any letter and length.
static bool RealPath(FinalPathFunction finalPath, const wchar_t* name, wchar_t* path,
                     DWORD capacity)
{
    // No access asked: this open disturbs no one who holds the file.
    HANDLE file = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD length = finalPath(file, path, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    return length > 0 && length < capacity;
}

// Where a save puts the new file: "tessorn.ini" itself, or, where that is a
// link, the file it points to, so that the link stays. The path is taken in
// UTF-16, since the ANSI code page may not hold every letter of a folder's
// name. Before Vista no link can be followed.
static void FindSaveTarget(wchar_t* target, DWORD capacity)
{
    lstrcpyW(target, settingsFileNameW);
    FinalPathFunction finalPath = (FinalPathFunction)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
    wchar_t real[pathCapacity];
    wchar_t plain[pathCapacity];
    DWORD plainLength = GetFullPathNameW(settingsFileNameW, pathCapacity, plain, nullptr);
    if (!finalPath || !RealPath(finalPath, settingsFileNameW, real, pathCapacity) ||
        plainLength == 0 || plainLength >= pathCapacity)
        return;
    // The file that the plain name reaches directly is no link. The real
    // path starts with "\\?\" (or "\\?\UNC\" where the plain one has "\\").
    // Where the two differ only in how they name the same folder (a short
    // name, say), the real path is as good.
    const wchar_t* realTail = real;
    const wchar_t* plainTail = plain;
    if (wcsncmp(real, L"\\\\?\\UNC\\", 8) == 0) {
        realTail += 8;
        plainTail += 2;
    } else if (wcsncmp(real, L"\\\\?\\", 4) == 0) {
        realTail += 4;
    }
    if (lstrcmpiW(realTail, plainTail) != 0 && (DWORD)lstrlenW(real) < capacity)
        lstrcpyW(target, real);
}

// Virus scanners, sync clients, backup agents and the renderer itself hold
// the file for moments: such an answer is worth waiting out.
static bool IsHeld(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

// Pauses and returns true while the error may pass and the save has not
// used up the attempts a load has.
static bool WaitedForRelease(DWORD error, int* attempts)
{
    if (!IsHeld(error) || ++*attempts >= heldAttempts)
        return false;
    Sleep(retryPauseMs);
    return true;
}

// True when the file is gone or never was.
static bool RemoveFile(const wchar_t* path, DWORD* error)
{
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path))
        return true;
    *error = GetLastError();
    return *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND;
}

// A refusal in the folder (making or removing the temporary file) means the
// folder may not be written; at the file itself, that a program holds it.
static SaveOutcome FailureFor(DWORD error, bool inFolder)
{
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        return {diskFull, error};
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return {fileInUse, error};
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)
        return {inFolder ? folderNotWritable : fileInUse, error};
    return {otherObstacle, error};
}

// 0 once the bytes are on the disk, else the error.
static DWORD WriteWhole(HANDLE file, const unsigned char* bytes, size_t length)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes, (DWORD)length, &written, nullptr))
        return GetLastError();
    // A disk file is written short only when the disk is full.
    if (written != length)
        return ERROR_DISK_FULL;
    return FlushFileBuffers(file) ? 0 : GetLastError();
}

SaveOutcome ReplaceSettingsFile(const unsigned char* bytes, size_t length)
{
    wchar_t target[pathCapacity];
    FindSaveTarget(target, pathCapacity);
    wchar_t tempPath[pathCapacity + sizeof tempFileSuffix / sizeof tempFileSuffix[0]];
    lstrcpyW(tempPath, target);
    lstrcatW(tempPath, tempFileSuffix);

    // A read-only file is the user's way to keep it; some replace calls
    // (and Wine running as root) would overwrite it anyway.
    DWORD attributes = GetFileAttributesW(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {folderAtFileName, 0};
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return {fileReadOnly, 0};
    DWORD newAttributes = FILE_ATTRIBUTE_NORMAL;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & keptAttributes))
        newAttributes = attributes & keptAttributes;

    // The whole save waits at most as long as a load, whichever steps meet a holder.
    int attempts = 0;
    DWORD error = 0;
    // A temporary file left over from a save that was interrupted.
    while (!RemoveFile(tempPath, &error)) {
        if (!WaitedForRelease(error, &attempts))
            return FailureFor(error, true);
    }
    HANDLE file;
    while ((file = CreateFileW(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, newAttributes,
                               nullptr)) == INVALID_HANDLE_VALUE) {
        if (!WaitedForRelease(error = GetLastError(), &attempts))
            return FailureFor(error, true);
    }
    error = WriteWhole(file, bytes, length);
    if (!CloseHandle(file) && error == 0)
        error = GetLastError();
    while (error == 0 &&
           !MoveFileExW(tempPath, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        if (WaitedForRelease(error, &attempts))
            error = 0;
    }
    if (error == 0)
        return {saveSucceeded, 0};
    DWORD ignored;
    RemoveFile(tempPath, &ignored);
    return FailureFor(error, false);
}
