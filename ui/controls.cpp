#include "settings.h"
#include "control_table.h"
#include "ui.h"

// Which setting each check box and list shows; the order does not matter.
struct ShownField {
    HWND* entry;
    int32_t Settings::*field;
    bool isList;  // the value is the item index; otherwise a switch
};

static const ShownField shownFields[] = {
    {&palettedTextureCheck, &Settings::palettedTexture, false},
    {&sharedPaletteCheck, &Settings::sharedTexturePalette, false},
    {&fixedGammaCheck, &Settings::fixedGamma, false},
    {&directxCheck, &Settings::directx, false},
    {&packedPixelsCheck, &Settings::packedPixels, false},
    {&statsCheck, &Settings::stats, false},
    {&windowedCheck, &Settings::windowed, false},
    {&softResChangeCheck, &Settings::softResChange, false},
    {&mouseClipCheck, &Settings::mouseClip, false},
    {&framerateCheck, &Settings::framerate, false},
    {&centeredCheck, &Settings::centered, false},
    {&clockCombo, &Settings::clockStyle, true},
    {&fpsCombo, &Settings::fpsPosition, true},
};

// The texture memory items are "  8" to "108": right-aligned in three
// characters. The list copies each text, so one buffer serves them all.
static char memItemText[4] = "   ";

static void AddMemItems()
{
    for (int value = memListFirst; value <= memListLast; ++value) {
        memItemText[2] = (char)('0' + value % 10);
        memItemText[1] = value <= 9 ? ' ' : (char)('0' + value / 10 % 10);
        memItemText[0] = value <= 99 ? ' ' : (char)('0' + value / 100 % 10);
        SendMessageA(memCombo, CB_ADDSTRING, 0, (LPARAM)memItemText);
    }
}

// The font first: a list's field takes its height from the font, and its
// dropped-down part from what remains of the height given. Under some code
// pages the system font a list starts with makes a taller field.
static void PlaceControl(const ControlRow& row)
{
    SendMessageA(*row.entry, WM_SETFONT, (WPARAM)uiFont, 1);
    SetWindowPos(*row.entry, nullptr, Scale(row.x), Scale(row.y), Scale(row.width),
                 Scale(row.height), SWP_NOZORDER | SWP_NOACTIVATE);
}

void CreateControls()
{
    for (size_t i = 0; i < controlRowCount; ++i) {
        const ControlRow& row = controlRows[i];
        if (*row.entry)
            DestroyWindow(*row.entry);
        *row.entry = CreateTextWindow(row.extendedStyle, row.className, row.caption, row.style,
                                      Scale(row.x), Scale(row.y), Scale(row.width),
                                      Scale(row.height), mainWindow, nullptr);
        PlaceControl(row);
        for (const char* const* item = row.items; item && *item; ++item)
            SendMessageA(*row.entry, CB_ADDSTRING, 0, (LPARAM)*item);
        if (row.entry == &memCombo)
            AddMemItems();
    }
}

void PlaceControls()
{
    for (size_t i = 0; i < controlRowCount; ++i) {
        if (*controlRows[i].entry)
            PlaceControl(controlRows[i]);
    }
}

void ShowSettings()
{
    for (const ShownField& shown : shownFields) {
        if (!*shown.entry)
            continue;
        int32_t value = settings.*shown.field;
        if (shown.isList)
            SendMessageA(*shown.entry, CB_SETCURSEL, (WPARAM)value, 0);
        else
            SendMessageA(*shown.entry, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (settings.mem < memListFirst)
        settings.mem = memListFirst;
    if (settings.mem > memListLast)
        settings.mem = memListLast;
    if (memCombo)
        SendMessageA(memCombo, CB_SETCURSEL, (WPARAM)(settings.mem - memListFirst), 0);
}

void ReadControlValues(unsigned char valueBytes[savedValueCount])
{
    for (size_t k = 0; k < settingsKeyCount; ++k) {
        const SettingsKey& key = settingsKeys[k];
        if (key.savedLine < 2)
            continue;
        unsigned char digit = '0';
        for (const ShownField& shown : shownFields) {
            if (shown.field != key.field)
                continue;
            if (shown.isList) {
                // A list without a selection is saved as 0, its first item.
                LRESULT selected = SendMessageA(*shown.entry, CB_GETCURSEL, 0, 0);
                if (selected > 0 && selected <= 9)
                    digit = (unsigned char)('0' + selected);
            } else if (SendMessageA(*shown.entry, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                digit = '1';
            }
        }
        valueBytes[key.savedLine - 2] = digit;
    }
}

void CycleFocus()
{
    HWND focus = GetFocus();
    if (!focus)
        return;
    if (focus == mainWindow) {
        SetFocus(fpsCombo);
        return;
    }
    for (size_t i = 0; i < focusRingSize; ++i) {
        if (focus == *focusRing[i]) {
            SetFocus(*focusRing[(i + 1) % focusRingSize]);
            return;
        }
    }
}
