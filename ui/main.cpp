#include "settings.h"
#include "ui.h"

HWND mainWindow;
HFONT uiFont;
HBRUSH faceBrush;
int32_t quitRequested;

static const char className[] = "MainWindow";
static const char windowTitle[] = "Mirabelt - Initialisierung     (Version1.3a)";
const char errorCaption[] = "Ein Fehler trat auf.";

enum { scanCodeF4 = 0x3E, scanCodeTab = 0x0F, altHeldBit = 1 << 29 };

static unsigned ScanCode(LPARAM lParam)
{
    return (unsigned)(lParam >> 16) & 0xFF;
}

bool IsQuitKey(UINT message, LPARAM lParam)
{
    return message == WM_SYSKEYDOWN && (lParam & altHeldBit) && ScanCode(lParam) == scanCodeF4;
}

bool IsFocusKey(UINT message, LPARAM lParam)
{
    return message == WM_KEYDOWN && ScanCode(lParam) == scanCodeTab;
}

static void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    // Deliberate: the class keeps the menu name it has always had; there is
    // no such menu, so the window has no menu bar.
    windowClass.lpszMenuName = "Varnoke-Programm";
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
}

// Keys are tested before dispatch so that they work whichever control has
// the focus; a focus key never reaches the control.
static void RunMainLoop()
{
    MSG message;
    while (!quitRequested) {
        RememberFocus();
        if (GetMessageA(&message, nullptr, 0, 0) == -1)
            break;
        TranslateMessage(&message);
        if (message.message == WM_QUIT || IsQuitKey(message.message, message.lParam))
            quitRequested = 1;
        if (IsFocusKey(message.message, message.lParam)) {
            CycleFocus();
            continue;
        }
        DispatchMessageA(&message);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    RegisterMainClass(instance);
    windowDpi = DeclareDpiAwareness();
    uiFont = CreateUiFont();
    faceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    mainWindow = CreateTextWindow(0, className, windowTitle, WS_CLIPCHILDREN | WS_BORDER,
                                  CW_USEDEFAULT, CW_USEDEFAULT, Scale(windowWidth),
                                  Scale(windowHeight), nullptr, instance);
    if (!mainWindow) {
        ShowMessage(nullptr, "Das Fenster konnte nicht angelegt werden!", nullptr, MB_OK);
        return 1;
    }
    // The window may have opened on a monitor of another scale.
    int monitorDpi = MonitorDpi(mainWindow);
    if (monitorDpi > 0 && monitorDpi != windowDpi)
        ApplyDpi(monitorDpi, nullptr);

    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    // Defaults in place of a file that is there but could not be read:
    // the user must know before a save replaces what they had.
    if (!LoadSettings())
        ShowMessage(nullptr,
                    "Die Einstellungen konnten nicht gelesen werden. Angezeigt werden die "
                    "Standardwerte.",
                    nullptr, MB_OK | MB_ICONWARNING);
    CreateControls();
    ShowSettings();
    // The second call shows the window even when the launcher asked to hide it.
    ShowWindow(mainWindow, showCommand);
    ShowWindow(mainWindow, SW_SHOW);
    SetFocus(fpsCombo);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));

    RunMainLoop();

    if (uiFont)
        DeleteObject(uiFont);
    if (faceBrush)
        DeleteObject(faceBrush);
    DestroyWindow(mainWindow);
    return 0;
}
