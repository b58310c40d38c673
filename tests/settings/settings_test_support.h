// Shared by the settings tests: a readable form of the record, value bytes,
// and a fresh working directory per test so that "tessorn.ini" is ours alone.
#ifndef TESSORN_SETTINGS_TEST_SUPPORT_H
#define TESSORN_SETTINGS_TEST_SUPPORT_H

#include "settings.h"
#include "default_file_with.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

// Every field by its key, so a mismatch shows which field differs.
inline std::string Describe(const Settings& record)
{
    std::string text;
    for (const SettingsKey& key : settingsKeys) {
        if (key.savedLine != 0)
            text += key.text + std::to_string(record.*key.field) + " ";
    }
    return text;
}

// The value bytes of lines 2 to N of a file as the writer lays it out, in
// line order: what the controls showed.
inline std::string ValueBytesOf(const std::string& file)
{
    std::string bytes;
    for (size_t end = file.find("\r\n"); (end = file.find("\r\n", end + 2)) != std::string::npos;)
        bytes += file[end - 1];
    EXPECT_EQ(bytes.size(), size_t{savedValueCount}) << "value bytes in " << file;
    return bytes;
}

using FieldValues = std::vector<std::pair<int32_t Settings::*, int32_t>>;

inline Settings DefaultsWith(const FieldValues& changes)
{
    Settings record;
    SetDefaults(&record);
    for (const auto& change : changes)
        record.*change.first = change.second;
    return record;
}

class InFreshDirectory : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tessorn-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        char* previous = getcwd(nullptr, 0);
        previousDirectory = previous;
        free(previous);
        // Inside a folder that only its maker may enter: what a test gives
        // another user stays out of reach of that user's other processes
        // while the test, perhaps as root, goes on working in it.
        ASSERT_EQ(mkdir((directory + "/work").c_str(), 0755), 0);
        ASSERT_EQ(chdir((directory + "/work").c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(previousDirectory.c_str()), 0);
        std::string command = "chmod -R u+w '" + directory + "' && rm -rf '" + directory + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string directory;
    std::string previousDirectory;
};

#endif
