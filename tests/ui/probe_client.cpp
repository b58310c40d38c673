#include "probe_client.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "probe_codes.h"

namespace {

const DWORD probeTimeoutMs = 5000;

std::string ProbePath(DWORD processId, const char* suffix)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "tessorn-ui-probe-" + std::to_string(processId) + "." + suffix;
}

// Loaded into the driver too: SetWindowsHookEx needs the module and the
// procedure's address in it.
HOOKPROC LoadProbe(HMODULE& module)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dllPath(path, length < sizeof path ? length : 0);
    dllPath.erase(dllPath.find_last_of("\\/") + 1);
    dllPath += "tessorn-ui-probe.dll";
    module = LoadLibraryA(dllPath.c_str());
    return module ? reinterpret_cast<HOOKPROC>(
                        reinterpret_cast<void*>(GetProcAddress(module, "ProbeHook")))
                  : nullptr;
}

// Wine's rename keeps the file open for a moment under its new name, so the
// reply is opened sharing everything and read until it carries this
// request's sequence number.
bool ReadReply(const std::string& path, unsigned long sequence, std::vector<std::string>& lines)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    text.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    BOOL ok = text.empty() ||
              ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read != text.size())
        return false;
    lines.clear();
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (lines.empty() || lines[0] != std::to_string(sequence))
        return false;
    lines.erase(lines.begin());
    return true;
}

// Sends one request and returns the reply's lines.
bool Ask(const Program& program, int code, const std::vector<long>& arguments,
         std::vector<std::string>& lines)
{
    static HMODULE module = nullptr;
    static HOOKPROC procedure = LoadProbe(module);
    static unsigned long sequence = 0;
    if (!procedure || !program.window) {
        ADD_FAILURE() << (procedure ? "probe: no window to ask"
                                    : "probe: no ProbeHook in tessorn-ui-probe.dll");
        return false;
    }
    std::string requestPath = ProbePath(program.process.dwProcessId, "request");
    std::string replyPath = ProbePath(program.process.dwProcessId, "reply");
    DeleteFileA(replyPath.c_str());
    std::string request = std::to_string(++sequence) + " " + std::to_string(code);
    for (long argument : arguments)
        request += " " + std::to_string(argument);
    if (!WriteFileBytes(requestPath, request)) {
        ADD_FAILURE() << "probe: cannot write " << requestPath;
        return false;
    }
    // Installed for one request only: a hook left on a thread that has
    // ended could land on a new thread of the same number.
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, procedure, module, program.process.dwThreadId);
    UINT message = RegisterWindowMessageA(probeMessageName);
    bool answered = hook && PostMessageA(program.window, message, sequence, 0) &&
                    WaitUntil([&] { return ReadReply(replyPath, sequence, lines); },
                              probeTimeoutMs);
    if (hook)
        UnhookWindowsHookEx(hook);
    DeleteFileA(requestPath.c_str());
    DeleteFileA(replyPath.c_str());
    if (!answered)
        ADD_FAILURE() << "probe: no answer to request " << sequence << " (code " << code << ")";
    else if (!lines.empty() && lines[0].compare(0, 6, "error ") == 0)
        ADD_FAILURE() << "probe: " << lines[0];
    return answered && (lines.empty() || lines[0].compare(0, 6, "error ") != 0);
}

}  // namespace

bool ReadControlFonts(const Program& program, std::vector<FontReport>& fonts)
{
    std::vector<std::string> lines;
    fonts.clear();
    if (!Ask(program, probeFonts, {}, lines))
        return false;
    for (const std::string& line : lines) {
        FontReport font;
        char faceName[LF_FACESIZE * 4] = "";
        char realisedFace[LF_FACESIZE * 4] = "";
        if (std::sscanf(line.c_str(), "%ld\t%ld\t%ld\t%d\t%127[^\t]\t%127[^\t]", &font.height,
                        &font.width, &font.weight, &font.charSet, faceName, realisedFace) != 6) {
            ADD_FAILURE() << "probe: unreadable font line: " << line;
            return false;
        }
        font.faceName = faceName;
        font.realisedFace = realisedFace;
        fonts.push_back(font);
    }
    return true;
}

bool SendDpiChanged(const Program& program, int dpi, const RECT& suggested)
{
    std::vector<std::string> lines;
    return Ask(program, probeDpiChanged,
               {dpi, suggested.left, suggested.top, suggested.right, suggested.bottom}, lines);
}

bool FocusMainWindow(const Program& program)
{
    std::vector<std::string> lines;
    return Ask(program, probeFocusWindow, {}, lines);
}

bool AwaitInputHandled(const Program& program)
{
    std::vector<std::string> lines;
    return Ask(program, probeAfterInput, {}, lines);
}

bool SetButtonColours(const Program& program, COLORREF face, COLORREF text)
{
    std::vector<std::string> lines;
    return Ask(program, probeSetColours, {static_cast<long>(face), static_cast<long>(text)}, lines);
}
