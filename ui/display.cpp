// What makes the window right on any machine: its lengths follow the
// display scale, and its texts, kept as code page 1252 bytes, are shown
// through UTF-16 so that no system code page can change a letter.
#include "ui.h"

int windowDpi = baseDpi;

typedef BOOL(WINAPI* AwarenessContextFunction)(HANDLE);
typedef BOOL(WINAPI* AwareFunction)();
typedef UINT(WINAPI* WindowDpiFunction)(HWND);

// Newer than the oldest systems the program runs on, so looked up by name.
static FARPROC User32Function(const char* name)
{
    return GetProcAddress(GetModuleHandleA("user32.dll"), name);
}

int Scale(int length)
{
    return MulDiv(length, windowDpi, baseDpi);
}

int DeclareDpiAwareness()
{
    const HANDLE perMonitorAwareV2 = (HANDLE)-4;
    AwarenessContextFunction perMonitor = (AwarenessContextFunction)(void*)User32Function(
        "SetProcessDpiAwarenessContext");
    AwareFunction systemAware = (AwareFunction)(void*)User32Function("SetProcessDPIAware");
    if (!(perMonitor && perMonitor(perMonitorAwareV2)) && !(systemAware && systemAware()))
        return baseDpi;
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : baseDpi;
}

int MonitorDpi(HWND window)
{
    WindowDpiFunction dpiForWindow = (WindowDpiFunction)(void*)User32Function("GetDpiForWindow");
    return dpiForWindow ? (int)dpiForWindow(window) : 0;
}

// The Western character set, so that no locale swaps in a face of its own
// whose letters are wider than the controls.
HFONT CreateUiFont()
{
    return CreateFontA(Scale(16), Scale(7), 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, VARIABLE_PITCH | FF_DONTCARE, "TAHOMA");
}

int ToWide(const char* text, wchar_t* wide, int capacity)
{
    int written = text ? MultiByteToWideChar(1252, 0, text, -1, wide, capacity) : 0;
    if (written == 0 && capacity > 0)
        wide[0] = 0;
    return written > 0 ? written - 1 : 0;
}

HWND CreateTextWindow(DWORD extendedStyle, const char* className, const char* text, DWORD style,
                      int x, int y, int width, int height, HWND parent, HINSTANCE instance)
{
    wchar_t wideClass[32];
    wchar_t wideText[64];
    ToWide(className, wideClass, 32);
    ToWide(text, wideText, 64);
    return CreateWindowExW(extendedStyle, wideClass, text ? wideText : nullptr, style, x, y, width,
                           height, parent, nullptr, instance, nullptr);
}

void ShowMessage(HWND owner, const char* text, const wchar_t* reason, UINT flags)
{
    wchar_t wideText[512];
    wchar_t wideCaption[32];
    int length = ToWide(text, wideText, 510);
    if (reason && *reason) {
        wideText[length++] = L'\n';
        wideText[length++] = L'\n';
        lstrcpynW(wideText + length, reason, 512 - length);
    }
    ToWide(errorCaption, wideCaption, 32);
    // The box takes the focus; the control that had it gets it back, also
    // where the system does not reactivate the window after the box.
    HWND focus = GetFocus();
    // Keys typed while the program was busy (a save waiting for a file that
    // another program holds) were meant for the window: the box would take
    // them and close before it is read.
    MSG typedAhead;
    while (PeekMessageA(&typedAhead, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    MessageBoxW(owner, wideText, wideCaption, flags);
    if (focus)
        SetFocus(focus);
}
