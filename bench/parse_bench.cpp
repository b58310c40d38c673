// How fast the reader goes through the file, against the least any reader
// must do: find the line ends of the same bytes.
#include "settings.h"
#include "default_settings_file.h"

#include <benchmark/benchmark.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

const char* const defaultFile = defaultSettingsFile;
const size_t defaultFileSize = sizeof defaultSettingsFile - 1;

// Lines people and programs really leave in the file, and lines that try
// the reader: bad values, cut keys, wrong case, stray bytes, long junk.
// clang-format off
const char* const sampleLines[] = {
    "MEM:016\r\n", "GL_EXT_paletted_texture:1\r\n", "ZENTRIERT:0\r\n", "MAUSGRENZEN:1\r\n",
    "GL_EXT_shared_texture_palette:1\r\n", "GL_EXT_packed_pixels:1\r\n", "WINDOWED:0\n",
    "DIRECTX:1\r\n", "SOFTRESCHANGE:1\r\n", "FESTESGAMMA:0\r\n", "FPS:3\r\n", "FRAMERATE:9\r\n",
    "UHRZEIT:7\r\n", "STATS:0\r\n", "8BITTEXTURE:1\r\n", "GL_EXT_palettized_textures:0\r\n",
    "; written by hand\r\n", "\r\n", "\n\r\n", "windowed:1\r\n", " DIRECTX:1\r\n",
    "MEM:8\r\n", "MEM:16\r\n", "WINDOWED:\r\n", "FPS:\xFF\r\n", "GL_EXT_\r\n", "STATS",
    "MEMORY=64\r\n", "\xEF\xBB\xBFMEM:032\r\n",
};
// clang-format on

std::vector<unsigned char> MakeMixedBuffer(size_t size)
{
    std::vector<unsigned char> buffer;
    buffer.reserve(size + 512);
    unsigned state = 12345;
    auto next = [&state] { return state = state * 1103515245u + 12345u, state >> 16; };
    const size_t sampleCount = sizeof sampleLines / sizeof sampleLines[0];
    while (buffer.size() < size) {
        unsigned pick = next() % (sampleCount + 3);
        if (pick < sampleCount) {
            const char* line = sampleLines[pick];
            buffer.insert(buffer.end(), line, line + strlen(line));
        } else {
            // junk of 20 to 200 bytes with no line end in it
            unsigned length = 20 + next() % 181;
            for (unsigned i = 0; i < length; ++i) {
                unsigned char byte = (unsigned char)next();
                buffer.push_back(byte == '\r' || byte == '\n' ? 'x' : byte);
            }
            buffer.push_back('\n');
        }
    }
    buffer.resize(size);
    return buffer;
}

size_t CountLines(const unsigned char* content, size_t length)
{
    size_t lines = 0;
    size_t i = 0;
    while (i < length) {
        ++lines;
        while (i < length && content[i] != '\r' && content[i] != '\n')
            ++i;
        while (i < length && (content[i] == '\r' || content[i] == '\n'))
            ++i;
    }
    return lines;
}

void ParseDefaultFile(benchmark::State& state)
{
    unsigned char buffer[sizeof defaultSettingsFile];
    Settings record;
    for (auto _ : state) {
        memcpy(buffer, defaultFile, defaultFileSize);
        SetDefaults(&record);
        ParseSettings(buffer, defaultFileSize, &record);
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)(defaultFileSize));
}
BENCHMARK(ParseDefaultFile);

const size_t mixedSize = 64u << 20;

// The parser rewrites clamped bytes, so every pass starts from a fresh copy
// taken outside the timing.
void ParseMixed(benchmark::State& state)
{
    const std::vector<unsigned char> original = MakeMixedBuffer(mixedSize);
    std::vector<unsigned char> buffer(original.size());
    Settings record;
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(buffer.data(), original.data(), original.size());
        state.ResumeTiming();
        SetDefaults(&record);
        ParseSettings(buffer.data(), buffer.size(), &record);
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)original.size());
}
BENCHMARK(ParseMixed)->Unit(benchmark::kMillisecond);

void LineScanMixed(benchmark::State& state)
{
    const std::vector<unsigned char> buffer = MakeMixedBuffer(mixedSize);
    for (auto _ : state)
        benchmark::DoNotOptimize(CountLines(buffer.data(), buffer.size()));
    state.SetBytesProcessed(state.iterations() * (int64_t)buffer.size());
}
BENCHMARK(LineScanMixed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
