// Helpers shared by the tests: a private data directory per test, and file access.
#pragma once

#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include "base/settings.h"
#include "util/platform.h"

#ifdef _WIN32
#include <windows.h>

#include "util/win_text.h"
#else
#include <cstdlib>
#endif

namespace tolvek::test {

inline void set_env(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    SetEnvironmentVariableW(wide(name).c_str(), value ? wide(*value).c_str() : nullptr);
#else
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
#endif
}

// Points APPDATA and LOCALAPPDATA at a fresh folder for the life of the object.
inline bool directory_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())), ec);
}

class ScopedDataDir {
public:
    ScopedDataDir() : old_appdata_(get_env("APPDATA")), old_local_(get_env("LOCALAPPDATA")) {
        std::random_device rd;
        // A space and a letter outside ASCII in every test path: a dropped quote in a command line
        // or a lossy conversion of a path shows at once.
        root_ = path_join(temp_dir(), "tolvek test Müller " + std::to_string(rd()) + std::to_string(rd()));
        create_directories(root_);
        set_env("APPDATA", path_join(root_, "Roaming"));
        set_env("LOCALAPPDATA", path_join(root_, "Local"));
    }
    ScopedDataDir(const ScopedDataDir&) = delete;
    ScopedDataDir& operator=(const ScopedDataDir&) = delete;
    ~ScopedDataDir() {
        set_env("APPDATA", old_appdata_);
        set_env("LOCALAPPDATA", old_local_);
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(reinterpret_cast<const char8_t*>(root_.c_str())), ec);
    }
    // The data directory Tolvek uses while this object lives.
    std::string dir() const { return path_join(path_join(root_, "Roaming"), "Tolvek"); }
    std::string file(const std::string& name) const { return path_join(dir(), name); }

private:
    std::optional<std::string> old_appdata_;
    std::optional<std::string> old_local_;
    std::string root_;
};

}  // namespace tolvek::test
