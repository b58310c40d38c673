// The window, its sixteen controls and the list items, as seen from outside.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checks.h"
#include "probe_client.h"
#include "program.h"

namespace {

const char title[] = "Mirabelt - Initialisierung     (Version1.3a)";

struct StyleBit {
    const char* name;
    DWORD bit;
    bool set;
};

// Bits the program chooses, or must leave off, in its window style, one by
// one for a readable failure; the whole words are compared after them.
const StyleBit windowStyleBits[] = {
    {"WS_CLIPCHILDREN", WS_CLIPCHILDREN, true},
    {"WS_BORDER", WS_BORDER, true},
    {"WS_VISIBLE", WS_VISIBLE, true},
    {"WS_SYSMENU", WS_SYSMENU, false},
    {"WS_THICKFRAME", WS_THICKFRAME, false},
    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX, false},
    {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX, false},
    {"WS_POPUP", WS_POPUP, false},
    {"WS_CHILD", WS_CHILD, false},
    {"WS_DISABLED", WS_DISABLED, false},
};

// Bits the system adds to every overlapped window: the caption's frame
// (WS_CAPTION is WS_BORDER | WS_DLGFRAME), sibling clipping, and the raised
// edge. Beyond these the words hold only what the program asks for.
constexpr DWORD systemStyle = WS_DLGFRAME | WS_CLIPSIBLINGS;
constexpr DWORD systemExStyle = WS_EX_WINDOWEDGE;
constexpr DWORD windowStyleWord = WS_CLIPCHILDREN | WS_BORDER | WS_VISIBLE;

struct StartCase {
    const char* name;
    int showCommand;
};

// A start-up show command that hides the window must not keep it hidden;
// one that minimises it (a shortcut set so) leaves it as a start does, once
// the user restores it: the first list has the focus.
const StartCase startCases[] = {
    {"default start", -1},
    {"started with SW_HIDE", SW_HIDE},
    {"started with SW_SHOWNORMAL", SW_SHOWNORMAL},
    {"started with SW_SHOWMINIMIZED", SW_SHOWMINIMIZED},
    {"started with SW_MINIMIZE", SW_MINIMIZE},
    {"started with SW_SHOWMINNOACTIVE", SW_SHOWMINNOACTIVE},
};

// Wine's combo box keeps the scroll bar and the sunken edge to itself and
// does not show them in its style words.
constexpr DWORD listStyleHeldByWine = WS_VSCROLL;
constexpr DWORD listExStyleHeldByWine = WS_EX_CLIENTEDGE;

RECT RectInClient(HWND parent, const RECT& screenRect)
{
    RECT rect = screenRect;
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string Hex(DWORD word)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", word);
    return text;
}

class Window : public testing::TestWithParam<StartCase> {};

TEST_P(Window, IsShownAsTheProgramMadeIt)
{
    Program program;
    ASSERT_TRUE(StartProgram(program, nullptr, GetParam().showCommand));
    EXPECT_TRUE(Restore(program));
    EXPECT_EQ(ClassName(program.window), "MainWindow");
    char text[256] = {};
    int titleLength = GetWindowTextA(program.window, text, sizeof text);
    EXPECT_EQ(std::string(text, titleLength > 0 ? titleLength : 0), title);
    RECT outer{};
    GetWindowRect(program.window, &outer);
    EXPECT_EQ(outer.right - outer.left, Scaled(365, EnvironmentDpi()));
    EXPECT_EQ(outer.bottom - outer.top, Scaled(490, EnvironmentDpi()));
    EXPECT_TRUE(IsWindowVisible(program.window));
    EXPECT_EQ(GetMenu(program.window), nullptr);
    EXPECT_EQ(GetParent(program.window), nullptr);

    DWORD style = static_cast<DWORD>(GetWindowLongPtrA(program.window, GWL_STYLE));
    for (const StyleBit& bit : windowStyleBits)
        EXPECT_EQ((style & bit.bit) != 0, bit.set) << "style " << bit.name;
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(program.window, GWL_EXSTYLE));
    EXPECT_EQ(Hex(style & ~systemStyle), Hex(windowStyleWord)) << "whole style word";
    EXPECT_EQ(Hex(exStyle & ~systemExStyle), Hex(0)) << "whole extended style word";
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(program) == program[fpsCombo]; }, reactionTimeoutMs))
        << "focus after start";
    QuitWithButton(program);
}

INSTANTIATE_TEST_SUITE_P(Starts, Window, testing::ValuesIn(startCases), RowName());

// What the file's properties and Task Manager show of the program, read the
// way they read it: the German block's strings as UTF-16, and the version
// that project() in CMakeLists.txt names.
TEST(Window, VersionResourceNamesTheProgram)
{
    wchar_t path[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, programPath.c_str(), -1, path, MAX_PATH);
    DWORD unused = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(path, &unused));
    ASSERT_FALSE(info.empty()) << "no version resource";
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));
    void* value = nullptr;
    UINT length = 0;
    auto query = [&](const std::wstring& key) {
        return VerQueryValueW(info.data(), key.c_str(), &value, &length) && length > 0;
    };
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileDescription", L"Einstellungen f\u00FCr den tessorn-Renderer"},
        {L"ProductName", L"tessorn-config"},
        {L"InternalName", L"tessorn-config.exe"},
        {L"OriginalFilename", L"tessorn-config.exe"},
        {L"FileVersion", L"" TESSORN_VERSION},
        {L"ProductVersion", L"" TESSORN_VERSION},
    };
    for (const auto& [name, expected] : strings) {
        bool found = query(std::wstring(L"\\StringFileInfo\\040704E4\\") + name);
        EXPECT_EQ(found ? static_cast<const wchar_t*>(value) : L"(missing)", std::wstring(expected))
            << name;
    }
    ASSERT_TRUE(query(L"\\VarFileInfo\\Translation"));
    EXPECT_EQ(*static_cast<const DWORD*>(value), static_cast<DWORD>(MAKELONG(0x0407, 1252)))
        << "German, code page 1252";
    ASSERT_TRUE(query(L"\\"));
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    char version[64];
    std::snprintf(version, sizeof version, "%u.%u.%u.%u", HIWORD(fixed.dwFileVersionMS),
                  LOWORD(fixed.dwFileVersionMS), HIWORD(fixed.dwFileVersionLS),
                  LOWORD(fixed.dwFileVersionLS));
    EXPECT_EQ(std::string(version), TESSORN_VERSION ".0");
    EXPECT_TRUE(fixed.dwProductVersionMS == fixed.dwFileVersionMS &&
                fixed.dwProductVersionLS == fixed.dwFileVersionLS);
}

TEST(Controls, StandWhereTheProgramPutsThem)
{
    Program program;
    ASSERT_TRUE(StartProgram(program));
    for (const ControlRow& row : controlRows) {
        SCOPED_TRACE(std::string("control ") + ControlName(row.control));
        HWND control = program[row.control];
        bool isList = std::strcmp(row.className, "ComboBox") == 0;
        EXPECT_EQ(_stricmp(ClassName(control).c_str(), row.className), 0) << ClassName(control);
        EXPECT_EQ(WindowTextBytes(control), row.caption);
        EXPECT_EQ(GetDlgCtrlID(control), 0);
        EXPECT_EQ(GetWindowLongPtrA(control, GWLP_ID), 0);

        DWORD style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
        DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_EXSTYLE));
        DWORD styleMask = isList ? ~listStyleHeldByWine : ~0u;
        DWORD exStyleMask = isList ? ~listExStyleHeldByWine : ~0u;
        EXPECT_EQ(Hex(style & styleMask), Hex(row.style & styleMask)) << "style";
        EXPECT_EQ(Hex(exStyle & exStyleMask), Hex(row.exStyle & exStyleMask)) << "extended style";
    }
    ExpectControlPlaces(program, EnvironmentDpi());
    QuitWithButton(program);
}

TEST(Lists, HoldTheirItems)
{
    Program program;
    ASSERT_TRUE(StartProgram(program));
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
        {fpsCombo, {"keine", "links oben", "rechts oben", "links unten", "rechts unten"}},
        {clockCombo, {"keine", "digitale", "kl. analoge", "gr. analoge"}},
        {memCombo, memItems},
    };
    for (const ListRow& row : lists) {
        HWND list = program[row.list];
        SCOPED_TRACE(std::string("items of ") + ControlName(row.list));
        EXPECT_EQ(SendTo(list, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(row.items.size()));
        for (size_t index = 0; index < row.items.size(); ++index)
            EXPECT_EQ(ListItemBytes(list, static_cast<int>(index)), row.items[index])
                << "item #" << index;
    }
    // The memory list is far longer than its drop-down, which therefore needs
    // the scroll bar that the list asks for. Wine keeps the drop-downs as
    // hidden top-level windows without a link to their list, so the one with
    // 101 items is taken.
    int longLists = 0;
    for (HWND dropDown : TopLevelWindows(program, "ComboLBox")) {
        if (SendTo(dropDown, LB_GETCOUNT, 0, 0) != 101)
            continue;
        ++longLists;
        EXPECT_EQ(GetWindowLongPtrA(dropDown, GWL_STYLE) & WS_VSCROLL, WS_VSCROLL)
            << "memCombo's drop-down scrolls";
    }
    EXPECT_EQ(longLists, 1) << "drop-downs with 101 items";
    QuitWithButton(program);
}

// The window on machines unlike the one it was drawn on: CTest runs the
// window, control, list and paint groups and these once more per
// environment, each in a Wine prefix of its own with another system code
// page (Russian, Japanese) or another display scale, named in
// TESSORN_UI_CODEPAGE and TESSORN_UI_DPI.

// The program's font as a Western request for it at a scale.
HFONT CreateWesternFont(int dpi)
{
    return CreateFontA(Scaled(16, dpi), Scaled(7, dpi), 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET,
                       OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       VARIABLE_PITCH | FF_DONTCARE, "TAHOMA");
}

// The face this machine gives a Western request for the program's font.
std::string WesternFace(int dpi)
{
    HFONT font = CreateWesternFont(dpi);
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    char bytes[LF_FACESIZE * 4] = "";
    WideCharToMultiByte(CP_UTF8, 0, face, -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}

// Every control holds the program's font at the window's scale, asked for
// in the Western character set, and draws with the face a Western request
// gets here: no locale swaps in a face whose letters do not fit.
void ExpectControlFonts(const Program& program, int dpi)
{
    std::vector<FontReport> fonts;
    ASSERT_TRUE(ReadControlFonts(program, fonts));
    ASSERT_GE(fonts.size(), static_cast<size_t>(controlCount));
    const std::string western = WesternFace(dpi);
    for (int index = 0; index < controlCount; ++index) {
        SCOPED_TRACE(ControlName(static_cast<Control>(index)));
        const FontReport& font = fonts[index];
        EXPECT_EQ(font.height, Scaled(16, dpi));
        EXPECT_EQ(font.width, Scaled(7, dpi));
        EXPECT_EQ(font.weight, FW_BOLD);
        EXPECT_EQ(font.charSet, ANSI_CHARSET);
        EXPECT_EQ(font.faceName, "TAHOMA");
        EXPECT_EQ(font.realisedFace, western);
    }
}

// Without the locale (or the scale) in place, every other check here would
// pass on an English 96-dpi machine and prove nothing.
TEST(Environment, IsTheOneAskedFor)
{
    EXPECT_EQ(GetACP(), static_cast<UINT>(EnvironmentNumber("TESSORN_UI_CODEPAGE", 1252)));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), EnvironmentDpi());
    ReleaseDC(nullptr, screen);
    // A colour scheme, named as NAME:R G B,...
    char colours[512] = "";
    GetEnvironmentVariableA("TESSORN_UI_COLOURS", colours, sizeof colours);
    const std::pair<const char*, int> schemeColours[] = {{"ButtonFace:", COLOR_BTNFACE},
                                                         {"ButtonText:", COLOR_BTNTEXT}};
    for (const auto& [name, element] : schemeColours) {
        const char* value = std::strstr(colours, name);
        int red = 0, green = 0, blue = 0;
        if (value && std::sscanf(value + std::strlen(name), "%d %d %d", &red, &green, &blue) == 3) {
            EXPECT_EQ(GetSysColor(element), RGB(red, green, blue)) << name;
        }
    }
}

TEST(Environment, ControlsDrawWithAWesternFontAtTheScale)
{
    Program program;
    ASSERT_TRUE(StartProgram(program));
    ExpectControlFonts(program, EnvironmentDpi());
    QuitWithButton(program);
}

// Moved to a monitor of another scale, the window takes the suggested
// rectangle, its controls their places and the font its size there; the
// choices shown and the focus stay.
TEST(Environment, DpiChangeRescalesWindowControlsAndFont)
{
    const int dpi = EnvironmentDpi();
    const int newDpi = dpi == 96 ? 144 : 96;
    const std::string file = DefaultFileWith({{"FPS:", "3"}, {"WINDOWED:", "1"}, {"MEM:", "064"}});
    Program program;
    ASSERT_TRUE(StartProgram(program, &file));
    ASSERT_TRUE(
        WaitUntil([&] { return FocusOf(program) == program[fpsCombo]; }, reactionTimeoutMs));
    RECT before{};
    GetWindowRect(program.window, &before);
    const RECT suggested = {before.left + 10, before.top + 20,
                            before.left + 10 + Scaled(365, newDpi),
                            before.top + 20 + Scaled(490, newDpi)};
    ASSERT_TRUE(SendDpiChanged(program, newDpi, suggested));

    RECT after{};
    GetWindowRect(program.window, &after);
    EXPECT_EQ(after.left, suggested.left);
    EXPECT_EQ(after.top, suggested.top);
    EXPECT_EQ(after.right, suggested.right);
    EXPECT_EQ(after.bottom, suggested.bottom);
    ExpectControlPlaces(program, newDpi);
    ExpectControlFonts(program, newDpi);
    ExpectShown(program, {{windowedCheck, BST_CHECKED}, {fpsCombo, 3}, {memCombo, 56}});
    EXPECT_EQ(FocusOf(program), program[fpsCombo]);
    QuitWithButton(program);
    ExpectFileIs(program, true, file);
}

}  // namespace

void ExpectControlPlaces(const Program& program, int dpi)
{
    std::vector<RECT> closed;
    for (const ControlRow& row : controlRows) {
        SCOPED_TRACE(std::string("place of ") + ControlName(row.control) + " at " +
                     std::to_string(dpi) + " dpi");
        HWND control = program[row.control];
        RECT screenRect{};
        GetWindowRect(control, &screenRect);
        RECT rect = RectInClient(program.window, screenRect);
        closed.push_back(rect);
        EXPECT_EQ(rect.left, Scaled(row.x, dpi));
        EXPECT_EQ(rect.top, Scaled(row.y, dpi));
        EXPECT_EQ(rect.right - rect.left, Scaled(row.width, dpi));
        int fieldHeight = rect.bottom - rect.top;
        if (std::strcmp(row.className, "ComboBox") == 0) {
            // The window is the closed field; the height given at creation is
            // that of the field with its list dropped down. Wine reports the
            // dropped-down part alone, from the field's top.
            RECT dropped{};
            SendTo(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            RECT droppedRect = RectInClient(program.window, dropped);
            EXPECT_EQ(droppedRect.left, Scaled(row.x, dpi));
            EXPECT_EQ(droppedRect.top, Scaled(row.y, dpi));
            EXPECT_EQ(droppedRect.right - droppedRect.left, Scaled(row.width, dpi));
            EXPECT_EQ(fieldHeight + droppedRect.bottom - droppedRect.top, Scaled(row.height, dpi));
        } else {
            EXPECT_EQ(fieldHeight, Scaled(row.height, dpi));
        }
    }
    // Whatever the tables say, a control on another would hide it: the closed
    // controls lie apart, each within the client area.
    SCOPED_TRACE("closed controls at " + std::to_string(dpi) + " dpi");
    RECT client{}, common{};
    GetClientRect(program.window, &client);
    for (size_t index = 0; index < closed.size(); ++index) {
        std::string name = ControlName(controlRows[index].control);
        bool inside = IntersectRect(&common, &closed[index], &client) &&
                      EqualRect(&common, &closed[index]);
        EXPECT_TRUE(inside) << name << " reaches beyond the client area";
        for (size_t other = index + 1; other < closed.size(); ++other)
            EXPECT_FALSE(IntersectRect(&common, &closed[index], &closed[other]))
                << name << " overlaps " << ControlName(controlRows[other].control);
    }
}
