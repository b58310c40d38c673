// The renderer's settings: the record, its defaults and limits, and the
// settings file "tessorn.ini" with its reader and writer.
//
// The parse and the formatting work on bytes in memory only; the file
// layer (settings_file.h) and the window layer (the state of the controls
// at save time) are joined to them by LoadSettings and SaveSettings.
#ifndef TESSORN_SETTINGS_H
#define TESSORN_SETTINGS_H

#include <stddef.h>
#include <stdint.h>

// A switch is off at 0 and on for any other value.
struct Settings {
    int32_t palettedTexture;
    int32_t packedPixels;
    int32_t sharedTexturePalette;
    int32_t mem;          // texture memory in MB
    int32_t fpsPosition;  // corner of the info display, 0 = none
    int32_t stats;
    int32_t windowed;
    int32_t softResChange;
    int32_t clockStyle;  // 0 = no clock
    int32_t mouseClip;
    int32_t centered;
    int32_t framerate;
    int32_t fixedGamma;
    int32_t directx;
};

// The one record of the running program.
extern Settings settings;

// The two counts are checked against settingsKeys below.
enum {
    settingsFileSize = 216,  // what the writer always produces
    savedValueCount = 13,    // value bytes of lines 2 to 14 (line 1 is MEM)
    memListFirst = 8,        // the texture memory list offers 8 to 108
    memListLast = 108,
};

// One key of the file: the field it feeds, how many value bytes follow
// it, the highest digit it accepts, the line it is written on (0 for the
// keys that are only read) and, on that line, the field's default.
struct SettingsKey {
    const char* text;
    int32_t Settings::*field;
    unsigned char valueWidth;
    unsigned char highestDigit;
    unsigned char savedLine;
    int32_t defaultValue = 0;  // none for an older name
};

// One row per setting, in the order of the lines that the writer produces;
// the last two keys are older names of the first switch that are still read.
inline constexpr SettingsKey settingsKeys[] = {
    {"MEM:", &Settings::mem, 3, '9', 1, 16},
    {"GL_EXT_paletted_texture:", &Settings::palettedTexture, 1, '9', 2, 1},
    {"ZENTRIERT:", &Settings::centered, 1, '9', 3, 0},
    {"MAUSGRENZEN:", &Settings::mouseClip, 1, '9', 4, 0},
    {"GL_EXT_shared_texture_palette:", &Settings::sharedTexturePalette, 1, '9', 5, 1},
    {"GL_EXT_packed_pixels:", &Settings::packedPixels, 1, '9', 6, 1},
    {"WINDOWED:", &Settings::windowed, 1, '9', 7, 0},
    {"DIRECTX:", &Settings::directx, 1, '9', 8, 1},
    {"SOFTRESCHANGE:", &Settings::softResChange, 1, '9', 9, 1},
    {"FESTESGAMMA:", &Settings::fixedGamma, 1, '9', 10, 0},
    {"FPS:", &Settings::fpsPosition, 1, '4', 11, 0},
    {"FRAMERATE:", &Settings::framerate, 1, '4', 12, 1},
    {"UHRZEIT:", &Settings::clockStyle, 1, '9', 13, 0},
    {"STATS:", &Settings::stats, 1, '9', 14, 0},
    {"GL_EXT_palettized_textures:", &Settings::palettedTexture, 1, '9', 0},
    {"8BITTEXTURE:", &Settings::palettedTexture, 1, '9', 0},
};
constexpr size_t settingsKeyCount = sizeof settingsKeys / sizeof settingsKeys[0];

// The writer's fixed sizes must follow from the saved lines: MEM on line 1,
// then every line up to the last once, each its key, value bytes and CR LF.
constexpr bool SavedLinesAre(size_t lines, size_t bytes)
{
    unsigned long long taken = 0;  // bit n for line n
    for (const SettingsKey& key : settingsKeys) {
        if (key.savedLine == 0)
            continue;
        if ((taken >> key.savedLine & 1) || (key.savedLine == 1) != (key.field == &Settings::mem))
            return false;
        taken |= 1ull << key.savedLine;
        for (const char* letter = key.text; *letter; ++letter)
            --bytes;
        bytes -= key.valueWidth + 2;
    }
    return taken == (2ull << lines) - 2 && bytes == 0;
}
static_assert(SavedLinesAre(savedValueCount + 1, settingsFileSize),
              "savedValueCount and settingsFileSize must match the saved lines 1 (MEM) to N");

// Each field is saved on one line, which gives it its default.
constexpr bool EachFieldSavedOnce()
{
    size_t lines = 0, sameFields = 0;  // the latter counts each line with itself
    for (const SettingsKey& key : settingsKeys) {
        lines += key.savedLine != 0;
        for (const SettingsKey& other : settingsKeys)
            sameFields += key.savedLine != 0 && other.savedLine != 0 && other.field == key.field;
    }
    return sameFields == lines && lines == sizeof(Settings) / sizeof(int32_t);
}
static_assert(EachFieldSavedOnce(), "every field of Settings must be on one saved line");

void SetDefaults(Settings* record);

// 1 when the bytes at position begin with the key, reading nothing at or
// beyond end; 0 otherwise, and for a null position or key.
int KeyMatches(const unsigned char* position, const unsigned char* end, const char* key);

// Reads every recognised line of content into record. Clamped value bytes
// are stored back into content, as the renderer's own reader expects the
// line structure that results.
void ParseSettings(unsigned char* content, size_t length, Settings* record);

// The texture memory clamp that follows loading an existing file.
void ClampLoadedMem(Settings* record);

// Appends text (without terminator) at out and returns the end; writes
// nothing for a null or empty text.
unsigned char* WriteText(unsigned char* out, const char* text);

// The whole file: MEM from mem, then lines 2 to 14 with the given value
// bytes in line order. Always settingsFileSize bytes.
void FormatSettings(int32_t mem, const unsigned char valueBytes[savedValueCount],
                    unsigned char out[settingsFileSize]);

// Defaults, then "tessorn.ini" from the working directory if it can be read.
// False when a file is there that could not be read: the record then holds
// the defaults, and a save would replace settings the user has.
bool LoadSettings();

// What kept a save from putting the new file in place. The window tells the
// user in words of its own; here it is only which obstacle it was.
enum SaveObstacle {
    saveSucceeded,
    fileReadOnly,       // the user protected the file
    folderNotWritable,  // no new file may be made beside it, nor the file written
    fileInUse,          // another program held it for longer than the retries wait
    diskFull,
    folderAtFileName,   // a directory stands where the file should be
    fileNotChangeable,  // neither replaced nor written: the file's own permissions
    otherObstacle,      // only the system's error code tells
};

struct SaveOutcome {
    SaveObstacle obstacle;
    unsigned long systemError;  // the platform's error code, 0 where there is none
};

// Writes "tessorn.ini" from the controls (and mem from the record); a
// failed save leaves the old file as it was (PutSettingsFile tells how).
SaveOutcome SaveSettings();

// The value bytes of lines 2 to 14 as the controls show them now; provided
// by the window layer.
void ReadControlValues(unsigned char valueBytes[savedValueCount]);

#endif
