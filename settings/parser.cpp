#include "settings.h"

#include <string.h>

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
