// The sixteen controls as data: class, caption, styles, place and list
// items of each, in creation order, and the focus ring. Window code walks
// them; they hold no behaviour of their own.
#ifndef TESSORN_CONTROL_TABLE_H
#define TESSORN_CONTROL_TABLE_H

#include <windows.h>
#include <stddef.h>

struct ControlRow {
    HWND* entry;  // where the created control's handle is kept
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
