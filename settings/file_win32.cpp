#include "settings_file.h"

#include <windows.h>
#include <stdint.h>
#include <stdlib.h>
#include <wchar.h>

const char settingsFileName[] = "tessorn.ini";

enum { retryPauseMs = 50 };

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

void PauseBeforeRetry()
{
    Sleep(retryPauseMs);
}

ReadOutcome ReadSettingsFile(unsigned char** content, size_t* length)
{
    *content = nullptr;
    *length = 0;
    ReadOutcome outcome = TryReadSettingsFile(content, length);
    for (int attempt = 1; attempt < heldAttempts && outcome == settingsFileUnreadable; ++attempt) {
        PauseBeforeRetry();
        outcome = TryReadSettingsFile(content, length);
    }
    return outcome;
}

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, LPWSTR, DWORD, DWORD);

static const wchar_t settingsFileNameW[] = L"tessorn.ini";
static const wchar_t tempFileSuffix[] = L".tmp";

// Where the open file's real path differs from the plain one in more than
// letter case (a link on the way, a mapped drive, or only a short name for
// the same folder), the real path replaces the plain one in path: the
// "\\?\" form, which the wide calls take with any letter and length. Before
// Vista no link is followed.
static void FollowLink(HANDLE file, wchar_t* path)
{
    FinalPathFunction finalPath = (FinalPathFunction)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
    wchar_t real[savePathCapacity];
    wchar_t plain[savePathCapacity];
    DWORD realLength = finalPath ? finalPath(file, real, savePathCapacity,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                                 : 0;
    DWORD plainLength = GetFullPathNameW(path, savePathCapacity, plain, nullptr);
    if (realLength == 0 || realLength >= savePathCapacity || plainLength == 0 ||
        plainLength >= savePathCapacity)
        return;
    // The real path starts with "\\?\", or "\\?\UNC\" where the plain one has "\\".
    const wchar_t* realTail = real;
    const wchar_t* plainTail = plain;
    if (wcsncmp(real, L"\\\\?\\UNC\\", 8) == 0) {
        realTail += 8;
        plainTail += 2;
    } else if (wcsncmp(real, L"\\\\?\\", 4) == 0) {
        realTail += 4;
    }
    if (lstrcmpiW(realTail, plainTail) != 0)
        lstrcpyW(path, real);
}

typedef BOOL(WINAPI* FileInfoFunction)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// The attributes of the open file and how many names it has. Since Vista
// they can be asked for alone; the older call also asks for the volume,
// which under Wine costs a save a quarter of its time.
static bool ReadFileFacts(HANDLE file, DWORD* attributes, DWORD* links)
{
    FileInfoFunction byClass = (FileInfoFunction)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx");
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    BY_HANDLE_FILE_INFORMATION information;
    if (byClass) {
        if (!byClass(file, FileBasicInfo, &basic, sizeof basic) ||
            !byClass(file, FileStandardInfo, &standard, sizeof standard))
            return false;
        *attributes = basic.FileAttributes;
        *links = standard.NumberOfLinks;
        return true;
    }
    if (!GetFileInformationByHandle(file, &information))
        return false;
    *attributes = information.dwFileAttributes;
    *links = information.nNumberOfLinks;
    return true;
}

void FindSaveTarget(SaveTarget* target)
{
    lstrcpyW(target->path, settingsFileNameW);
    // No access asked: this open disturbs no one who holds the file.
    HANDLE file = CreateFileW(settingsFileNameW, 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD attributes, links = 1;
    bool opened = file != INVALID_HANDLE_VALUE && ReadFileFacts(file, &attributes, &links);
    if (opened)
        FollowLink(file, target->path);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    // Not there, or not to be looked at: its attributes tell what they can.
    if (!opened)
        attributes = GetFileAttributesW(settingsFileNameW);
    target->exists = attributes != INVALID_FILE_ATTRIBUTES;
    target->isDirectory = target->exists && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    // Some replace calls (and Wine running as root) would overwrite a
    // read-only file, the user's way to keep it, anyway.
    target->readOnly = target->exists && (attributes & FILE_ATTRIBUTE_READONLY);
    target->links = links;
    // Attributes the user may have given the file, carried over to a new one.
    target->kept = target->exists && (attributes & keptAttributes) ? attributes & keptAttributes
                                                                   : FILE_ATTRIBUTE_NORMAL;
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

// Wine refuses a move over a file that anyone holds as access denied, so a
// refused move says only that the file cannot be replaced: writing it in
// place then tells a holder from a lack of permission.
static StepOutcome StepFor(DWORD error, bool inFolder)
{
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        return {stepDiskFull, inFolder, error};
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return {stepHeld, inFolder, error};
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)
        return {stepRefused, inFolder, error};
    return {stepFailed, inFolder, error};
}

// 0 once the bytes are written, else the error.
static DWORD WriteWhole(HANDLE file, const unsigned char* bytes, size_t length)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes, (DWORD)length, &written, nullptr))
        return GetLastError();
    // A disk file is written short only when the disk is full.
    return written == length ? 0 : ERROR_DISK_FULL;
}

StepOutcome ReplaceByRename(const SaveTarget& target, const unsigned char* bytes, size_t length)
{
    wchar_t tempPath[savePathCapacity + sizeof tempFileSuffix / sizeof tempFileSuffix[0]];
    lstrcpyW(tempPath, target.path);
    lstrcatW(tempPath, tempFileSuffix);
    DWORD error = 0;
    // A temporary file left over from a save that was interrupted.
    if (!RemoveFile(tempPath, &error))
        return StepFor(error, true);
    HANDLE file = CreateFileW(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, target.kept,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return StepFor(GetLastError(), true);
    error = WriteWhole(file, bytes, length);
    if (error == 0 && !FlushFileBuffers(file))
        error = GetLastError();
    if (!CloseHandle(file) && error == 0)
        error = GetLastError();
    bool moveFailed = error == 0 &&
                      !MoveFileExW(tempPath, target.path,
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (moveFailed)
        error = GetLastError();
    if (error == 0)
        return {stepDone, false, 0};
    DWORD ignored;
    RemoveFile(tempPath, &ignored);
    return StepFor(error, !moveFailed);
}

StepOutcome WriteInPlace(const SaveTarget& target, const unsigned char* bytes, size_t length)
{
    // For us alone, so that no reader sees half of it.
    HANDLE file = CreateFileW(target.path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return StepFor(GetLastError(), false);
    LARGE_INTEGER size, end, start;
    end.QuadPart = (LONGLONG)length;
    start.QuadPart = 0;
    DWORD error = GetFileSizeEx(file, &size) ? 0 : GetLastError();
    // Room first, so that a full disk leaves the old bytes as they were.
    // Should the write then be refused, the file stays lengthened: the old
    // bytes, then zero bytes, which the reader takes as a line without a
    // key or the tail of the last line. The old settings still load; only
    // a value that the old end cut off now reads as 0.
    if (error == 0 && size.QuadPart < end.QuadPart &&
        !(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)))
        error = GetLastError();
    if (error == 0 && !SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        error = GetLastError();
    if (error == 0)
        error = WriteWhole(file, bytes, length);
    // The write ended where the file is to end: whatever follows goes.
    if (error == 0 && !(SetEndOfFile(file) && FlushFileBuffers(file)))
        error = GetLastError();
    if (!CloseHandle(file) && error == 0)
        error = GetLastError();
    return error == 0 ? StepOutcome{stepDone, false, 0} : StepFor(error, false);
}
