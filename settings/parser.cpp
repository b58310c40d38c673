#include "settings.h"

#include <string.h>
#include <string_view>

// In the order of the lines that the writer produces; the last two keys
// are older names of the first switch that are still read.
constexpr SettingsKey settingsKeys[] = {
    {"MEM:", &Settings::mem, 3, '9', 1},
    {"GL_EXT_paletted_texture:", &Settings::palettedTexture, 1, '9', 2},
    {"ZENTRIERT:", &Settings::centered, 1, '9', 3},
    {"MAUSGRENZEN:", &Settings::mouseClip, 1, '9', 4},
    {"GL_EXT_shared_texture_palette:", &Settings::sharedTexturePalette, 1, '9', 5},
    {"GL_EXT_packed_pixels:", &Settings::packedPixels, 1, '9', 6},
    {"WINDOWED:", &Settings::windowed, 1, '9', 7},
    {"DIRECTX:", &Settings::directx, 1, '9', 8},
    {"SOFTRESCHANGE:", &Settings::softResChange, 1, '9', 9},
    {"FESTESGAMMA:", &Settings::fixedGamma, 1, '9', 10},
    {"FPS:", &Settings::fpsPosition, 1, '4', 11},
    {"FRAMERATE:", &Settings::framerate, 1, '4', 12},
    {"UHRZEIT:", &Settings::clockStyle, 1, '9', 13},
    {"STATS:", &Settings::stats, 1, '9', 14},
    {"GL_EXT_palettized_textures:", &Settings::palettedTexture, 1, '9', 0},
    {"8BITTEXTURE:", &Settings::palettedTexture, 1, '9', 0},
};
const size_t settingsKeyCount = sizeof settingsKeys / sizeof settingsKeys[0];

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
        bytes -= std::string_view(key.text).size() + key.valueWidth + 2;
    }
    return taken == (2ull << lines) - 2 && bytes == 0;
}
static_assert(SavedLinesAre(savedValueCount + 1, settingsFileSize),
              "savedValueCount and settingsFileSize must match the saved lines 1 (MEM) to N");

int KeyMatches(const unsigned char* position, const unsigned char* end, const char* key)
{
    if (!position || !end || !key)
        return 0;
    for (; *key; ++key, ++position) {
        if (position >= end || *position != (unsigned char)*key)
            return 0;
    }
    return 1;
}

static bool IsLineEnd(unsigned char byte)
{
    return byte == '\r' || byte == '\n';
}

// Clamps each value byte into '0'..highestDigit and stores it back, so a CR
// or LF taken as a value no longer ends the line. A value cut off by the
// end of the content leaves the field as it was.
static void ReadValue(unsigned char* value, const unsigned char* end, const SettingsKey& key,
                      Settings* record)
{
    if (end - value < key.valueWidth)
        return;
    int32_t number = 0;
    for (unsigned char* digit = value; digit < value + key.valueWidth; ++digit) {
        if (*digit < '0')
            *digit = '0';
        if (*digit > key.highestDigit)
            *digit = key.highestDigit;
        number = number * 10 + (*digit - '0');
    }
    record->*key.field = number;
}

void ParseSettings(unsigned char* content, size_t length, Settings* record)
{
    const unsigned char* end = content + length;
    size_t i = 0;
    while (i < length) {
        unsigned char* line = content + i;
        for (size_t k = 0; k < settingsKeyCount; ++k) {
            const SettingsKey& key = settingsKeys[k];
            // The first byte rules out most keys cheaply; no key is a
            // prefix of another, so at most one matches.
            if ((unsigned char)key.text[0] == *line && KeyMatches(line, end, key.text)) {
                ReadValue(line + strlen(key.text), end, key, record);
                break;
            }
        }
        while (i < length && !IsLineEnd(content[i]))
            ++i;
        while (i < length && IsLineEnd(content[i]))
            ++i;
    }
}
