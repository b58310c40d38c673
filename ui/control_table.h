// The sixteen controls as data: the setting each shows, class, caption,
// styles, place and list items, in creation order, and the focus ring.
// Window code walks them; they hold no behaviour of their own.
#ifndef TESSORN_CONTROL_TABLE_H
#define TESSORN_CONTROL_TABLE_H

#include <windows.h>
#include <stddef.h>

#include "settings.h"

// The one WS_TABSTOP, on "Speichern", is deliberate: the style words stay as
// they have always been, and Tab follows the focus ring, not tab stops.
enum : DWORD {
    checkBoxStyle = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX,
    listStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST,
    saveButtonStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_CENTER | BS_PUSHBUTTON,
    quitButtonStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_CENTER | BS_PUSHBUTTON,
};

struct ControlRow {
    HWND* entry;  // where the created control's handle is kept
    // The setting a check box or list shows: a switch, or a list's item
    // (MEM's list shows the megabytes less memListFirst). Buttons show none.
    int32_t Settings::*field;
    const char* className;
    const char* caption;
    DWORD extendedStyle;
    DWORD style;
    int x, y, width, height;  // a list's height includes its dropped-down part
    const char* const* items;
};

extern const ControlRow controlRows[];
extern const size_t controlRowCount;

// The order in which Tab moves the focus, the last control back to the first.
extern HWND* const focusRing[];
extern const size_t focusRingSize;

#endif
