// Any bytes at all: the reader stays inside them, every field lands in its
// range, and what the writer makes of the result reads back unchanged.
#include "settings.h"

#include <stdlib.h>
#include <string.h>

static void Require(bool condition, const char* what)
{
    if (!condition) {
        __builtin_printf("violated: %s\n", what);
        abort();
    }
}

// What the controls show for a loaded record, and so what a save writes.
static void ShownValueBytes(const Settings& record, unsigned char valueBytes[savedValueCount])
{
    for (size_t k = 0; k < settingsKeyCount; ++k) {
        const SettingsKey& key = settingsKeys[k];
        if (key.savedLine < 2)
            continue;
        int32_t value = record.*key.field;
        unsigned char byte;
        if (key.field == &Settings::fpsPosition)
            byte = value <= 4 ? '0' + value : '0';
        else if (key.field == &Settings::clockStyle)
            byte = value <= 3 ? '0' + value : '0';  // beyond the list: no selection
        else
            byte = value != 0 ? '1' : '0';
        valueBytes[key.savedLine - 2] = byte;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that reading one byte too far is caught.
    unsigned char* content = (unsigned char*)malloc(size ? size : 1);
    memcpy(content, data, size);
    Settings loaded;
    SetDefaults(&loaded);
    ParseSettings(content, size, &loaded);
    ClampLoadedMem(&loaded);
    free(content);

    for (size_t k = 0; k < settingsKeyCount; ++k) {
        int32_t value = loaded.*settingsKeys[k].field;
        if (settingsKeys[k].field == &Settings::mem)
            Require(value >= 2 && value <= 108, "mem within 2..108 after loading");
        else
            Require(value >= 0 && value <= settingsKeys[k].highestDigit - '0', "digit range");
    }

    Settings shown = loaded;
    if (shown.mem < memListFirst)
        shown.mem = memListFirst;
    unsigned char valueBytes[savedValueCount];
    ShownValueBytes(shown, valueBytes);
    unsigned char file[settingsFileSize];
    FormatSettings(shown.mem, valueBytes, file);

    unsigned char copy[settingsFileSize];
    memcpy(copy, file, sizeof file);
    Settings reloaded;
    memset(&reloaded, 0x7F, sizeof reloaded);
    ParseSettings(copy, sizeof copy, &reloaded);
    Require(memcmp(copy, file, sizeof file) == 0, "reading a written file changes none of it");
    Require(reloaded.mem == shown.mem, "mem survives a save");
    for (size_t k = 1; k < settingsKeyCount; ++k) {
        const SettingsKey& key = settingsKeys[k];
        if (key.savedLine == 0)
            continue;
        Require(reloaded.*key.field == valueBytes[key.savedLine - 2] - '0',
                "value survives a save");
    }
    return 0;
}
