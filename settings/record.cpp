#include "settings.h"

Settings settings;

void SetDefaults(Settings* record)
{
    for (const SettingsKey& key : settingsKeys) {
        if (key.savedLine != 0)
            record->*key.field = key.defaultValue;
    }
}

// The file's three digits allow 0 to 999; the renderer takes 2 to 108.
void ClampLoadedMem(Settings* record)
{
    if (record->mem > 108)
        record->mem = 108;
    if (record->mem < 2)
        record->mem = 2;
}
