#include "settings.h"
#include "control_table.h"
#include "ui.h"

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

// In creation order: the order of the calls is ours.
void ShowSettings()
{
    if (settings.mem < memListFirst)
        settings.mem = memListFirst;
    if (settings.mem > memListLast)
        settings.mem = memListLast;
    for (size_t i = 0; i < controlRowCount; ++i) {
        const ControlRow& row = controlRows[i];
        if (!row.field || !*row.entry)
            continue;
        int32_t value = settings.*row.field;
        if (row.field == &Settings::mem)
            value -= memListFirst;
        if (row.style == listStyle)
            SendMessageA(*row.entry, CB_SETCURSEL, (WPARAM)value, 0);
        else
            SendMessageA(*row.entry, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void ReadControlValues(unsigned char valueBytes[savedValueCount])
{
    for (const SettingsKey& key : settingsKeys) {
        if (key.savedLine < 2)
            continue;
        unsigned char digit = '0';
        for (size_t i = 0; i < controlRowCount; ++i) {
            const ControlRow& row = controlRows[i];
            if (row.field != key.field)
                continue;
            if (row.style == listStyle) {
                // A list without a selection is saved as 0, its first item.
                LRESULT selected = SendMessageA(*row.entry, CB_GETCURSEL, 0, 0);
                if (selected > 0 && selected <= 9)
                    digit = (unsigned char)('0' + selected);
            } else if (SendMessageA(*row.entry, BM_GETCHECK, 0, 0) == BST_CHECKED) {
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
