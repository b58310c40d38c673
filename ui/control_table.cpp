#include "control_table.h"

#include <algorithm>

HWND palettedTextureCheck, sharedPaletteCheck, packedPixelsCheck, windowedCheck, centeredCheck,
    directxCheck, fixedGammaCheck, softResChangeCheck, mouseClipCheck, fpsCombo, framerateCheck,
    clockCombo, statsCheck, memCombo, saveButton, quitButton;

// The one WS_TABSTOP, on "Speichern", is deliberate: the style words stay as
// they have always been, and Tab follows the focus ring, not tab stops.
enum : DWORD {
    checkBoxStyle = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX,
    listStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST,
    saveButtonStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_CENTER | BS_PUSHBUTTON,
    quitButtonStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_CENTER | BS_PUSHBUTTON,
};

// clang-format off
static const char* const fpsItems[] = {"keine", "links oben", "rechts oben", "links unten",
                                       "rechts unten", nullptr};
static const char* const clockItems[] = {"keine", "digitale", "kl. analoge", "gr. analoge", nullptr};

// In creation order, which is also the order of the child windows.
constexpr ControlRow controlRows[] = {
    {&palettedTextureCheck, "BUTTON", "GL_EXT_paletted_texture", 0, checkBoxStyle, 100, 145, 235, 20, nullptr},
    {&sharedPaletteCheck, "BUTTON", "GL_EXT_shared_texture_palette", 0, checkBoxStyle, 100, 175, 235, 20, nullptr},
    {&packedPixelsCheck, "BUTTON", "GL_EXT_packed_pixels", 0, checkBoxStyle, 100, 205, 235, 20, nullptr},
    {&windowedCheck, "BUTTON", "Fenstermodus", 0, checkBoxStyle, 100, 235, 115, 20, nullptr},
    {&centeredCheck, "BUTTON", "Zentriert", 0, checkBoxStyle, 100, 265, 115, 20, nullptr},
    {&directxCheck, "BUTTON", "DirectX zum Einrichten", 0, checkBoxStyle, 100, 295, 205, 20, nullptr},
    {&fixedGammaCheck, "BUTTON", "feste Gamma-Tabelle", 0, checkBoxStyle, 100, 325, 155, 20, nullptr},
    {&softResChangeCheck, "BUTTON", "weicher Aufl\xF6sungswechsel", 0, checkBoxStyle, 100, 355, 220, 20, nullptr},
    {&mouseClipCheck, "BUTTON", "Maus begrenzen", 0, checkBoxStyle, 100, 385, 150, 20, nullptr},
    {&fpsCombo, "COMBOBOX", nullptr, WS_EX_CLIENTEDGE, listStyle, 5, 2, 110, 200, fpsItems},
    {&framerateCheck, "BUTTON", "Framerate", 0, checkBoxStyle, 120, 30, 150, 20, nullptr},
    {&clockCombo, "COMBOBOX", nullptr, WS_EX_CLIENTEDGE, listStyle, 25, 52, 110, 200, clockItems},
    {&statsCheck, "BUTTON", "Texturmasse", 0, checkBoxStyle, 120, 80, 150, 20, nullptr},
    {&memCombo, "COMBOBOX", nullptr, WS_EX_CLIENTEDGE, listStyle, 65, 112, 50, 200, nullptr},
    {&saveButton, "BUTTON", "Speichern", 0, saveButtonStyle, 20, 420, 150, 20, nullptr},
    {&quitButton, "BUTTON", "Beenden", 0, quitButtonStyle, 190, 420, 150, 20, nullptr},
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
