#include "settings.h"

Settings settings;

static const Settings defaultSettings = {
    .palettedTexture = 1,
    .packedPixels = 1,
    .sharedTexturePalette = 1,
    .mem = 16,
    .fpsPosition = 0,
    .stats = 0,
    .windowed = 0,
    .softResChange = 1,
    .clockStyle = 0,
    .mouseClip = 0,
    .centered = 0,
    .framerate = 1,
    .fixedGamma = 0,
    .directx = 1,
};

void SetDefaults(Settings* record)
{
    *record = defaultSettings;
}

// The file's three digits allow 0 to 999; the renderer takes 2 to 108.
void ClampLoadedMem(Settings* record)
{
    if (record->mem > 108)
        record->mem = 108;
    if (record->mem < 2)
        record->mem = 2;
}
