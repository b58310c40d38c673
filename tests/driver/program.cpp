#include "program.h"

#include <cstdio>
#include <cstdlib>

std::string programPath;

namespace {

const char* const controlNames[controlCount] = {
    "palettedTextureCheck", "sharedPaletteCheck", "packedPixelsCheck", "windowedCheck",
    "centeredCheck",        "directxCheck",       "fixedGammaCheck",   "softResChangeCheck",
    "mouseClipCheck",       "fpsCombo",           "framerateCheck",    "clockCombo",
    "statsCheck",           "memCombo",           "saveButton",        "quitButton"};

// Wine now and then refuses to start a process under load with this error.
constexpr DWORD errorBusy = 1359;

void PrintFailure(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
}

void (*failureHandler)(const std::string& message) = PrintFailure;

void ReportFailure(const std::string& message)
{
    failureHandler(message);
}

// Also empties a directory that a case put in place of tessorn.ini. A mount
// point keeps existing: only its content goes.
void RemoveTree(const std::string& directory)
{
    for (const std::string& name : DirectoryEntries(directory)) {
        std::string path = directory + "\\" + name;
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveTree(path);
            continue;
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(directory.c_str());
}

struct ChildList {
    HWND parent;
    std::vector<HWND>* children;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter)
{
    auto* list = reinterpret_cast<ChildList*>(parameter);
    if (GetParent(window) == list->parent)
        list->children->push_back(window);
    return TRUE;
}

struct TopLevelSearch {
    DWORD processId;
    const char* windowClass;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId &&
        (!search->windowClass || _stricmp(ClassName(window).c_str(), search->windowClass) == 0)) {
        search->found->push_back(window);
    }
    return TRUE;
}

// Wide text as bytes of a code page; false where a letter has no byte
// there (and would come out as "?").
bool ToCodePage(UINT codePage, const std::wstring& text, std::string& bytes)
{
    BOOL lost = FALSE;
    int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0,
                                   nullptr, &lost);
    bytes.assign(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, bytes.data(), size,
                        nullptr, nullptr);
    return !lost;
}

std::wstring FromCodePage(const std::string& bytes)
{
    std::wstring text(bytes.size(), L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                     text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    return text;
}

std::string ToCodePage1252(const std::wstring& text)
{
    std::string bytes;
    ToCodePage(1252, text, bytes);
    return bytes;
}

}  // namespace

const char* ControlName(Control control)
{
    return controlNames[control];
}

void SetFailureHandler(void (*handler)(const std::string& message))
{
    failureHandler = handler;
}

double NowMs()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000 / static_cast<double>(frequency.QuadPart);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return condition();
        Sleep(pollMs);
    }
}

std::string CreateScratchDirectory(const wchar_t* suffix, std::wstring* wholeName)
{
    static int counter = 0;
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = temp + std::wstring(L"tessorn-driver-") +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++counter) + suffix;
        if (!CreateDirectoryW(name.c_str(), nullptr))
            continue;
        wchar_t shortName[MAX_PATH];
        DWORD shortLength = GetShortPathNameW(name.c_str(), shortName, MAX_PATH);
        std::string path;
        if (wholeName)
            *wholeName = name;
        // The driver's own ANSI calls take it.
        if (ToCodePage(CP_ACP, name, path) ||
            (shortLength > 0 && shortLength < MAX_PATH && ToCodePage(CP_ACP, shortName, path)))
            return path;
        RemoveDirectoryW(name.c_str());
        return {};
    }
    return {};
}

bool CreateWorkingDirectory(Program& program, const wchar_t* nameSuffix)
{
    program.directory = CreateScratchDirectory(nameSuffix, &program.wholeName);
    if (!program.directory.empty())
        return true;
    ReportFailure("cannot create a working directory");
    return false;
}

bool LaunchProgram(Program& program, const std::string* settingsFile, int showCommand)
{
    if (program.directory.empty() && !CreateWorkingDirectory(program))
        return false;
    if (settingsFile && !WriteFileBytes(program.SettingsPath(), *settingsFile)) {
        ReportFailure("cannot write " + program.SettingsPath());
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (showCommand >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
    }
    std::wstring path = FromCodePage(program.path);
    std::wstring commandLine = L"\"" + path + L"\"";
    std::wstring directory = program.wholeName.empty() ? FromCodePage(program.directory)
                                                       : program.wholeName;
    // Closed only with the driver: then the system ends every program in it,
    // also when a time-out kills the driver outright.
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    program.launchedAtMs = NowMs();
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, directory.c_str(), &startup, &program.process)) {
        DWORD error = GetLastError();
        ReportFailure("cannot start " + program.path + ", error " + std::to_string(error));
        ExitWhereWineRefused(error);
        return false;
    }
    if (!AssignProcessToJobObject(job, program.process.hProcess)) {
        ReportFailure("cannot tie " + program.path + " to the driver, error " +
                      std::to_string(GetLastError()));
        KillProgram(program);
        return false;
    }
    ResumeThread(program.process.hThread);
    return true;
}

void ExitWhereWineRefused(DWORD error)
{
    // Whoever started the driver tries the whole run again.
    if (error == errorBusy)
        std::exit(exitWineRefusedStart);
}

bool AwaitWindow(Program& program, const char* windowClass, DWORD timeoutMs, DWORD pollMs)
{
    WaitForInputIdle(program.process.hProcess, timeoutMs);
    // Waiting for input normally means the window is up; poll in case the
    // program waited for input before it showed the window.
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(program, windowClass)) {
                if (IsWindowVisible(window))
                    program.window = window;
            }
            return program.window != nullptr || !IsRunning(program);
        },
        timeoutMs, pollMs);
    if (program.window)
        return true;
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(program.process.hProcess, &exitCode);
    std::string wanted = windowClass ? std::string("visible ") + windowClass : "visible window";
    ReportFailure(exitCode == STILL_ACTIVE
                      ? "no " + wanted + " of " + program.path
                      : program.path + " ended with exit code " + std::to_string(exitCode) +
                            " before showing its window");
    program.exited = exitCode != STILL_ACTIVE;
    return false;
}

bool FindControls(Program& program)
{
    std::vector<HWND> children = ChildWindows(program.window);
    if (children.size() != controlCount) {
        ReportFailure("the window has " + std::to_string(children.size()) +
                      " child windows, not 16");
        return false;
    }
    for (int index = 0; index < controlCount; ++index)
        program.controls[index] = children[index];
    return true;
}

bool StartProgram(Program& program, const std::string* settingsFile, int showCommand)
{
    return LaunchProgram(program, settingsFile, showCommand) && AwaitWindow(program) &&
           FindControls(program);
}

bool IsRunning(const Program& program)
{
    return program.process.hProcess &&
           WaitForSingleObject(program.process.hProcess, 0) == WAIT_TIMEOUT;
}

bool Answers(HWND window, DWORD withinMs)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, withinMs, &result) != 0;
}

LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool wide)
{
    DWORD_PTR result = 0;
    bool answered = (wide ? SendMessageTimeoutW
                          : SendMessageTimeoutA)(window, message, wParam, lParam, SMTO_NORMAL,
                                                 reactionTimeoutMs, &result) != 0;
    if (!answered)
        ReportFailure("no answer from the program's " + ClassName(window) + " to message " +
                      std::to_string(message) + " within " + std::to_string(reactionTimeoutMs) +
                      " ms");
    return answered ? static_cast<LRESULT>(result) : 0;
}

bool WaitForExit(Program& program, DWORD timeoutMs, DWORD& exitCode)
{
    if (WaitForSingleObject(program.process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(program.process.hProcess, &exitCode);
    program.exited = true;
    return true;
}

void KillProgram(Program& program)
{
    TerminateProcess(program.process.hProcess, 99);
    WaitForSingleObject(program.process.hProcess, exitTimeoutMs);
    program.exited = true;
}

Program::~Program()
{
    if (process.hProcess) {
        if (!exited && IsRunning(*this)) {
            ReportFailure("the program was still running at the end of the case; killed");
            KillProgram(*this);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (!directory.empty())
        RemoveTree(directory);
}

bool ClickButton(const Program& program, Control button)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(program[button], BM_CLICK, 0, 0, SMTO_NORMAL, reactionTimeoutMs,
                               &result) != 0;
}

void PostClick(const Program& program, Control button)
{
    PostMessageA(program[button], BM_CLICK, 0, 0);
}

void ChooseItem(const Program& program, Control list, int index)
{
    SendTo(program[list], CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendTo(program.window, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
           reinterpret_cast<LPARAM>(program[list]));
}

int CheckState(const Program& program, Control box)
{
    return static_cast<int>(SendTo(program[box], BM_GETCHECK, 0, 0));
}

int Selection(const Program& program, Control list)
{
    return static_cast<int>(SendTo(program[list], CB_GETCURSEL, 0, 0));
}

std::string WindowTextBytes(HWND window)
{
    wchar_t text[512] = {};
    int length = GetWindowTextW(window, text, 512);
    return ToCodePage1252(std::wstring(text, static_cast<size_t>(length > 0 ? length : 0)));
}

// The ANSI form of CB_GETLBTEXT hands back UTF-16 across processes under
// Wine, so the wide form is read and converted.
std::string ListItemBytes(HWND list, int index)
{
    LRESULT length = SendTo(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0, true);
    if (length == CB_ERR || length > 500)
        return "<no item>";
    wchar_t text[512] = {};
    LRESULT copied = SendTo(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(text), true);
    if (copied == CB_ERR)
        return "<no item>";
    return ToCodePage1252(std::wstring(text, static_cast<size_t>(copied)));
}

std::string ClassName(HWND window)
{
    char name[256] = {};
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, static_cast<size_t>(length > 0 ? length : 0));
}

std::vector<HWND> ChildWindows(HWND parent)
{
    std::vector<HWND> children;
    ChildList list{parent, &children};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&list));
    return children;
}

std::vector<HWND> TopLevelWindows(const Program& program, const char* windowClass)
{
    std::vector<HWND> windows;
    TopLevelSearch search{program.process.dwProcessId, windowClass, &windows};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return windows;
}

HWND FindOwnedDialog(const Program& program)
{
    for (HWND dialog : TopLevelWindows(program, "#32770")) {
        if (GetWindow(dialog, GW_OWNER) == program.window && IsWindowVisible(dialog))
            return dialog;
    }
    return nullptr;
}

HWND FocusOf(const Program& program)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(program.process.dwThreadId, &info))
        return nullptr;
    return info.hwndFocus;
}

bool BringToFront(const Program& program)
{
    return WaitUntil(
        [&] {
            if (GetForegroundWindow() == program.window)
                return true;
            SetForegroundWindow(program.window);
            return false;
        },
        reactionTimeoutMs);
}

bool Restore(const Program& program)
{
    if (IsIconic(program.window))
        PostMessageA(program.window, WM_SYSCOMMAND, SC_RESTORE, 0);
    // The window leaves the minimised state before it gets its size back,
    // both inside the handling of the restore, which a WM_NULL waits for.
    return WaitUntil([&] { return !IsIconic(program.window); }, reactionTimeoutMs) &&
           Answers(program.window, reactionTimeoutMs);
}

bool PressChord(const std::vector<Key>& keys)
{
    std::vector<INPUT> inputs;
    auto add = [&](const Key& key, bool release) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key.virtualKey;
        input.ki.wScan = key.scanCode;
        input.ki.dwFlags = (key.extended ? KEYEVENTF_EXTENDEDKEY : 0) |
                           (release ? KEYEVENTF_KEYUP : 0);
        inputs.push_back(input);
    };
    for (const Key& key : keys)
        add(key, false);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        add(*key, true);
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
           inputs.size();
}

std::string WindowsPathFromEnvironment(const char* variable)
{
    char value[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return {};
    std::string path = value[0] == '/' ? std::string("Z:") + value : std::string(value);
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

bool ReadFileBytes(const std::string& path, std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    bytes.assign(size, '\0');
    DWORD read = 0;
    BOOL ok = size == 0 || ReadFile(file, bytes.data(), size, &read, nullptr);
    CloseHandle(file);
    return ok && read == size;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::vector<std::string> DirectoryEntries(const std::string& directory)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

bool ReadMemory(const Program& program, PROCESS_MEMORY_COUNTERS_EX& counters)
{
    counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(program.process.hProcess,
                                reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters) != 0;
}

namespace {

// Runs `draw` on a memory DC holding a top-down 32-bit DIB of the image's
// size, then copies the DIB into the image.
bool WithImageDC(ClientPixels& image, const std::function<bool(HDC)>& draw)
{
    image.pixels.assign(static_cast<size_t>(image.width) * image.height, 0);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = image.width;
    format.bmiHeader.biHeight = -image.height;  // top-down rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap != nullptr;
    if (ok) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        ok = draw(memory);
        GdiFlush();
        const auto* pixel = static_cast<const BYTE*>(bits);
        for (size_t index = 0; ok && index < image.pixels.size(); ++index, pixel += 4)
            image.pixels[index] = RGB(pixel[2], pixel[1], pixel[0]);
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

bool CaptureScreen(const RECT& screenRect, ClientPixels& capture)
{
    capture.width = screenRect.right - screenRect.left;
    capture.height = screenRect.bottom - screenRect.top;
    if (capture.width <= 0 || capture.height <= 0)
        return false;
    return WithImageDC(capture, [&](HDC memory) {
        HDC screen = GetDC(nullptr);
        bool ok = BitBlt(memory, 0, 0, capture.width, capture.height, screen, screenRect.left,
                         screenRect.top, SRCCOPY) != 0;
        ReleaseDC(nullptr, screen);
        return ok;
    });
}

bool CaptureClient(const Program& program, ClientPixels& capture)
{
    RECT client;
    if (!GetClientRect(program.window, &client))
        return false;
    MapWindowPoints(program.window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return CaptureScreen(client, capture);
}

bool RenderIcon(HICON icon, int width, int height, COLORREF background, ClientPixels& image)
{
    image.width = width;
    image.height = height;
    return WithImageDC(image, [&](HDC memory) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT area{0, 0, width, height};
        FillRect(memory, &area, brush);
        DeleteObject(brush);
        return DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL) != 0;
    });
}
