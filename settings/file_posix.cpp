#include "settings_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
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

void PauseBeforeRetry()
{
    struct timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
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

// A file that is a mount point (EBUSY) may be written but not replaced.
static StepOutcome StepFor(int error, bool inFolder)
{
    if (error == ENOSPC || error == EDQUOT)
        return {stepDiskFull, inFolder, (unsigned long)error};
    if (error == ETXTBSY)
        return {stepHeld, inFolder, (unsigned long)error};
    if (error == EACCES || error == EPERM || error == EROFS || error == EBUSY)
        return {stepRefused, inFolder, (unsigned long)error};
    return {stepFailed, inFolder, (unsigned long)error};
}

void FindSaveTarget(SaveTarget* target)
{
    // A link is followed, so that the file it points to gets the new bytes
    // and the link stays a link.
    char real[PATH_MAX];
    if (!realpath(settingsFileName, real) || strlen(real) >= savePathCapacity)
        strcpy(real, settingsFileName);
    strcpy(target->path, real);
    struct stat status;
    target->exists = stat(target->path, &status) == 0;
    target->isDirectory = target->exists && S_ISDIR(status.st_mode);
    // No write permission for anyone marks the file as kept read-only;
    // root could write it regardless.
    target->readOnly = target->exists && (status.st_mode & 0222) == 0;
    target->links = target->exists ? (unsigned long)status.st_nlink : 0;
    target->kept = target->exists ? (unsigned long)(status.st_mode & 07777) : 0;
}

StepOutcome ReplaceByRename(const SaveTarget& target, const unsigned char* bytes, size_t length)
{
    char tempPath[savePathCapacity + sizeof tempFileSuffix];
    snprintf(tempPath, sizeof tempPath, "%s%s", target.path, tempFileSuffix);
    // Left over from a save that was interrupted.
    if (unlink(tempPath) != 0 && errno != ENOENT)
        return StepFor(errno, true);
    int file = open(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0)
        return StepFor(errno, true);
    // The new file keeps who may read it.
    bool complete = !target.exists || fchmod(file, (mode_t)target.kept) == 0;
    complete = complete && WriteAll(file, bytes, length) && fsync(file) == 0;
    int error = complete ? 0 : errno;
    if (close(file) != 0 && complete) {
        error = errno;
        complete = false;
    }
    bool moveFailed = complete && rename(tempPath, target.path) != 0;
    if (moveFailed)
        error = errno;
    if (complete && !moveFailed)
        return {stepDone, false, 0};
    unlink(tempPath);
    return StepFor(error, !moveFailed);
}

StepOutcome WriteInPlace(const SaveTarget& target, const unsigned char* bytes, size_t length)
{
    int file = open(target.path, O_WRONLY | O_CLOEXEC);
    if (file < 0)
        return StepFor(errno, false);
    struct stat status;
    int error = fstat(file, &status) == 0 ? 0 : errno;
    // Room first, so that a full disk leaves the old bytes as they were.
    // Should the write then be refused, the file stays lengthened: the old
    // bytes, then zero bytes, which the reader takes as a line without a
    // key or the tail of the last line. The old settings still load; only
    // a value that the old end cut off now reads as 0.
    if (error == 0 && status.st_size < (off_t)length) {
        error = posix_fallocate(file, 0, (off_t)length);
        // Where the file system cannot reserve room, growing the file is all there is.
        if (error == EINVAL || error == EOPNOTSUPP || error == EBADF)
            error = ftruncate(file, (off_t)length) == 0 ? 0 : errno;
    }
    if (error == 0 &&
        !(WriteAll(file, bytes, length) && ftruncate(file, (off_t)length) == 0 && fsync(file) == 0))
        error = errno;
    if (close(file) != 0 && error == 0)
        error = errno;
    return error == 0 ? StepOutcome{stepDone, false, 0} : StepFor(error, false);
}
