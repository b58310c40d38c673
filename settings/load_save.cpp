#include "settings.h"
#include "settings_file.h"

#include <stdlib.h>

bool LoadSettings()
{
    SetDefaults(&settings);
    unsigned char* content = nullptr;
    size_t length = 0;
    ReadOutcome outcome = ReadSettingsFile(&content, &length);
    if (outcome != settingsFileRead)
        return outcome == settingsFileAbsent;
    ParseSettings(content, length, &settings);
    free(content);
    ClampLoadedMem(&settings);
    return true;
}

SaveOutcome SaveSettings()
{
    unsigned char valueBytes[savedValueCount];
    ReadControlValues(valueBytes);
    unsigned char file[settingsFileSize];
    FormatSettings(settings.mem, valueBytes, file);
    return ReplaceSettingsFile(file, sizeof file);
}
