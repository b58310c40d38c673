// The platform's file operations on "tessorn.ini" in the working directory.
#ifndef TESSORN_SETTINGS_FILE_H
#define TESSORN_SETTINGS_FILE_H

#include <stddef.h>

extern const char settingsFileName[];
extern const char settingsTempFileName[];

// Reads the whole file into a buffer from malloc that the caller frees
// (null when the file is empty). False when the file cannot be opened,
// or its content cannot be held in memory. *length is what was read.
bool ReadSettingsFile(unsigned char** content, size_t* length);

// Puts bytes in place as the new file: written to a temporary file beside
// it, flushed, then moved over it. On failure the old file is unchanged
// and no temporary file is left.
bool ReplaceSettingsFile(const unsigned char* bytes, size_t length);

#endif
