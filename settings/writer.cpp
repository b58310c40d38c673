#include "settings.h"

unsigned char* WriteText(unsigned char* out, const char* text)
{
    if (!text)
        return out;
    while (*text)
        *out++ = (unsigned char)*text++;
    return out;
}

void FormatSettings(int32_t mem, const unsigned char valueBytes[savedValueCount],
                    unsigned char out[settingsFileSize])
{
    // Three digits cannot hold more; the line must keep its width.
    if (mem < 0)
        mem = 0;
    if (mem > 999)
        mem = 999;
    unsigned char* next = out;
    for (size_t k = 0; k < settingsKeyCount; ++k) {
        const SettingsKey& key = settingsKeys[k];
        if (key.savedLine == 0)
            continue;
        next = WriteText(next, key.text);
        if (key.field == &Settings::mem) {
            *next++ = (unsigned char)('0' + mem / 100);
            *next++ = (unsigned char)('0' + mem % 100 / 10);
            *next++ = (unsigned char)('0' + mem % 10);
        } else {
            *next++ = valueBytes[key.savedLine - 2];
        }
        next = WriteText(next, "\r\n");
    }
}
