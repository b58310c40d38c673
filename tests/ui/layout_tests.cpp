// The window, its sixteen controls and the list items, as seen from outside.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "program.h"
#include "ui_tests.h"

namespace {

const char kTitle[] = "Mirabelt - Initialisierung     (Version1.3a)";

struct StyleBit {
  const char* name;
  DWORD bit;
  bool set;
};

// Bits the program chooses, or must leave off, in its window style, one by
// one for a readable failure; the whole words are compared after them.
const StyleBit kWindowStyle[] = {
    {"WS_CLIPCHILDREN", WS_CLIPCHILDREN, true}, {"WS_BORDER", WS_BORDER, true},
    {"WS_VISIBLE", WS_VISIBLE, true},           {"WS_SYSMENU", WS_SYSMENU, false},
    {"WS_THICKFRAME", WS_THICKFRAME, false},    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX, false},
    {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX, false},  {"WS_POPUP", WS_POPUP, false},
    {"WS_CHILD", WS_CHILD, false},              {"WS_DISABLED", WS_DISABLED, false},
};

// Bits the system adds to every overlapped window: the caption's frame
// (WS_CAPTION is WS_BORDER | WS_DLGFRAME), sibling clipping, and the raised
// edge. Beyond these the words hold only what the program asks for.
constexpr DWORD kSystemStyle = WS_DLGFRAME | WS_CLIPSIBLINGS;
constexpr DWORD kSystemExStyle = WS_EX_WINDOWEDGE;
constexpr DWORD kWindowStyleWord = WS_CLIPCHILDREN | WS_BORDER | WS_VISIBLE;

struct StartCase {
  const char* name;
  int showCommand;
};

// A start-up show command that hides the window must not keep it hidden.
const StartCase kStartCases[] = {
    {"default start", -1},
    {"started with SW_HIDE", SW_HIDE},
    {"started with SW_SHOWNORMAL", SW_SHOWNORMAL},
};

constexpr DWORD kCheckBox = 0x50000003;   // child, visible, auto check box
constexpr DWORD kList = 0x50200003;       // child, visible, vertical scroll, drop-down list
constexpr DWORD kSave = 0x50030300;       // child, visible, group, tab stop, centred push button
constexpr DWORD kQuit = 0x50020300;       // the same without tab stop

struct ControlRow {
  Control control;
  const char* className;
  const char* caption;  // code page 1252 bytes
  DWORD style;
  DWORD exStyle;
  int x, y, width, height;  // client coordinates; a list's height includes its drop-down
};

const ControlRow kControls[ControlCount] = {
    {PalettedTextureCheck, "Button", "GL_EXT_paletted_texture", kCheckBox, 0, 100, 145, 235, 20},
    {SharedPaletteCheck, "Button", "GL_EXT_shared_texture_palette", kCheckBox, 0, 100, 175, 235, 20},
    {PackedPixelsCheck, "Button", "GL_EXT_packed_pixels", kCheckBox, 0, 100, 205, 235, 20},
    {WindowedCheck, "Button", "Fenstermodus", kCheckBox, 0, 100, 235, 115, 20},
    {CenteredCheck, "Button", "Zentriert", kCheckBox, 0, 100, 265, 115, 20},
    {DirectxCheck, "Button", "DirectX zum Einrichten", kCheckBox, 0, 100, 295, 205, 20},
    {FixedGammaCheck, "Button", "feste Gamma-Tabelle", kCheckBox, 0, 100, 325, 155, 20},
    {SoftResChangeCheck, "Button", "weicher Aufl\xF6sungswechsel", kCheckBox, 0, 100, 355, 220, 20},
    {MouseClipCheck, "Button", "Maus begrenzen", kCheckBox, 0, 100, 385, 150, 20},
    {FpsCombo, "ComboBox", "", kList, WS_EX_CLIENTEDGE, 5, 2, 110, 200},
    {FramerateCheck, "Button", "Framerate", kCheckBox, 0, 120, 30, 150, 20},
    {ClockCombo, "ComboBox", "", kList, WS_EX_CLIENTEDGE, 25, 52, 110, 200},
    {StatsCheck, "Button", "Texturmasse", kCheckBox, 0, 120, 80, 150, 20},
    {MemCombo, "ComboBox", "", kList, WS_EX_CLIENTEDGE, 65, 112, 50, 200},
    {SaveButton, "Button", "Speichern", kSave, 0, 20, 420, 150, 20},
    {QuitButton, "Button", "Beenden", kQuit, 0, 190, 420, 150, 20},
};

// Wine's combo box keeps the scroll bar and the sunken edge to itself and
// does not show them in its style words.
constexpr DWORD kListStyleHeldByWine = WS_VSCROLL;
constexpr DWORD kListExStyleHeldByWine = WS_EX_CLIENTEDGE;

RECT rectInClient(HWND parent, const RECT& screenRect) {
  RECT rect = screenRect;
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void checkWindow(const Program& program, const std::string& caseName) {
  harness::setCase(caseName);
  CHECK_BYTES(className(program.window), std::string("MainWindow"));
  char title[256] = {};
  int titleLength = GetWindowTextA(program.window, title, sizeof title);
  CHECK_BYTES(std::string(title, titleLength > 0 ? titleLength : 0), std::string(kTitle));
  RECT outer{};
  GetWindowRect(program.window, &outer);
  CHECK_EQ(outer.right - outer.left, 365);
  CHECK_EQ(outer.bottom - outer.top, 490);
  CHECK(IsWindowVisible(program.window));
  CHECK(GetMenu(program.window) == nullptr);
  CHECK(GetParent(program.window) == nullptr);

  DWORD style = static_cast<DWORD>(GetWindowLongPtrA(program.window, GWL_STYLE));
  for (const StyleBit& bit : kWindowStyle) {
    harness::setCase(caseName + ": style " + bit.name);
    CHECK_EQ((style & bit.bit) != 0, bit.set);
  }
  harness::setCase(caseName + ": whole style words");
  CHECK_EQ(style & ~kSystemStyle, kWindowStyleWord);
  CHECK_EQ(static_cast<DWORD>(GetWindowLongPtrA(program.window, GWL_EXSTYLE)) & ~kSystemExStyle, 0);
  harness::setCase(caseName + ": focus after start");
  CHECK(waitUntil([&] { return focusOf(program) == program[FpsCombo]; }, kReactionTimeoutMs));
}

}  // namespace

void testWindow() {
  for (const StartCase& start : kStartCases) {
    harness::setCase(start.name);
    Program program;
    if (!startProgram(program, nullptr, start.showCommand)) continue;
    checkWindow(program, start.name);
    harness::setCase(start.name);
    quitWithButton(program);
  }
}

void testControls() {
  harness::setCase("controls");
  Program program;
  if (!startProgram(program)) return;
  for (const ControlRow& row : kControls) {
    HWND control = program[row.control];
    harness::setCase(std::string("control ") + controlName(row.control));
    bool isList = std::strcmp(row.className, "ComboBox") == 0;
    CHECK_EQ(_stricmp(className(control).c_str(), row.className), 0);
    CHECK_BYTES(windowTextBytes(control), std::string(row.caption));
    CHECK_EQ(GetDlgCtrlID(control), 0);
    CHECK_EQ(GetWindowLongPtrA(control, GWLP_ID), 0);

    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_EXSTYLE));
    DWORD styleMask = isList ? ~kListStyleHeldByWine : ~0u;
    DWORD exStyleMask = isList ? ~kListExStyleHeldByWine : ~0u;
    CHECK_EQ(style & styleMask, row.style & styleMask);
    CHECK_EQ(exStyle & exStyleMask, row.exStyle & exStyleMask);

    RECT screenRect{};
    GetWindowRect(control, &screenRect);
    RECT rect = rectInClient(program.window, screenRect);
    CHECK_EQ(rect.left, row.x);
    CHECK_EQ(rect.top, row.y);
    CHECK_EQ(rect.right - rect.left, row.width);
    int fieldHeight = rect.bottom - rect.top;
    if (isList) {
      // The window is the closed field; the height given at creation is
      // that of the field with its list dropped down. Wine reports the
      // dropped-down part alone, from the field's top.
      RECT dropped{};
      SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      RECT droppedRect = rectInClient(program.window, dropped);
      CHECK_EQ(droppedRect.left, row.x);
      CHECK_EQ(droppedRect.top, row.y);
      CHECK_EQ(droppedRect.right - droppedRect.left, row.width);
      CHECK_EQ(fieldHeight + droppedRect.bottom - droppedRect.top, row.height);
    } else {
      CHECK_EQ(fieldHeight, row.height);
    }
  }
  harness::setCase("controls");
  quitWithButton(program);
}

void testLists() {
  harness::setCase("lists");
  Program program;
  if (!startProgram(program)) return;
  struct ListRow {
    Control list;
    std::vector<std::string> items;
  };
  std::vector<std::string> memItems;
  for (int megabytes = 8; megabytes <= 108; ++megabytes) {
    char text[8];
    // Right-aligned in three places: "  8", " 99", "100".
    std::snprintf(text, sizeof text, "%3d", megabytes);
    memItems.push_back(text);
  }
  const ListRow lists[] = {
      {FpsCombo, {"keine", "links oben", "rechts oben", "links unten", "rechts unten"}},
      {ClockCombo, {"keine", "digitale", "kl. analoge", "gr. analoge"}},
      {MemCombo, memItems},
  };
  for (const ListRow& row : lists) {
    HWND list = program[row.list];
    harness::setCase(std::string("items of ") + controlName(row.list));
    CHECK_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), row.items.size());
    for (size_t index = 0; index < row.items.size(); ++index) {
      harness::setCase(std::string("items of ") + controlName(row.list) + " #" +
                       std::to_string(index));
      CHECK_BYTES(listItemBytes(list, static_cast<int>(index)), row.items[index]);
    }
  }
  // The memory list is far longer than its drop-down, which therefore needs
  // the scroll bar that the list asks for. Wine keeps the drop-downs as
  // hidden top-level windows without a link to their list, so the one with
  // 101 items is taken.
  harness::setCase("memCombo's drop-down scrolls");
  int longLists = 0;
  for (HWND dropDown : topLevelWindows(program, "ComboLBox")) {
    if (SendMessageA(dropDown, LB_GETCOUNT, 0, 0) != 101) continue;
    ++longLists;
    CHECK_EQ(GetWindowLongPtrA(dropDown, GWL_STYLE) & WS_VSCROLL, WS_VSCROLL);
  }
  CHECK_EQ(longLists, 1);
  harness::setCase("lists");
  quitWithButton(program);
}
