#include "settings.h"
#include "ui.h"

#include <string.h>

struct Label {
    int x, y;
    const char* text;
};

// Each stands to the right of its list.
static const Label labels[] = {
    {120, 5, "Infos anzeigen:"},
    {140, 55, "Uhr"},
    {120, 115, "MB Textur-Speicher"},
};

// The whole client area is repainted every time, whatever the update
// region: face colour, a frame dark at top and left and white at right
// and bottom, and the labels.
static void PaintWindow()
{
    HPEN framePen = CreatePen(PS_SOLID, 1, RGB(64, 64, 64));
    HPEN lightPen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    RECT client;
    GetClientRect(mainWindow, &client);
    HDC dc = GetDC(mainWindow);
    HGDIOBJ originalBrush = SelectObject(dc, faceBrush);
    HGDIOBJ originalPen = SelectObject(dc, framePen);
    HGDIOBJ originalFont = SelectObject(dc, uiFont);

    Rectangle(dc, client.left, client.top, client.right, client.bottom);
    SelectObject(dc, lightPen);
    MoveToEx(dc, client.right - 1, client.top, nullptr);
    LineTo(dc, client.right - 1, client.bottom - 1);
    LineTo(dc, client.left, client.bottom - 1);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    for (const Label& label : labels)
        TextOutA(dc, label.x, label.y, label.text, (int)strlen(label.text));

    // Pens still selected into a DC would not be freed by DeleteObject.
    SelectObject(dc, originalFont);
    SelectObject(dc, originalPen);
    SelectObject(dc, originalBrush);
    ReleaseDC(mainWindow, dc);
    DeleteObject(framePen);
    DeleteObject(lightPen);
}

static void OnCommand(WPARAM wParam, LPARAM lParam)
{
    HWND sender = (HWND)lParam;
    unsigned notification = HIWORD(wParam);
    if (notification == BN_CLICKED) {
        if (sender == quitButton)
            PostQuitMessage(0);
        if (sender == saveButton && !SaveSettings())
            MessageBoxA(mainWindow, "Die Einstellungen konnten nicht gespeichert werden.",
                        errorCaption, MB_OK | MB_ICONERROR);
    }
    // The texture memory list is the one control whose choice goes to the
    // record at once; the others are read when saving.
    if (notification == CBN_SELCHANGE && sender == memCombo)
        settings.mem = (int32_t)SendMessageA(memCombo, CB_GETCURSEL, 0, 0) + memListFirst;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintWindow();
        break;
    case WM_SYSKEYDOWN:
        if (IsQuitKey(message, lParam))
            PostQuitMessage(0);
        break;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        break;
    case WM_CTLCOLORBTN:
        return (LRESULT)faceBrush;
    case WM_DESTROY:
        // Closed from outside (or at shutdown): end as after "Beenden".
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
