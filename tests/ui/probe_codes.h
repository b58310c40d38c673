// What the driver and tessorn-ui-probe.dll agree on.
#ifndef TESSORN_UI_PROBE_CODES_H
#define TESSORN_UI_PROBE_CODES_H

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

static const char probeMessageName[] = "tessorn-ui-probe";

enum {
    probeFonts = 1,        // a line per control: see FontReport
    probeDpiChanged = 2,   // dpi, left, top, right, bottom: sends WM_DPICHANGED
    probeFocusWindow = 3,  // gives the main window itself the keyboard focus
    probeSetColours = 4,   // face, text: the program's button colours (SetSysColors)
    probeAfterInput = 5,   // answers once the input before the request is handled
    probeMaxArguments = 5,
};

#endif
