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

// Reads the whole file into a buffer from malloc that the caller frees
// (null when the file is empty); *length is what was read. A file that
// another program holds is tried again for about a second.
ReadOutcome ReadSettingsFile(unsigned char** content, size_t* length);

// Puts bytes in place as the new file: written to a temporary file beside
// it (its name with ".tmp" appended), flushed, then moved over it. Where
// "tessorn.ini" is a link, the file it points to is replaced and the link
// stays. The file keeps its attributes. A file that another program holds
// is waited for as long as a load waits. On failure the old file is
// unchanged and no temporary file is left.
SaveOutcome ReplaceSettingsFile(const unsigned char* bytes, size_t length);

#endif
