// The yardsticks of the start-up benchmark: a plain window of the program's
// size and style, shown the way the program shows its own, and (built with
// REFERENCE_WITH_CONTROLS) the same window with the program's sixteen child
// controls. Nothing else: no font, no list items, no settings, so that what
// the program takes beyond these is what its own work costs.
#include <windows.h>

#ifdef REFERENCE_WITH_CONTROLS
#include "control_table.h"

// The program's own control table, so the two cannot drift apart; only the
// windows are made, without font or list items.
static void CreateControls(HWND parent)
{
    for (size_t i = 0; i < controlRowCount; ++i) {
        const ControlRow& row = controlRows[i];
        CreateWindowExA(row.extendedStyle, row.className, row.caption, row.style, row.x, row.y,
                        row.width, row.height, parent, nullptr, nullptr, nullptr);
    }
}

#endif

static const char className[] = "ReferenceWindow";

// Closing the window (WM_CLOSE destroys it) ends the program.
static LRESULT CALLBACK ReferenceWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ReferenceWndProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);

    // Created hidden, filled, then shown, as the program does.
    HWND window = CreateWindowExA(0, className, "Referenz", WS_CLIPCHILDREN | WS_BORDER,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 365, 490, nullptr, nullptr,
                                  instance, nullptr);
    if (!window)
        return 1;
#ifdef REFERENCE_WITH_CONTROLS
    CreateControls(window);
#endif
    ShowWindow(window, showCommand);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
