// Writes load cases for the UI driver, each with the window state that the
// program's own reader, built for this machine, makes of the file: they check
// that the window shows what the file holds, read through Win32 and shown in
// the controls, not the reading itself, which is the parser tests' to check.
//
//   case-generator DIR   writes DIR/hostile-files.cases, DIR/differential.cases
//                        and the case files they name
//
// One line per case, fields separated by one blank, the name last:
//   SETUP FILE STATES NAME
// SETUP   file: FILE is tessorn.ini;
//         directory: tessorn.ini is an empty directory (FILE is "-")
// STATES  KEY:STATE for each saved key, separated by commas: a box's 1 or 0,
//         the item a list shows (-1 for none); the UI tests know the controls
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "settings.h"

namespace {

constexpr int fpsItemCount = 5;    // none and the four corners
constexpr int clockItemCount = 4;  // none, digital, small and large analogue

enum class Setup { File, Directory };
const char* const setupNames[] = {"file", "directory"};

struct Case {
    std::string name;
    Setup setup;
    std::string bytes;
};

// A list shows the item of that index, or nothing when it has no such item.
int ListItem(int32_t value, int itemCount)
{
    return value >= 0 && value < itemCount ? value : -1;
}

// What the window shows after starting with this case's tessorn.ini.
std::string ExpectedState(const Case& entry)
{
    Settings record;
    SetDefaults(&record);
    if (entry.setup == Setup::File) {
        std::string content = entry.bytes;
        ParseSettings(reinterpret_cast<unsigned char*>(content.data()), content.size(), &record);
        ClampLoadedMem(&record);
    }
    std::string states;
    for (const SettingsKey& key : settingsKeys) {
        if (key.savedLine == 0)
            continue;
        int32_t value = record.*key.field;
        int state = key.field == &Settings::mem
                        ? std::clamp<int32_t>(value, memListFirst, memListLast) - memListFirst
                    : key.field == &Settings::fpsPosition ? ListItem(value, fpsItemCount)
                    : key.field == &Settings::clockStyle  ? ListItem(value, clockItemCount)
                                                          : value != 0;
        states += (states.empty() ? "" : ",") + std::string(key.text) + std::to_string(state);
    }
    return states;
}

bool WriteCases(const std::filesystem::path& directory, const char* group,
                const std::vector<Case>& cases)
{
    std::string list;
    int index = 0;
    for (const Case& entry : cases) {
        std::string fileName = "-";
        if (entry.setup != Setup::Directory) {
            char name[64];
            std::snprintf(name, sizeof name, "%s-%03d.bin", group, index);
            fileName = name;
            FILE* file = std::fopen((directory / fileName).string().c_str(), "wb");
            if (!file ||
                std::fwrite(entry.bytes.data(), 1, entry.bytes.size(), file) !=
                    entry.bytes.size() ||
                std::fclose(file) != 0) {
                std::fprintf(stderr, "cannot write %s\n", fileName.c_str());
                return false;
            }
        }
        list += std::string(setupNames[static_cast<int>(entry.setup)]) + " " + fileName + " " +
                ExpectedState(entry) + " " + entry.name + "\n";
        ++index;
    }
    FILE* file = std::fopen((directory / (std::string(group) + ".cases")).string().c_str(), "wb");
    bool written = file && std::fwrite(list.data(), 1, list.size(), file) == list.size();
    return (file && std::fclose(file) == 0) && written;
}

// splitmix64: the same numbers from the same seed on every machine.
struct Random {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t limit)
    {
        return static_cast<uint32_t>(Next() % limit);
    }
    bool OneIn(uint32_t n)
    {
        return Below(n) == 0;
    }
};

// Bytes that sit at the edges of what the reader accepts.
const char oddBytes[] = {'\0', ' ',    '\t',   '/',    ':',    '=', ';', 'A',
                         'z',  '\x7F', '\x80', '\xC4', '\xFF', '5', '9'};

char OddByte(Random& random)
{
    return oddBytes[random.Below(sizeof oddBytes)];
}

std::string ValueBytes(Random& random, unsigned width)
{
    std::string value;
    unsigned count = random.OneIn(6) ? random.Below(width + 2) : width;
    for (unsigned index = 0; index < count; ++index) {
        uint32_t kind = random.Below(8);
        value += kind < 5    ? static_cast<char>('0' + random.Below(10))
                 : kind == 5 ? (random.OneIn(2) ? '\r' : '\n')
                             : OddByte(random);
    }
    return value;
}

// One line's text: mostly a key and its value, sometimes a key spelt almost
// right, a note, digits or odd bytes.
std::string LineText(Random& random)
{
    const SettingsKey& key = settingsKeys[random.Below(static_cast<uint32_t>(settingsKeyCount))];
    std::string text = key.text;
    switch (random.Below(12)) {
    case 0:
        text = " " + text;
        break;
    case 1:
        text[0] = static_cast<char>(text[0] ^ 0x20);
        break;  // letter case
    case 2:
        text.resize(random.Below(static_cast<uint32_t>(text.size())));
        return text;
    case 3:
        return "; " + std::to_string(random.Next() % 100000);
    case 4:
        return std::to_string(random.Next() % 1000000);
    case 5: {
        std::string odd;
        for (uint32_t count = 1 + random.Below(6); count > 0; --count)
            odd += OddByte(random);
        return odd;
    }
    default:
        break;
    }
    return text + ValueBytes(random, key.valueWidth);
}

std::string LineEnd(Random& random)
{
    switch (random.Below(10)) {
    case 0:
        return "";  // the next line runs on
    case 1:
        return "\n";
    case 2:
        return "\r";
    case 3:
        return "\r\n\r\n";
    case 4:
        return "\n\r";
    default:
        return "\r\n";
    }
}

std::vector<Case> DifferentialCases()
{
    Random random{0x7E550A1Cull};
    std::vector<Case> cases;
    for (int index = 0; index < 300; ++index) {
        std::string bytes;
        for (uint32_t lines = 2 + random.Below(22); lines > 0; --lines)
            bytes += LineText(random) + LineEnd(random);
        // Files cut off anywhere, as by a full disk or a crash.
        if (random.OneIn(4))
            bytes.resize(random.Below(static_cast<uint32_t>(bytes.size()) + 1));
        cases.push_back({"random file " + std::to_string(index), Setup::File, bytes});
    }
    return cases;
}

std::vector<Case> HostileCases()
{
    std::vector<Case> cases = {
        {"empty", Setup::File, ""},
        {"one byte", Setup::File, "M"},
        {"no line end at all", Setup::File, "WINDOWED:1 STATS:1 FPS:3 MEM:050 UHRZEIT:2"},
        {"only separators", Setup::File, ""},
        {"every byte value 0 to 255", Setup::File, ""},
        {"every byte value 0 to 255 as a value, keys in turn", Setup::File, ""},
        {"binary garbage", Setup::File, ""},
    };
    for (int copy = 0; copy < 400; ++copy)
        cases[3].bytes += "\r\n\n\r\r"[copy % 5];
    for (int byte = 0; byte < 256; ++byte) {
        cases[4].bytes += static_cast<char>(byte);
        cases[5].bytes += settingsKeys[static_cast<size_t>(byte) % settingsKeyCount].text;
        cases[5].bytes += std::string(1, static_cast<char>(byte)) + "\r\n";
    }
    Random random{0xB1A4B1A4ull};
    for (int count = 0; count < 65536; ++count)
        cases[6].bytes += static_cast<char>(random.Below(256));

    // Every saved line with a value that a zero byte would not give (for the
    // switches on by default, their default), so that a value read from
    // beyond the end would show.
    std::string everySet;
    for (const SettingsKey& key : settingsKeys) {
        if (key.savedLine != 0)
            everySet += key.text + std::string(key.field == &Settings::mem ? "050" : "1") + "\r\n";
    }
    for (size_t index = 0; index < settingsKeyCount; ++index) {
        std::string key = settingsKeys[index].text;
        cases.push_back({key + " cut off at the very end", Setup::File, everySet + key});
    }
    cases.push_back(
        {"MEM: with two of its three digits at the very end", Setup::File, everySet + "MEM:07"});

    // 100 MiB of lines whose last one changes a value, which a reader that
    // stops early misses.
    std::string block = "WINDOWED:1\r\nFPS:2\r\nUHRZEIT:3\r\nMEM:077\r\nSTATS:1\r\nDIRECTX:0\r\n; ";
    block.resize(1022, '-');
    block += "\r\n";
    cases.push_back({"100 MiB of lines, the last one FPS:1", Setup::File, ""});
    for (int copy = 0; copy < 100 * 1024; ++copy)
        cases.back().bytes += block;
    cases.back().bytes += "FPS:1\r\n";

    cases.push_back({"a directory named tessorn.ini", Setup::Directory, ""});
    return cases;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    std::filesystem::path directory = argv[1];
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    return WriteCases(directory, "hostile-files", HostileCases()) &&
                   WriteCases(directory, "differential", DifferentialCases())
               ? 0
               : 1;
}
