// The platform's file operations on "tessorn.ini" in the working directory.
#ifndef TESSORN_SETTINGS_FILE_H
#define TESSORN_SETTINGS_FILE_H

#include <stddef.h>

#include "settings.h"

extern const char settingsFileName[];

enum ReadOutcome {
    settingsFileRead,
    settingsFileAbsent,      // nothing to lose: no file, or not a file at all
    settingsFileUnreadable,  // a file is there, but it could not be read
};

// Most programs that hold the file (virus scanners, sync clients, the
// renderer itself) let go within a second: a load or save that finds it
// held tries this often, pausing between attempts.
enum { heldAttempts = 20 };
void PauseBeforeRetry();

// Reads the whole file into a buffer from malloc that the caller frees
// (null when the file is empty); *length is what was read. A file that
// another program holds is tried again for about a second.
ReadOutcome ReadSettingsFile(unsigned char** content, size_t* length);

// Puts bytes in place as the new file, so that other programs see either
// the old file or the new one. Normally they go to a temporary file beside
// it (its name with ".tmp" appended), flushed, then moved over it; where
// "tessorn.ini" is a link, "it" is the file the link points to, so the link
// stays and the temporary file takes that file's name with ".tmp".
// A file with several names, or one that may be written but not replaced
// (the folder or the move refused), is written where it is, so that it
// stays the file the user set up. A file that another program holds is
// waited for as long as a load waits. On failure no temporary file is left
// and the old file is unchanged, but for a write in place that failed after
// lengthening it (see WriteInPlace).
SaveOutcome PutSettingsFile(const unsigned char* bytes, size_t length);

// The rest is what each platform provides for PutSettingsFile.

#ifdef _WIN32
typedef wchar_t PathChar;  // the wide calls take a folder's name in any letters
#else
typedef char PathChar;
#endif
enum { savePathCapacity = 1024 };

// The file a save writes, as found before the first step.
struct SaveTarget {
    PathChar path[savePathCapacity];  // "tessorn.ini", or the file it links to
    bool exists;
    bool isDirectory;
    bool readOnly;        // the user keeps it as it is
    unsigned long links;  // how many names the file has
    unsigned long kept;   // what a new file takes over: attributes, or permission bits
};

enum StepEnd {
    stepDone,
    stepHeld,     // another program holds the file: may pass
    stepRefused,  // no permission, or a write-protected disk
    stepDiskFull,
    stepFailed,  // anything else; the error tells
};

struct StepOutcome {
    StepEnd end;
    bool inFolder;  // refused in the folder (a new file), not at the file itself
    unsigned long error;
};

void FindSaveTarget(SaveTarget* target);
// A temporary file beside the target, written whole, moved over it.
StepOutcome ReplaceByRename(const SaveTarget& target, const unsigned char* bytes, size_t length);
// The target itself, opened for us alone: room made first where it is
// shorter, then the bytes from its start, the rest cut off, flushed.
StepOutcome WriteInPlace(const SaveTarget& target, const unsigned char* bytes, size_t length);

#endif
