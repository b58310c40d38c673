// Checks the groups of UI tests share: what the window should show, what the
// file should hold, and how the program should end.
#ifndef TESSORN_UI_CHECKS_H
#define TESSORN_UI_CHECKS_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "default_file_with.h"
#include "program.h"

// Keys by virtual-key code and scan code (set 1), which is what the program
// looks at in lParam.
constexpr Key tabKey{VK_TAB, 0x0F, false};
constexpr Key spaceKey{VK_SPACE, 0x39, false};
constexpr Key enterKey{VK_RETURN, 0x1C, false};

constexpr DWORD checkBoxStyle = 0x50000003;  // child, visible, auto check box
constexpr DWORD listStyle = 0x50200003;      // child, visible, vertical scroll, drop-down list
constexpr DWORD saveStyle = 0x50030300;      // child, visible, group, tab stop, centred push button
constexpr DWORD quitStyle = 0x50020300;      // the same without tab stop

// The controls as the tests know them, each with the key of the file whose
// value it shows: a box is ticked for a value other than 0, a list shows
// the item of the value less its first item's value.
struct ControlRow {
    Control control;
    const char* className;
    const char* caption;  // code page 1252 bytes
    DWORD style;
    DWORD exStyle;
    int x, y, width, height;  // client coordinates; a list's height includes its drop-down
    const char* key = nullptr;
    int firstItem = 0;
};

// clang-format off
inline constexpr ControlRow controlRows[] = {
    {palettedTextureCheck, "Button", "GL_EXT_paletted_texture", checkBoxStyle, 0, 100, 145, 235, 20, "GL_EXT_paletted_texture:"},
    {sharedPaletteCheck, "Button", "GL_EXT_shared_texture_palette", checkBoxStyle, 0, 100, 175, 235, 20, "GL_EXT_shared_texture_palette:"},
    {packedPixelsCheck, "Button", "GL_EXT_packed_pixels", checkBoxStyle, 0, 100, 205, 235, 20, "GL_EXT_packed_pixels:"},
    {windowedCheck, "Button", "Fenstermodus", checkBoxStyle, 0, 100, 235, 115, 20, "WINDOWED:"},
    {centeredCheck, "Button", "Zentriert", checkBoxStyle, 0, 100, 265, 115, 20, "ZENTRIERT:"},
    {directxCheck, "Button", "DirectX zum Einrichten", checkBoxStyle, 0, 100, 295, 205, 20, "DIRECTX:"},
    {fixedGammaCheck, "Button", "feste Gamma-Tabelle", checkBoxStyle, 0, 100, 325, 155, 20, "FESTESGAMMA:"},
    {softResChangeCheck, "Button", "weicher Aufl\xF6sungswechsel", checkBoxStyle, 0, 100, 355, 220, 20, "SOFTRESCHANGE:"},
    {mouseClipCheck, "Button", "Maus begrenzen", checkBoxStyle, 0, 100, 385, 150, 20, "MAUSGRENZEN:"},
    {fpsCombo, "ComboBox", "", listStyle, WS_EX_CLIENTEDGE, 5, 2, 110, 200, "FPS:"},
    {framerateCheck, "Button", "Framerate", checkBoxStyle, 0, 120, 30, 150, 20, "FRAMERATE:"},
    {clockCombo, "ComboBox", "", listStyle, WS_EX_CLIENTEDGE, 25, 52, 110, 200, "UHRZEIT:"},
    {statsCheck, "Button", "Texturmasse", checkBoxStyle, 0, 120, 80, 150, 20, "STATS:"},
    {memCombo, "ComboBox", "", listStyle, WS_EX_CLIENTEDGE, 65, 112, 50, 200, "MEM:", 8},
    {saveButton, "Button", "Speichern", saveStyle, 0, 20, 420, 150, 20},
    {quitButton, "Button", "Beenden", quitStyle, 0, 190, 420, 150, 20},
};
// clang-format on
static_assert(std::size(controlRows) == controlCount, "a row for every control");

// What the control shows for the default file's value.
int DefaultState(const ControlRow& row);

// What the window shows where it differs from the defaults: a box's check
// state (BST_CHECKED or BST_UNCHECKED), a list's selected item (-1 for none).
using States = std::vector<std::pair<Control, int>>;

// Checks every box and list, naming the control that differs.
void ExpectShown(const Program& program, const States& changes = {});

// Checks the file the program left: byte for byte, or only absent when
// `exists` is false. Big contents are compared without printing them.
void ExpectFileIs(const Program& program, bool exists, const std::string& content);

// Checks that the process ends by itself, soon, with exit code 0.
void ExpectCleanExit(Program& program);
// Ends the program with "Beenden" and checks its exit.
void QuitWithButton(Program& program);

// The display scale the tests run at (the prefix's, named by CTest in
// TESSORN_UI_DPI; 96 when not named), and a length given for 96 dpi at a
// scale, rounded as the program rounds it.
int EnvironmentNumber(const char* variable, int fallback);
int EnvironmentDpi();
int Scaled(int length, int dpi);

// Every control's place and size (a list's with its drop-down) at a scale,
// under every code page; closed, they lie apart within the client area.
void ExpectControlPlaces(const Program& program, int dpi);

// A table row's name as GoogleTest takes it in a test's name: letters and
// digits, one underscore for each run of anything else.
std::string TestName(std::string_view text);

// Names each row's test after the row's `name`.
struct RowName {
    template <typename Row> std::string operator()(const testing::TestParamInfo<Row>& info) const
    {
        return TestName(info.param.name);
    }
};

#endif
