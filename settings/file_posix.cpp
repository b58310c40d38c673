#include "settings_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

const char settingsFileName[] = "tessorn.ini";
static const char tempFileSuffix[] = ".tmp";

ReadOutcome ReadSettingsFile(unsigned char** content, size_t* length)
{
    *content = nullptr;
    *length = 0;
    // Without O_NONBLOCK the open of a named pipe waits for a writer forever;
    // the type is checked once it is open.
    int file = open(settingsFileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return errno == ENOENT || errno == ENOTDIR ? settingsFileAbsent : settingsFileUnreadable;
    struct stat status;
    if (fstat(file, &status) != 0) {
        close(file);
        return settingsFileUnreadable;
    }
    if (!S_ISREG(status.st_mode)) {
        close(file);
        return settingsFileAbsent;
    }
    if ((uint64_t)status.st_size > SIZE_MAX) {
        close(file);
        return settingsFileUnreadable;
    }
    unsigned char* buffer = nullptr;
    size_t total = 0;
    if (status.st_size > 0) {
        buffer = (unsigned char*)malloc((size_t)status.st_size);
        if (!buffer) {
            close(file);
            return settingsFileUnreadable;
        }
        while (total < (size_t)status.st_size) {
            ssize_t got = read(file, buffer + total, (size_t)status.st_size - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                free(buffer);
                close(file);
                return settingsFileUnreadable;
            }
            if (got == 0)
                break;
            total += (size_t)got;
        }
    }
    close(file);
    *content = buffer;
    *length = total;
    return settingsFileRead;
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

// A refusal in the folder (making the temporary file) means the folder may
// not be written; at the file itself, that something holds it.
static SaveOutcome FailureFor(int error, bool inFolder)
{
    if (error == ENOSPC || error == EDQUOT)
        return {diskFull, (unsigned long)error};
    if (error == EBUSY || error == ETXTBSY)
        return {fileInUse, (unsigned long)error};
    if (inFolder && (error == EACCES || error == EPERM || error == EROFS))
        return {folderNotWritable, (unsigned long)error};
    return {otherObstacle, (unsigned long)error};
}

SaveOutcome ReplaceSettingsFile(const unsigned char* bytes, size_t length)
{
    // A link is followed, so that the file it points to gets the new bytes
    // and the link stays a link.
    char target[PATH_MAX];
    if (!realpath(settingsFileName, target))
        strcpy(target, settingsFileName);
    char tempPath[PATH_MAX + sizeof tempFileSuffix];
    snprintf(tempPath, sizeof tempPath, "%s%s", target, tempFileSuffix);

    // No write permission for anyone marks the file as kept read-only;
    // root could replace it regardless.
    struct stat status;
    bool exists = stat(target, &status) == 0;
    if (exists && S_ISDIR(status.st_mode))
        return {folderAtFileName, 0};
    if (exists && (status.st_mode & 0222) == 0)
        return {fileReadOnly, 0};

    unlink(tempPath);  // left over from a save that was interrupted
    int file = open(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0)
        return FailureFor(errno, true);
    // The new file keeps who may read it.
    bool complete = !exists || fchmod(file, status.st_mode & 07777) == 0;
    complete = complete && WriteAll(file, bytes, length) && fsync(file) == 0;
    int error = complete ? 0 : errno;
    if (close(file) != 0 && complete) {
        error = errno;
        complete = false;
    }
    if (complete && rename(tempPath, target) != 0) {
        error = errno;
        complete = false;
    }
    if (complete)
        return {saveSucceeded, 0};
    unlink(tempPath);
    return FailureFor(error, false);
}
