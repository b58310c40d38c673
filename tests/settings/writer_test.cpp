#include "settings.h"
#include "settings_test_support.h"

#include <string.h>
#include <string>

namespace {

const std::string defaultFile = defaultSettingsFile;
const std::string defaultValues = ValueBytesOf(defaultFile);

std::string Format(int32_t mem, const std::string& valueBytes)
{
    unsigned char out[settingsFileSize + 1];
    out[settingsFileSize] = 0xEE;  // must stay: the writer has a fixed length
    if (valueBytes.size() != savedValueCount)
        return "value bytes of another count";
    FormatSettings(mem, (const unsigned char*)valueBytes.data(), out);
    EXPECT_EQ(out[settingsFileSize], 0xEE) << "wrote past the file's fixed size";
    return std::string((const char*)out, settingsFileSize);
}

TEST(FormatSettings, WritesTheFourteenLinesInTheirOrder)
{
    EXPECT_EQ(Format(16, defaultValues), defaultFile);

    const std::string allClear = Format(8, std::string(savedValueCount, '0'));
    EXPECT_EQ(ValueBytesOf(allClear), std::string(savedValueCount, '0'));
    EXPECT_EQ(allClear.substr(0, 9), "MEM:008\r\n");
}

TEST(FormatSettings, MemHasThreeDigitsWithLeadingZeros)
{
    struct Case {
        int32_t mem;
        const char* line;
    };
    const Case cases[] = {
        {8, "MEM:008\r\n"},   {16, "MEM:016\r\n"}, {99, "MEM:099\r\n"},   {108, "MEM:108\r\n"},
        {999, "MEM:999\r\n"}, {0, "MEM:000\r\n"},  {1000, "MEM:999\r\n"}, {-5, "MEM:000\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Format(c.mem, defaultValues).substr(0, 9), c.line) << "mem " << c.mem;
}

TEST(FormatSettings, FileReadsBackAsWhatWasWritten)
{
    Settings defaults;
    SetDefaults(&defaults);
    std::string file = Format(defaults.mem, defaultValues);
    Settings record;
    memset(&record, 0, sizeof record);
    ParseSettings((unsigned char*)file.data(), file.size(), &record);
    EXPECT_EQ(Describe(record), Describe(defaults));
    EXPECT_EQ(file, defaultFile) << "reading changed no byte of a file we wrote";
}

TEST(WriteText, WritesNothingForNullOrEmptyText)
{
    unsigned char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(WriteText(out, nullptr), out);
    EXPECT_EQ(WriteText(out, ""), out);
    EXPECT_EQ(WriteText(out, "ab"), out + 2);
    EXPECT_EQ(std::string((char*)out, 4), "abxx");
}

}  // namespace
