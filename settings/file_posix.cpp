#include "settings_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

const char settingsFileName[] = "tessorn.ini";
const char settingsTempFileName[] = "tessorn.ini.tmp";

bool ReadSettingsFile(unsigned char** content, size_t* length)
{
    *content = nullptr;
    *length = 0;
    int file = open(settingsFileName, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    struct stat status;
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode) ||
        (uint64_t)status.st_size > SIZE_MAX) {
        close(file);
        return false;
    }
    unsigned char* buffer = nullptr;
    size_t total = 0;
    if (status.st_size > 0) {
        buffer = (unsigned char*)malloc((size_t)status.st_size);
        if (!buffer) {
            close(file);
            return false;
        }
        while (total < (size_t)status.st_size) {
            ssize_t got = read(file, buffer + total, (size_t)status.st_size - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            total += (size_t)got;
        }
    }
    close(file);
    *content = buffer;
    *length = total;
    return true;
}

static bool WriteAll(int file, const unsigned char* bytes, size_t length)
{
    while (length > 0) {
        ssize_t done = write(file, bytes, length);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        length -= (size_t)done;
    }
    return true;
}

bool ReplaceSettingsFile(const unsigned char* bytes, size_t length)
{
    // No write permission for anyone marks the file as kept read-only;
    // root could replace it regardless.
    struct stat status;
    if (stat(settingsFileName, &status) == 0 &&
        (S_ISDIR(status.st_mode) || (status.st_mode & 0222) == 0))
        return false;

    unlink(settingsTempFileName);  // left over from a save that was interrupted
    int file = open(settingsTempFileName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0)
        return false;
    bool complete = WriteAll(file, bytes, length) && fsync(file) == 0;
    complete = close(file) == 0 && complete;
    complete = complete && rename(settingsTempFileName, settingsFileName) == 0;
    if (!complete)
        unlink(settingsTempFileName);
    return complete;
}
