// Helpers of the hot-plug tests: the platform's overrides set for one test and cleared after
// it, small files, and stand-in tools.
#pragma once

#include "platform/platform.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace systest {

// The DECKHOST_ variables a test sets; each is cleared again when the test ends.
class PlatformOverrides {
  public:
    PlatformOverrides() = default;
    PlatformOverrides(const PlatformOverrides &) = delete;
    PlatformOverrides &operator=(const PlatformOverrides &) = delete;
    ~PlatformOverrides() {
        for (const std::string &name : names_) unsetenv(name.c_str());
        platform_reload();
    }
    void set(const std::string &name, const std::string &value) {
        setenv(name.c_str(), value.c_str(), 1);
        names_.push_back(name);
        platform_reload();
    }

  private:
    std::vector<std::string> names_;
};

inline std::string readText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeText(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

// A shell script tool named name in dir.
inline void writeTool(const orvtest::TempDir &dir, const std::string &name, const std::string &body) {
    const std::string path = dir.file(name);
    writeText(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

} // namespace systest
