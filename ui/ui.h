// The configuration window: its process-wide handles, the sixteen controls
// and the operations that the entry, the loop and the window procedure share.
#ifndef TESSORN_UI_H
#define TESSORN_UI_H

#include <windows.h>
#include <stdint.h>

extern HWND mainWindow;
extern HFONT uiFont;
extern HBRUSH faceBrush;  // the button-face colour, made anew when the scheme changes
extern int32_t quitRequested;

// Every length of the window is given for 96 dpi and scaled to the display
// the window is on; windowDpi is that display's scale.
enum { baseDpi = 96, windowWidth = 365, windowHeight = 490 };
extern int windowDpi;
int Scale(int length);
// Declares the process DPI aware and returns the dpi to lay out for: the
// system's, or 96 where the system cannot scale for us (then the window
// keeps its pixel sizes).
int DeclareDpiAwareness();
// The dpi of the monitor the window is on; 0 where the system cannot tell.
int MonitorDpi(HWND window);
// Takes a new scale: font, window and controls anew. With a suggested
// rectangle the window takes it, else it keeps its place.
void ApplyDpi(int dpi, const RECT* suggested);
HFONT CreateUiFont();

// Texts are code page 1252 bytes; these show them through UTF-16.
int ToWide(const char* text, wchar_t* wide, int capacity);
HWND CreateTextWindow(DWORD extendedStyle, const char* className, const char* text, DWORD style,
                      int x, int y, int width, int height, HWND parent, HINSTANCE instance);
// A message box with the error caption; a reason, where there is one, goes
// below the text after an empty line.
void ShowMessage(HWND owner, const char* text, const wchar_t* reason, UINT flags);

// The controls that code outside the control table names; each is told
// apart by its handle alone, since every control has the identifier 0.
extern HWND fpsCombo, memCombo, saveButton, quitButton;

void CreateControls();
// Gives every control uiFont and its place at the current scale.
void PlaceControls();
void ShowSettings();
void CycleFocus();
// Notes the control that has the focus, to give it back on the next activation.
void RememberFocus();

// Alt+F4 ends the program without saving; Tab, with any modifier, moves
// the focus one step along the ring. Both look at the key's scan code.
bool IsQuitKey(UINT message, LPARAM lParam);
bool IsFocusKey(UINT message, LPARAM lParam);

// Caption of every error message box.
extern const char errorCaption[];

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
