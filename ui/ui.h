// The configuration window: its process-wide handles, the sixteen controls
// and the operations that the entry, the loop and the window procedure share.
#ifndef TESSORN_UI_H
#define TESSORN_UI_H

#include <windows.h>
#include <stdint.h>

extern HWND mainWindow;
extern HFONT uiFont;
extern HBRUSH faceBrush;   // the button-face colour as read at start
extern int32_t quitRequested;

// The control table: one handle per control, told apart by handle alone
// since every control has the identifier 0.
extern HWND palettedTextureCheck, sharedPaletteCheck, packedPixelsCheck, windowedCheck,
    centeredCheck, directxCheck, fixedGammaCheck, softResChangeCheck, mouseClipCheck, fpsCombo,
    framerateCheck, clockCombo, statsCheck, memCombo, saveButton, quitButton;

void CreateControls();
void ShowSettings();
void CycleFocus();

// Alt+F4 ends the program without saving; Tab, with any modifier, moves
// the focus one step along the ring. Both look at the key's scan code.
bool IsQuitKey(UINT message, LPARAM lParam);
bool IsFocusKey(UINT message, LPARAM lParam);

// Caption of every error message box.
extern const char errorCaption[];

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
