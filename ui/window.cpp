#include "settings.h"
#include "ui.h"

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
// and bottom, as many pixels wide as the scale makes one, and the labels.
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

    for (int inset = 0; inset < Scale(1); ++inset) {
        SelectObject(dc, framePen);
        Rectangle(dc, client.left + inset, client.top + inset, client.right - inset,
                  client.bottom - inset);
        SelectObject(dc, lightPen);
        MoveToEx(dc, client.right - 1 - inset, client.top + inset, nullptr);
        LineTo(dc, client.right - 1 - inset, client.bottom - 1 - inset);
        LineTo(dc, client.left + inset, client.bottom - 1 - inset);
    }

    SetBkMode(dc, TRANSPARENT);
    // The scheme's text colour, as the controls use: black in ordinary
    // schemes, white on black under high contrast.
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    for (const Label& label : labels) {
        wchar_t text[32];
        int length = ToWide(label.text, text, 32);
        TextOutW(dc, Scale(label.x), Scale(label.y), text, length);
    }

    // Pens still selected into a DC would not be freed by DeleteObject.
    SelectObject(dc, originalFont);
    SelectObject(dc, originalPen);
    SelectObject(dc, originalBrush);
    ReleaseDC(mainWindow, dc);
    DeleteObject(framePen);
    DeleteObject(lightPen);
}

void ApplyDpi(int dpi, const RECT* suggested)
{
    windowDpi = dpi;
    HFONT oldFont = uiFont;
    uiFont = CreateUiFont();
    if (suggested)
        SetWindowPos(mainWindow, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    else
        SetWindowPos(mainWindow, nullptr, 0, 0, Scale(windowWidth), Scale(windowHeight),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls();
    // Only now does no control hold the old font.
    if (oldFont)
        DeleteObject(oldFont);
    InvalidateRect(mainWindow, nullptr, FALSE);
}

// The user changed the colour scheme (turned on high contrast, say): the
// face follows, as the controls do.
static void TakeSystemColours()
{
    HBRUSH newBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    if (!newBrush)
        return;
    HBRUSH oldBrush = faceBrush;
    faceBrush = newBrush;
    // Painted at once, so that no control paints with the old brush once it is gone.
    RedrawWindow(mainWindow, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (oldBrush)
        DeleteObject(oldBrush);
}

// The cause of a failed save in the user's words (what to do about it is the
// read-mes' part); none where only the system's words for its error can tell.
static const char* ObstacleText(SaveObstacle obstacle)
{
    switch (obstacle) {
    case fileReadOnly:
        return "Die Datei \"tessorn.ini\" ist schreibgesch\xFCtzt.";
    case folderNotWritable:
        return "In diesen Ordner darf nicht geschrieben werden.";
    case fileInUse:
        return "Ein anderes Programm verwendet die Datei gerade.";
    case diskFull:
        return "Der Datentr\xE4ger ist voll.";
    case folderAtFileName:
        return "Unter dem Namen \"tessorn.ini\" liegt ein Ordner.";
    case fileNotChangeable:
        return "Die Datei \"tessorn.ini\" darf nicht ge\xE4ndert werden.";
    case saveSucceeded:
    case otherObstacle:
        break;
    }
    return nullptr;
}

static void ShowSaveFailure(SaveOutcome outcome)
{
    wchar_t reason[256] = L"";
    if (const char* text = ObstacleText(outcome.obstacle)) {
        ToWide(text, reason, 256);
    } else if (outcome.systemError) {
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, outcome.systemError, 0, reason, 256, nullptr);
        // The system's texts end in a line end.
        while (length > 0 && (reason[length - 1] == L'\r' || reason[length - 1] == L'\n'))
            reason[--length] = 0;
    }
    ShowMessage(mainWindow, "Die Einstellungen konnten nicht gespeichert werden.", reason,
                MB_OK | MB_ICONERROR);
}

// The control that gets the focus back when the window is active again, as
// a dialog's does. Kept current by the main loop, since the focus leaves the
// control before any deactivation when another program minimises the
// window; kept through an activation that comes while still minimised.
static HWND focusToRestore;

void RememberFocus()
{
    HWND focus = GetFocus();
    if (IsChild(mainWindow, focus))
        focusToRestore = focus;
}

// The default handling would give the focus to the window itself, where
// Space and the arrow keys reach no control. Without a remembered control,
// one that has the focus keeps it, else the first list gets it, as at the
// start. Returns whether the activation was handled here.
static bool OnActivate(WPARAM wParam)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        RememberFocus();
        return false;
    }
    if (HIWORD(wParam) || IsIconic(mainWindow))
        return false;
    HWND focus = GetFocus();
    if (IsChild(mainWindow, focusToRestore))
        focus = focusToRestore;
    else if (!IsChild(mainWindow, focus))
        focus = fpsCombo;
    focusToRestore = nullptr;
    SetFocus(focus);
    return true;
}

static void OnCommand(WPARAM wParam, LPARAM lParam)
{
    HWND sender = (HWND)lParam;
    unsigned notification = HIWORD(wParam);
    if (notification == BN_CLICKED) {
        if (sender == quitButton)
            PostQuitMessage(0);
        if (sender == saveButton) {
            SaveOutcome outcome = SaveSettings();
            if (outcome.obstacle != saveSucceeded)
                ShowSaveFailure(outcome);
        }
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
    case WM_ACTIVATE:
        if (OnActivate(wParam))
            return 0;
        break;
    case WM_CTLCOLORBTN:
        return (LRESULT)faceBrush;
    case WM_SYSCOLORCHANGE:
        TakeSystemColours();
        break;
    case WM_DPICHANGED:
        // The window moved to a monitor of another scale.
        ApplyDpi(LOWORD(wParam), (const RECT*)lParam);
        return 0;
    case WM_DESTROY:
        // Closed from outside (or at shutdown): end as after "Beenden".
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
