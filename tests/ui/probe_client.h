// Asks the program's own UI thread what another process cannot see (the
// font a control holds), sends it a message whose lParam points into its
// memory (WM_DPICHANGED) or changes its system colours, through
// tessorn-ui-probe.dll (probe.cpp). The DLL
// lies beside the driver's exe and is of its architecture, which must be
// the program's. Failures are recorded as test failures.
#ifndef TESSORN_UI_PROBE_CLIENT_H
#define TESSORN_UI_PROBE_CLIENT_H

#include <windows.h>

#include <string>
#include <vector>

#include "program.h"

struct FontReport {
    long height = 0;  // the LOGFONT of the control's font
    long width = 0;
    long weight = 0;
    int charSet = 0;
    std::string faceName;  // UTF-8
    // The face the font really draws with on this machine (GetTextFace).
    std::string realisedFace;
};

// One report per control, in the order of program.controls.
bool ReadControlFonts(const Program& program, std::vector<FontReport>& fonts);

// Sends WM_DPICHANGED with the new dpi and the suggested rectangle to the
// main window from its own thread; returns once the window has handled it.
bool SendDpiChanged(const Program& program, int dpi, const RECT& suggested);

// Gives the main window itself the keyboard focus, as the system does when
// the window is activated again after another had been.
bool FocusMainWindow(const Program& program);

// Returns once the program has handled the keys sent (or the messages
// posted) before the call, so that what they did can be looked at.
bool AwaitInputHandled(const Program& program);

// Changes the button face and text colours as the program's own process
// sees them, as a change of the colour scheme does (WM_SYSCOLORCHANGE).
bool SetButtonColours(const Program& program, COLORREF face, COLORREF text);

#endif
