// tessorn-ui-probe.dll: answers what only the program's own UI thread can
// tell, and does what only the program's process can. Under Wine, WM_GETFONT
// is refused across processes, a pointer in lParam is not carried to another
// process, and the system colours a process sees change only from inside.
//
// The driver installs ProbeHook as a WH_GETMESSAGE hook on the program's UI
// thread, so the system loads this DLL into the program and calls the hook
// there (probe_client.h has the driver's side):
//   1. the driver writes "SEQUENCE CODE N1 N2 ..." to
//      %TEMP%\tessorn-ui-probe-PID.request (PID: the program's process);
//   2. it posts the registered message "tessorn-ui-probe" with
//      wParam = SEQUENCE to the program's main window;
//   3. the hook does the work and writes "SEQUENCE" and the reply lines
//      (UTF-8, each ending in LF) to ...-PID.tmp, then renames that to
//      ...-PID.reply, so the driver never reads half a reply. The posted
//      message becomes WM_NULL: the window procedure never sees it.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "probe_codes.h"

struct Reply {
    char text[8192];
    size_t length;
};

static void AddLine(Reply& reply, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    size_t room = sizeof reply.text - reply.length;
    int written = vsnprintf(reply.text + reply.length, room, format, arguments);
    va_end(arguments);
    if (written < 0 || (size_t)written + 1 >= room)
        return;  // a line that does not fit is dropped whole
    reply.length += (size_t)written;
    reply.text[reply.length++] = '\n';
}

static void ProbePath(const char* suffix, char* path, size_t size)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    snprintf(path, size, "%stessorn-ui-probe-%lu.%s", temp, GetCurrentProcessId(), suffix);
}

// The request's sequence number, code and arguments; false when unreadable.
static bool ReadRequest(unsigned long& sequence, int& code, long arguments[probeMaxArguments])
{
    char path[MAX_PATH + 64];
    ProbePath("request", path, sizeof path);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char text[256] = "";
    DWORD read = 0;
    BOOL ok = ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    text[read] = '\0';
    long numbers[2 + probeMaxArguments] = {};
    int count = ok ? sscanf(text, "%ld %ld %ld %ld %ld %ld %ld", &numbers[0], &numbers[1],
                            &numbers[2], &numbers[3], &numbers[4], &numbers[5], &numbers[6])
                   : 0;
    sequence = (unsigned long)numbers[0];
    code = (int)numbers[1];
    for (int i = 0; i < probeMaxArguments; ++i)
        arguments[i] = numbers[2 + i];
    return count >= 2;
}

static void WriteReply(const Reply& reply)
{
    char temporary[MAX_PATH + 64];
    char replyPath[MAX_PATH + 64];
    ProbePath("tmp", temporary, sizeof temporary);
    ProbePath("reply", replyPath, sizeof replyPath);
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    BOOL ok = WriteFile(file, reply.text, (DWORD)reply.length, &written, nullptr);
    CloseHandle(file);
    if (ok && written == reply.length)
        MoveFileExA(temporary, replyPath, MOVEFILE_REPLACE_EXISTING);
    else
        DeleteFileA(temporary);
}

// One line per control: the LOGFONT's height, width, weight, character set
// and face of the font it holds, then the face that font really draws with
// in a DC of the control; tab-separated.
static BOOL CALLBACK ReportFont(HWND control, LPARAM parameter)
{
    Reply& reply = *(Reply*)parameter;
    if (GetParent(control) != GetAncestor(control, GA_ROOT))
        return TRUE;  // a part of a control, not a control
    HFONT font = (HFONT)SendMessageW(control, WM_GETFONT, 0, 0);
    LOGFONTW logFont = {};
    wchar_t realised[LF_FACESIZE] = L"";
    if (font) {
        GetObjectW(font, sizeof logFont, &logFont);
        HDC dc = GetDC(control);
        HGDIOBJ previous = SelectObject(dc, font);
        GetTextFaceW(dc, LF_FACESIZE, realised);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
    }
    char faceName[LF_FACESIZE * 4] = "";
    char realisedFace[LF_FACESIZE * 4] = "";
    WideCharToMultiByte(CP_UTF8, 0, logFont.lfFaceName, -1, faceName, sizeof faceName, nullptr,
                        nullptr);
    WideCharToMultiByte(CP_UTF8, 0, realised, -1, realisedFace, sizeof realisedFace, nullptr,
                        nullptr);
    AddLine(reply, "%ld\t%ld\t%ld\t%d\t%s\t%s", (long)logFont.lfHeight, (long)logFont.lfWidth,
            (long)logFont.lfWeight, (int)logFont.lfCharSet, faceName, realisedFace);
    return TRUE;
}

static Reply reply;

static void CALLBACK AnswerAfterInput(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    WriteReply(reply);
}

static void Answer(HWND window, unsigned long sequence, int code, const long arguments[])
{
    reply.length = 0;
    AddLine(reply, "%lu", sequence);
    if (code == probeFonts) {
        EnumChildWindows(window, ReportFont, (LPARAM)&reply);
    } else if (code == probeDpiChanged) {
        RECT suggested = {arguments[1], arguments[2], arguments[3], arguments[4]};
        WORD dpi = (WORD)arguments[0];
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), (LPARAM)&suggested);
        AddLine(reply, "done");
    } else if (code == probeFocusWindow) {
        SetFocus(window);
        AddLine(reply, "done");
    } else if (code == probeSetColours) {
        const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
        const COLORREF colours[] = {(COLORREF)arguments[0], (COLORREF)arguments[1]};
        SetSysColors(2, elements, colours);
        AddLine(reply, "done");
    } else if (code == probeAfterInput) {
        // The request overtakes input (posted messages come first), but a
        // timer fires only once no input is left in the queue.
        if (SetTimer(nullptr, 0, 0, AnswerAfterInput)) {
            AddLine(reply, "done");
            return;
        }
        AddLine(reply, "error no timer");
    } else {
        AddLine(reply, "error unknown code %d", code);
    }
    WriteReply(reply);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeHook(int code, WPARAM removal, LPARAM parameter)
{
    static UINT probeMessage = RegisterWindowMessageA(probeMessageName);
    MSG* message = (MSG*)parameter;
    // A message only peeked at comes again when it is removed: answer once.
    if (code == HC_ACTION && removal == PM_REMOVE && message->message == probeMessage) {
        unsigned long sequence = 0;
        int requestCode = 0;
        long arguments[probeMaxArguments] = {};
        if (ReadRequest(sequence, requestCode, arguments) &&
            sequence == (unsigned long)message->wParam)
            Answer(message->hwnd, sequence, requestCode, arguments);
        message->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, removal, parameter);
}
