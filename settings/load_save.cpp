#include "settings.h"
#include "settings_file.h"

#include <stdlib.h>

void LoadSettings()
{
    SetDefaults(&settings);
    unsigned char* content = nullptr;
    size_t length = 0;
    if (!ReadSettingsFile(&content, &length))
        return;
    ParseSettings(content, length, &settings);
    free(content);
    ClampLoadedMem(&settings);
}

bool SaveSettings()
{
    unsigned char valueBytes[savedValueCount];
    ReadControlValues(valueBytes);
    unsigned char file[settingsFileSize];
    FormatSettings(settings.mem, valueBytes, file);
    return ReplaceSettingsFile(file, sizeof file);
}
