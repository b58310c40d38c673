#include "control_table.h"

#include <algorithm>

// Handles that only the table names; the others are in ui.h.
static HWND palettedTextureCheck, sharedPaletteCheck, packedPixelsCheck, windowedCheck,
    centeredCheck, directxCheck, fixedGammaCheck, softResChangeCheck, mouseClipCheck,
    framerateCheck, clockCombo, statsCheck;
HWND fpsCombo, memCombo, saveButton, quitButton;

// clang-format off
static const char* const fpsItems[] = {"keine", "links oben", "rechts oben", "links unten",
                                       "rechts unten", nullptr};
static const char* const clockItems[] = {"keine", "digitale", "kl. analoge", "gr. analoge", nullptr};

// In creation order, which is also the order of the child windows.
constexpr ControlRow controlRows[] = {
    {&palettedTextureCheck, &Settings::palettedTexture, "BUTTON", "GL_EXT_paletted_texture", 0, checkBoxStyle, 100, 145, 235, 20, nullptr},
    {&sharedPaletteCheck, &Settings::sharedTexturePalette, "BUTTON", "GL_EXT_shared_texture_palette", 0, checkBoxStyle, 100, 175, 235, 20, nullptr},
    {&packedPixelsCheck, &Settings::packedPixels, "BUTTON", "GL_EXT_packed_pixels", 0, checkBoxStyle, 100, 205, 235, 20, nullptr},
    {&windowedCheck, &Settings::windowed, "BUTTON", "Fenstermodus", 0, checkBoxStyle, 100, 235, 115, 20, nullptr},
    {&centeredCheck, &Settings::centered, "BUTTON", "Zentriert", 0, checkBoxStyle, 100, 265, 115, 20, nullptr},
    {&directxCheck, &Settings::directx, "BUTTON", "DirectX zum Einrichten", 0, checkBoxStyle, 100, 295, 205, 20, nullptr},
    {&fixedGammaCheck, &Settings::fixedGamma, "BUTTON", "feste Gamma-Tabelle", 0, checkBoxStyle, 100, 325, 155, 20, nullptr},
    {&softResChangeCheck, &Settings::softResChange, "BUTTON", "weicher Aufl\xF6sungswechsel", 0, checkBoxStyle, 100, 355, 220, 20, nullptr},
    {&mouseClipCheck, &Settings::mouseClip, "BUTTON", "Maus begrenzen", 0, checkBoxStyle, 100, 385, 150, 20, nullptr},
    {&fpsCombo, &Settings::fpsPosition, "COMBOBOX", nullptr, WS_EX_CLIENTEDGE, listStyle, 5, 2, 110, 200, fpsItems},
    {&framerateCheck, &Settings::framerate, "BUTTON", "Framerate", 0, checkBoxStyle, 120, 30, 150, 20, nullptr},
    {&clockCombo, &Settings::clockStyle, "COMBOBOX", nullptr, WS_EX_CLIENTEDGE, listStyle, 25, 52, 110, 200, clockItems},
    {&statsCheck, &Settings::stats, "BUTTON", "Texturmasse", 0, checkBoxStyle, 120, 80, 150, 20, nullptr},
    {&memCombo, &Settings::mem, "COMBOBOX", nullptr, WS_EX_CLIENTEDGE, listStyle, 65, 112, 50, 200, nullptr},
    {&saveButton, nullptr, "BUTTON", "Speichern", 0, saveButtonStyle, 20, 420, 150, 20, nullptr},
    {&quitButton, nullptr, "BUTTON", "Beenden", 0, quitButtonStyle, 190, 420, 150, 20, nullptr},
};
// clang-format on
const size_t controlRowCount = sizeof controlRows / sizeof controlRows[0];

// One direction only, top to bottom, back to the first list.
// clang-format off
constexpr HWND* focusRing[] = {
    &fpsCombo, &framerateCheck, &clockCombo, &statsCheck, &memCombo, &palettedTextureCheck,
    &sharedPaletteCheck, &packedPixelsCheck, &windowedCheck, &centeredCheck, &directxCheck,
    &fixedGammaCheck, &softResChangeCheck, &mouseClipCheck, &saveButton, &quitButton,
};
// clang-format on
const size_t focusRingSize = sizeof focusRing / sizeof focusRing[0];

// Every control here can take the focus, so Tab must reach each, once.
constexpr bool RingHoldsEachControlOnce()
{
    for (const ControlRow& row : controlRows) {
        if (std::count(focusRing, focusRing + focusRingSize, row.entry) != 1)
            return false;
    }
    return focusRingSize == controlRowCount;
}
static_assert(RingHoldsEachControlOnce(), "the focus ring must hold every control once");

// A save writes each saved setting as one control shows it (MEM as the
// record holds it: its list's choice goes to the record at once).
constexpr bool EachSettingShownOnce()
{
    for (const SettingsKey& key : settingsKeys) {
        size_t shown = 0;
        for (const ControlRow& row : controlRows)
            shown += row.field == key.field;
        if (key.savedLine != 0 && shown != 1)
            return false;
    }
    return true;
}
static_assert(EachSettingShownOnce(), "every saved setting must be shown by exactly one control");

constexpr bool EachValueControlNamesASavedField()
{
    for (const ControlRow& row : controlRows) {
        bool saved = false;
        for (const SettingsKey& key : settingsKeys)
            saved |= key.savedLine != 0 && key.field == row.field;
        if (saved != (row.style == checkBoxStyle || row.style == listStyle))
            return false;
    }
    return true;
}
static_assert(EachValueControlNamesASavedField(),
              "each check box and list must show a saved field, and no button any");
