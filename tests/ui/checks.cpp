#include "checks.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

int DefaultState(const ControlRow& row)
{
    const std::string file = defaultSettingsFile;
    size_t line = ("\n" + file).find(std::string("\n") + (row.key ? row.key : "(none)"));
    EXPECT_NE(line, std::string::npos) << ControlName(row.control) << " shows no key of the file";
    int value = line == std::string::npos ? -1 : atoi(file.c_str() + line + strlen(row.key));
    return row.style == listStyle ? value - row.firstItem : value != 0;
}

void ExpectShown(const Program& program, const States& changes)
{
    for (const auto& [control, state] : changes) {
        EXPECT_TRUE(std::any_of(std::begin(controlRows), std::end(controlRows),
                                [&](auto& row) { return row.control == control && row.key; }))
            << ControlName(control) << " shows no setting";
    }
    for (const ControlRow& row : controlRows) {
        if (!row.key)
            continue;
        int expected = DefaultState(row);
        for (const auto& [control, state] : changes)
            expected = control == row.control ? state : expected;
        int shown = row.style == listStyle ? Selection(program, row.control)
                                           : CheckState(program, row.control);
        EXPECT_EQ(shown, expected) << ControlName(row.control);
    }
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
