#include "checks.h"

#include <cctype>

#include "default_settings_file.h"

std::string DefaultFileWith(const Values& values)
{
    std::string file = defaultSettingsFile;
    for (const auto& [key, value] : values) {
        size_t line = file.compare(0, key.size(), key) == 0 ? 0 : file.find("\n" + key) + 1;
        file.replace(line + key.size(), value.size(), value);
    }
    return file;
}

const Control checkBoxes[11] = {palettedTextureCheck, sharedPaletteCheck, packedPixelsCheck,
                                windowedCheck,        centeredCheck,      directxCheck,
                                fixedGammaCheck,      softResChangeCheck, mouseClipCheck,
                                framerateCheck,       statsCheck};

void ExpectShown(const Program& program, const Shown& shown)
{
    for (size_t index = 0; index < std::size(checkBoxes); ++index) {
        int ticked = shown.boxes[index] == '1' ? BST_CHECKED : BST_UNCHECKED;
        EXPECT_EQ(CheckState(program, checkBoxes[index]), ticked) << ControlName(checkBoxes[index]);
    }
    EXPECT_EQ(Selection(program, fpsCombo), shown.fpsItem) << "fpsCombo";
    EXPECT_EQ(Selection(program, clockCombo), shown.clockItem) << "clockCombo";
    EXPECT_EQ(Selection(program, memCombo), shown.memItem) << "memCombo";
}

void ExpectFileIs(const Program& program, bool exists, const std::string& content)
{
    std::string after;
    bool found = ReadFileBytes(program.SettingsPath(), after);
    EXPECT_EQ(found, exists) << "whether tessorn.ini is there";
    if (!found || !exists)
        return;
    if (content.size() <= 4096) {
        EXPECT_EQ(after, content);
    } else {
        EXPECT_TRUE(after == content)
            << "the file has " << after.size() << " bytes, expected " << content.size();
    }
}

void ExpectCleanExit(Program& program)
{
    DWORD exitCode = STILL_ACTIVE;
    if (!WaitForExit(program, exitTimeoutMs, exitCode)) {
        ADD_FAILURE() << "the program did not end within " << exitTimeoutMs << " ms";
        return;
    }
    EXPECT_EQ(exitCode, 0u);
}

void QuitWithButton(Program& program)
{
    if (!program.window)
        return;  // the start already failed
    if (!IsRunning(program)) {
        ADD_FAILURE() << "the program had ended before Beenden was clicked";
        return;
    }
    PostClick(program, quitButton);
    ExpectCleanExit(program);
}

std::string TestName(std::string_view text)
{
    std::string name;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name;
}

int EnvironmentNumber(const char* variable, int fallback)
{
    char value[16] = "";
    GetEnvironmentVariableA(variable, value, sizeof value);
    return atoi(value) > 0 ? atoi(value) : fallback;
}

int EnvironmentDpi()
{
    return EnvironmentNumber("TESSORN_UI_DPI", 96);
}

int Scaled(int length, int dpi)
{
    return MulDiv(length, dpi, 96);
}
