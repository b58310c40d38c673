// The sixteen controls as data: class, caption, styles, place and list
// items of each, in creation order. Window code walks it; it holds no
// behaviour of its own.
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

#endif
