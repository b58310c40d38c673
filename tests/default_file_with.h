// The default file with the values behind some keys replaced: how the tests
// of both builds state a file, naming only what differs from the defaults.
#ifndef TESSORN_DEFAULT_FILE_WITH_H
#define TESSORN_DEFAULT_FILE_WITH_H

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "default_settings_file.h"

using Values = std::vector<std::pair<std::string, std::string>>;

// A key that the default file lacks, or a value of another width than the
// one it replaces, fails the test that asks for it.
inline std::string DefaultFileWith(const Values& values)
{
    std::string file = defaultSettingsFile;
    for (const auto& [key, value] : values) {
        size_t line = ("\n" + file).find("\n" + key);
        if (line == std::string::npos || file.find('\r', line) != line + key.size() + value.size())
            ADD_FAILURE() << "no key " << key << " with a value as wide as \"" << value << "\"";
        else
            file.replace(line + key.size(), value.size(), value);
    }
    return file;
}

#endif
