#include "settings.h"
#include "settings_test_support.h"
#include "default_settings_file.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

using namespace std::string_literals;

namespace {

void WriteSettingsFile(const std::string& bytes)
{
    FILE* file = fopen("tessorn.ini", "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(fclose(file), 0);
}

TEST(KeyMatches, ComparesWholeKeyWithinContent)
{
    struct Case {
        std::string content;
        const char* key;
        int expected;
    };
    // clang-format off
    const Case cases[] = {
        {"MEM:016", "MEM:", 1},
        {"MEM:", "MEM:", 1},           // all of the key lies within the content
        {"MEM", "MEM:", 0},            // the beginning alone is no match
        {"mem:016", "MEM:", 0},
        {" MEM:016", "MEM:", 0},
        {"MEX:016", "MEM:", 0},
        {"", "MEM:", 0},
        {"MEM:016", "", 1},            // the empty key matches anywhere
    };
    // clang-format on
    for (const Case& c : cases) {
        const unsigned char* begin = (const unsigned char*)c.content.data();
        EXPECT_EQ(KeyMatches(begin, begin + c.content.size(), c.key), c.expected)
            << "content '" << c.content << "' key '" << c.key << "'";
    }
    const unsigned char bytes[] = "MEM:016";
    EXPECT_EQ(KeyMatches(bytes, bytes + 3, "MEM:"), 0) << "the key's end lies beyond the content";
    EXPECT_EQ(KeyMatches(nullptr, bytes + 7, "MEM:"), 0);
    EXPECT_EQ(KeyMatches(bytes, bytes + 7, nullptr), 0);
    EXPECT_EQ(KeyMatches(bytes, nullptr, "MEM:"), 0);
}

// The reader rewrites clamped value bytes in place; the renderer's line
// structure (a swallowed line end) follows from the rewritten bytes.
TEST(ParseSettings, StoresClampedValueBytesBack)
{
    struct Case {
        std::string content;
        std::string afterwards;
    };
    // clang-format off
    const Case cases[] = {
        {"MEM:16\r\nFPS:9\n", "MEM:160\nFPS:4\n"},
        {"WINDOWED:\x80\r\n"s, "WINDOWED:9\r\n"},
        {"WINDOWED: 1", "WINDOWED:01"},
        {"MEM:8\r\nFPS:2", "MEM:800FPS:2"},
        {"windowed:\r\n", "windowed:\r\n"},
        {"STATS:", "STATS:"},           // nothing beyond the content is touched
    };
    // clang-format on
    for (const Case& c : cases) {
        std::string buffer = c.content;
        Settings record;
        SetDefaults(&record);
        ParseSettings((unsigned char*)buffer.data(), buffer.size(), &record);
        EXPECT_EQ(buffer, c.afterwards) << "from '" << c.content << "'";
    }
}

class LoadFromFile : public InFreshDirectory {};

TEST_F(LoadFromFile, GivesTheRecordThatEachFileDescribes)
{
    struct Case {
        const char* what;
        std::string content;
        FieldValues expected;  // changes from the defaults
    };
    // clang-format off
    const Case cases[] = {
        {"empty file", "", {}},
        {"written from the defaults", defaultSettingsFile, {}},
        {"every field changed",
         "MEM:064\r\nGL_EXT_paletted_texture:0\r\nZENTRIERT:1\r\nMAUSGRENZEN:1\r\n"
         "GL_EXT_shared_texture_palette:0\r\nGL_EXT_packed_pixels:0\r\nWINDOWED:1\r\n"
         "DIRECTX:0\r\nSOFTRESCHANGE:0\r\nFESTESGAMMA:1\r\nFPS:3\r\nFRAMERATE:0\r\n"
         "UHRZEIT:2\r\nSTATS:1\r\n",
         {{&Settings::mem, 64}, {&Settings::palettedTexture, 0}, {&Settings::centered, 1},
          {&Settings::mouseClip, 1}, {&Settings::sharedTexturePalette, 0},
          {&Settings::packedPixels, 0}, {&Settings::windowed, 1}, {&Settings::directx, 0},
          {&Settings::softResChange, 0}, {&Settings::fixedGamma, 1}, {&Settings::fpsPosition, 3},
          {&Settings::framerate, 0}, {&Settings::clockStyle, 2}, {&Settings::stats, 1}}},
        {"no line end at all", "WINDOWED:1", {{&Settings::windowed, 1}}},
        {"key in lower case", "windowed:1\r\n", {}},
        {"leading blank", " WINDOWED:1\r\n", {}},
        {"blank before the value", "DIRECTX: 1\r\n", {{&Settings::directx, 0}}},
        {"byte above the digits", "WINDOWED:\xC4\r\n"s, {{&Settings::windowed, 9}}},
        {"switch of 5 is kept", "WINDOWED:5\r\n", {{&Settings::windowed, 5}}},
        {"digits beyond the value", "WINDOWED:10\r\nMEM:0509\r\n",
         {{&Settings::windowed, 1}, {&Settings::mem, 50}}},
        {"FPS clamps at 4", "FPS:7\r\n", {{&Settings::fpsPosition, 4}}},
        {"FPS letter clamps at 4", "FPS:x\r\n", {{&Settings::fpsPosition, 4}}},
        {"FRAMERATE clamps at 4", "FRAMERATE:9\r\n", {{&Settings::framerate, 4}}},
        {"clock style beyond the list", "UHRZEIT:7\r\n", {{&Settings::clockStyle, 7}}},
        {"slash reads as 0", "UHRZEIT:2\r\nUHRZEIT:/\r\nDIRECTX:/\r\n", {{&Settings::directx, 0}}},
        {"MEM 050", "MEM:050\r\n", {{&Settings::mem, 50}}},
        {"MEM 000 clamps to 2", "MEM:000\r\n", {{&Settings::mem, 2}}},
        {"MEM 999 clamps to 108", "MEM:999\r\n", {{&Settings::mem, 108}}},
        {"MEM 005 survives loading", "MEM:005\r\n", {{&Settings::mem, 5}}},
        {"MEM with two digits takes the CR", "MEM:16\r\nWINDOWED:1\r\n",
         {{&Settings::mem, 108}, {&Settings::windowed, 1}}},
        {"MEM with one digit swallows the next line", "MEM:8\r\nWINDOWED:1\r\n",
         {{&Settings::mem, 108}}},
        {"empty value before CR LF", "DIRECTX:\r\nMEM:050\r\n",
         {{&Settings::directx, 0}, {&Settings::mem, 50}}},
        {"empty value before lone LF", "DIRECTX:\nMEM:050\n", {{&Settings::directx, 0}}},
        {"mixed separators", "WINDOWED:1\nZENTRIERT:1\rSTATS:1\n\rUHRZEIT:3\r\n\r\n\n\rFPS:2",
         {{&Settings::windowed, 1}, {&Settings::centered, 1}, {&Settings::stats, 1},
          {&Settings::clockStyle, 3}, {&Settings::fpsPosition, 2}}},
        {"byte-order mark hides the first line", "\xEF\xBB\xBFWINDOWED:1\r\nZENTRIERT:1\r\n"s,
         {{&Settings::centered, 1}}},
        {"later line wins", "WINDOWED:1\r\nWINDOWED:0\r\nWINDOWED:3\r\n", {{&Settings::windowed, 3}}},
        {"older key after current one", "GL_EXT_paletted_texture:0\r\n8BITTEXTURE:1\r\n", {}},
        {"current key after older one", "8BITTEXTURE:1\r\nGL_EXT_paletted_texture:0\r\n",
         {{&Settings::palettedTexture, 0}}},
        {"second older key", "GL_EXT_palettized_textures:0\r\n", {{&Settings::palettedTexture, 0}}},
        {"zero byte is an ordinary byte", "WINDOWED:1\0tail\r\nDIRECTX:\0\r\n"s,
         {{&Settings::windowed, 1}, {&Settings::directx, 0}}},
        {"value cut off at the end", "DIRECTX:", {}},
        {"MEM cut off at the end", "MEM:05", {}},
        {"earlier value survives a cut-off key", "WINDOWED:4\r\nWINDOWED:", {{&Settings::windowed, 4}}},
        {"key cut off at the end", "WINDOWED", {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        WriteSettingsFile(c.content);
        EXPECT_TRUE(LoadSettings()) << c.what;
        EXPECT_EQ(Describe(settings), Describe(DefaultsWith(c.expected))) << c.what;
    }
}

// Nothing there to lose: defaults at once, and no warning.
TEST_F(LoadFromFile, NoFileOrNoRegularFileGivesDefaults)
{
    struct Case {
        const char* what;
        int (*make)();
    };
    const Case cases[] = {
        {"no file", [] { return 0; }},
        {"a directory of that name", [] { return mkdir("tessorn.ini", 0755); }},
        {"a named pipe of that name", [] { return mkfifo("tessorn.ini", 0644); }},
    };
    Settings defaults;
    SetDefaults(&defaults);
    for (const Case& c : cases) {
        ASSERT_EQ(c.make(), 0) << c.what;
        memset(&settings, 0x55, sizeof settings);
        EXPECT_TRUE(LoadSettings()) << c.what;
        EXPECT_EQ(Describe(settings), Describe(defaults)) << c.what;
        rmdir("tessorn.ini");
        unlink("tessorn.ini");
    }
}

}  // namespace
