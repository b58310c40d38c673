#include "program.h"

#include <cstdio>

#include "harness.h"

std::string programPath;

namespace {

const char* const kControlNames[ControlCount] = {
    "palettedTextureCheck", "sharedPaletteCheck", "packedPixelsCheck", "windowedCheck",
    "centeredCheck",        "directxCheck",       "fixedGammaCheck",   "softResChangeCheck",
    "mouseClipCheck",       "fpsCombo",           "framerateCheck",    "clockCombo",
    "statsCheck",           "memCombo",           "saveButton",        "quitButton"};

// Wine now and then refuses to start a process under load with this error.
constexpr DWORD kErrorBusy = 1359;

bool makeWorkingDirectory(std::string& directory) {
  static int counter = 0;
  char temp[MAX_PATH];
  DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%stessorn-ui-%lu-%d", temp, GetCurrentProcessId(),
                  ++counter);
    if (CreateDirectoryA(name, nullptr)) {
      directory = name;
      return true;
    }
  }
  return false;
}

// Also empties a directory that a case put in place of tessorn.ini. A mount
// point keeps existing: only its content goes.
void removeDirectory(const std::string& directory) {
  for (const std::string& name : directoryEntries(directory)) {
    std::string path = directory + "\\" + name;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      removeDirectory(path);
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

BOOL CALLBACK collectChild(HWND window, LPARAM parameter) {
  auto* list = reinterpret_cast<ChildList*>(parameter);
  if (GetParent(window) == list->parent) list->children->push_back(window);
  return TRUE;
}

struct TopLevelSearch {
  DWORD processId;
  const char* windowClass;
  std::vector<HWND>* found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<TopLevelSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && _stricmp(className(window).c_str(), search->windowClass) == 0) {
    search->found->push_back(window);
  }
  return TRUE;
}

std::string toCodePage1252(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  return bytes;
}

}  // namespace

const char* controlName(Control control) { return kControlNames[control]; }

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return condition();
    Sleep(10);
  }
}

bool createWorkingDirectory(Program& program) {
  if (makeWorkingDirectory(program.directory)) return true;
  FAIL("cannot create a working directory");
  return false;
}

bool startProgram(Program& program, const std::string* settingsFile, int showCommand) {
  return launchProgram(program, settingsFile, showCommand) && awaitWindow(program);
}

bool launchProgram(Program& program, const std::string* settingsFile, int showCommand) {
  if (program.directory.empty() && !createWorkingDirectory(program)) return false;
  if (settingsFile && !writeFileBytes(program.settingsPath(), *settingsFile)) {
    FAIL("cannot write " + program.settingsPath());
    return false;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (showCommand >= 0) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
  }
  std::string commandLine = "\"" + programPath + "\"";
  BOOL created = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 5 && !created; ++attempt) {
    created = CreateProcessA(programPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, program.directory.c_str(), &startup, &program.process);
    error = created ? 0 : GetLastError();
    if (!created && error != kErrorBusy) break;
    if (!created) Sleep(200);
  }
  if (!created) {
    FAIL("cannot start " + programPath + ", error " + std::to_string(error));
    return false;
  }
  return true;
}

bool awaitWindow(Program& program) {
  WaitForInputIdle(program.process.hProcess, kStartTimeoutMs);
  waitUntil(
      [&] {
        for (HWND window : topLevelWindows(program, "MainWindow")) {
          if (IsWindowVisible(window)) program.window = window;
        }
        return program.window != nullptr || !isRunning(program);
      },
      kStartTimeoutMs);
  if (!program.window) {
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(program.process.hProcess, &exitCode);
    FAIL(exitCode == STILL_ACTIVE
             ? std::string("no visible MainWindow of the started process")
             : "the program ended with exit code " + std::to_string(exitCode) +
                   " before showing its window");
    program.exited = exitCode != STILL_ACTIVE;
    return false;
  }
  program.children = childWindows(program.window);
  if (program.children.size() != ControlCount) {
    FAIL("the window has " + std::to_string(program.children.size()) + " child windows, not 16");
    return false;
  }
  for (int index = 0; index < ControlCount; ++index) program.controls[index] = program.children[index];
  return true;
}

bool isRunning(const Program& program) {
  return program.process.hProcess &&
         WaitForSingleObject(program.process.hProcess, 0) == WAIT_TIMEOUT;
}

bool waitForExit(Program& program, DWORD timeoutMs, DWORD& exitCode) {
  if (WaitForSingleObject(program.process.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(program.process.hProcess, &exitCode);
  program.exited = true;
  return true;
}

void expectCleanExit(Program& program) {
  DWORD exitCode = STILL_ACTIVE;
  if (!waitForExit(program, kExitTimeoutMs, exitCode)) {
    FAIL("the program did not end within " + std::to_string(kExitTimeoutMs) + " ms");
    return;
  }
  CHECK_EQ(exitCode, 0);
}

void quitWithButton(Program& program) {
  if (!program.window) return;  // the start already failed
  if (!isRunning(program)) {
    FAIL("the program had ended before Beenden was clicked");
    return;
  }
  postClick(program, QuitButton);
  expectCleanExit(program);
}

Program::~Program() {
  if (process.hProcess) {
    if (!exited && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
      FAIL("the program was still running at the end of the case; killed");
      TerminateProcess(process.hProcess, 99);
      WaitForSingleObject(process.hProcess, kExitTimeoutMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (!directory.empty()) removeDirectory(directory);
}

bool clickButton(const Program& program, Control button) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(program[button], BM_CLICK, 0, 0, SMTO_NORMAL, kReactionTimeoutMs,
                             &result) != 0;
}

void postClick(const Program& program, Control button) {
  PostMessageA(program[button], BM_CLICK, 0, 0);
}

void chooseItem(const Program& program, Control list, int index) {
  SendMessageA(program[list], CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(program.window, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(program[list]));
}

int checkState(const Program& program, Control box) {
  return static_cast<int>(SendMessageA(program[box], BM_GETCHECK, 0, 0));
}

int selection(const Program& program, Control list) {
  return static_cast<int>(SendMessageA(program[list], CB_GETCURSEL, 0, 0));
}

std::string windowTextBytes(HWND window) {
  wchar_t text[512] = {};
  int length = GetWindowTextW(window, text, 512);
  return toCodePage1252(std::wstring(text, static_cast<size_t>(length > 0 ? length : 0)));
}

// The ANSI form of CB_GETLBTEXT hands back UTF-16 across processes under
// Wine, so the wide form is read and converted.
std::string listItemBytes(HWND list, int index) {
  LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length > 500) return "<no item>";
  wchar_t text[512] = {};
  LRESULT copied = SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(text));
  if (copied == CB_ERR) return "<no item>";
  return toCodePage1252(std::wstring(text, static_cast<size_t>(copied)));
}

std::vector<HWND> childWindows(HWND parent) {
  std::vector<HWND> children;
  ChildList list{parent, &children};
  EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&list));
  return children;
}

std::string className(HWND window) {
  char name[256] = {};
  int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, static_cast<size_t>(length > 0 ? length : 0));
}

HWND focusOf(const Program& program) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(program.process.dwThreadId, &info)) return nullptr;
  return info.hwndFocus;
}

bool bringToFront(const Program& program) {
  return waitUntil(
      [&] {
        if (GetForegroundWindow() == program.window) return true;
        SetForegroundWindow(program.window);
        return false;
      },
      kReactionTimeoutMs);
}

void pressChord(const std::vector<Key>& keys) {
  std::vector<INPUT> inputs;
  auto add = [&](const Key& key, bool release) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key.virtualKey;
    input.ki.wScan = key.scanCode;
    input.ki.dwFlags = (key.extended ? KEYEVENTF_EXTENDEDKEY : 0) | (release ? KEYEVENTF_KEYUP : 0);
    inputs.push_back(input);
  };
  for (const Key& key : keys) add(key, false);
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) add(*key, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::string windowsPathFromEnvironment(const char* variable) {
  char value[MAX_PATH];
  DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
  if (length == 0 || length >= sizeof value) return {};
  std::string path = value[0] == '/' ? std::string("Z:") + value : std::string(value);
  for (char& c : path) c = c == '/' ? '\\' : c;
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

bool readFileBytes(const std::string& path, std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  bytes.assign(size, '\0');
  DWORD read = 0;
  BOOL ok = size == 0 || ReadFile(file, bytes.data(), size, &read, nullptr);
  CloseHandle(file);
  return ok && read == size;
}

bool writeFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() ||
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::vector<std::string> directoryEntries(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

std::vector<HWND> topLevelWindows(const Program& program, const char* windowClass) {
  std::vector<HWND> windows;
  TopLevelSearch search{program.process.dwProcessId, windowClass, &windows};
  EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
  return windows;
}

HWND findOwnedDialog(const Program& program) {
  for (HWND dialog : topLevelWindows(program, "#32770")) {
    if (GetWindow(dialog, GW_OWNER) == program.window && IsWindowVisible(dialog)) return dialog;
  }
  return nullptr;
}

namespace {

// Runs `draw` on a memory DC holding a top-down 32-bit DIB of the image's
// size, then copies the DIB into the image.
bool withImageDC(ClientPixels& image, const std::function<bool(HDC)>& draw) {
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
    for (size_t index = 0; ok && index < image.pixels.size(); ++index, pixel += 4) {
      image.pixels[index] = RGB(pixel[2], pixel[1], pixel[0]);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

bool captureScreen(const RECT& screenRect, ClientPixels& capture) {
  capture.width = screenRect.right - screenRect.left;
  capture.height = screenRect.bottom - screenRect.top;
  if (capture.width <= 0 || capture.height <= 0) return false;
  return withImageDC(capture, [&](HDC memory) {
    HDC screen = GetDC(nullptr);
    bool ok = BitBlt(memory, 0, 0, capture.width, capture.height, screen, screenRect.left,
                     screenRect.top, SRCCOPY) != 0;
    ReleaseDC(nullptr, screen);
    return ok;
  });
}

bool captureClient(const Program& program, ClientPixels& capture) {
  RECT client;
  if (!GetClientRect(program.window, &client)) return false;
  MapWindowPoints(program.window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  return captureScreen(client, capture);
}

bool renderIcon(HICON icon, int width, int height, COLORREF background, ClientPixels& image) {
  image.width = width;
  image.height = height;
  return withImageDC(image, [&](HDC memory) {
    HBRUSH brush = CreateSolidBrush(background);
    RECT area{0, 0, width, height};
    FillRect(memory, &area, brush);
    DeleteObject(brush);
    return DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL) != 0;
  });
}
