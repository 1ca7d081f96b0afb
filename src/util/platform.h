// The few file, environment and clock operations the portable modules need. Paths are UTF-8.
// platform_win.cpp implements them with the wide Win32 calls, platform_posix.cpp for the
// native test build.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvek {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline std::string path_join(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '\\' && out.back() != '/') out += kPathSeparator;
    out += name;
    return out;
}

// An environment variable that exists (possibly empty), or nothing.
std::optional<std::string> get_env(const char* name);
// The system's temporary directory, without a trailing separator.
std::string temp_dir();

// Creates the directory with missing parents; true when it exists afterwards.
bool create_directories(const std::string& path);
std::optional<std::string> read_file(const std::string& path);
std::optional<std::uint64_t> file_size(const std::string& path);
// Creates or replaces the file, writes everything and flushes it to the disk.
bool write_file_flushed(const std::string& path, std::string_view data);
// Renames from over to, replacing an existing file; the rename reaches the disk before it returns.
bool replace_file(const std::string& from, const std::string& to);
bool remove_file(const std::string& path);
// Appends with one write to a file opened for this call only, shared for reading, writing and
// deletion by others; creates the file when it is missing.
bool append_file_shared(const std::string& path, std::string_view data);

// Windows build only: the running program's full path, the system's text for an error code,
// and what the install, the migration, the update and the uninstall do to files.
std::optional<std::string> program_path();
// Starts a program from a whole command line (creation flags as CreateProcessW takes them; in
// `directory` when given, else in this process's current directory) and does not wait for it;
// false when it could not be started.
bool start_program(const std::string& command_line, unsigned long creation_flags = 0,
                   const std::string& directory = "");
// Whether two paths name the same file or folder: by identity (volume and file index) when both
// exist, so that a short name, another drive letter onto the same folder or a \\?\ path count
// as the same; otherwise by the paths compared without regard to case.
bool same_file(const std::string& a, const std::string& b);
std::string os_error_text(unsigned long code);
bool path_exists(const std::string& path);
bool copy_file(const std::string& from, const std::string& to);
// Copies to a temporary file beside the target and renames it into place only when the target
// does not exist: a copy cut off half-way never leaves a torn target, and a target that appeared
// meanwhile (another start doing the same) is never overwritten. False when nothing was put in
// place.
bool copy_file_new(const std::string& from, const std::string& to);
// Deletes the folder with everything in it, except a file named `keep` (in any case) directly
// inside it (when given); true when nothing else is left.
bool remove_tree(const std::string& path, const std::string& keep = "");

struct LocalTime {
    int year, month, day, hour, minute, second;
};
LocalTime local_time();

}  // namespace tolvek
