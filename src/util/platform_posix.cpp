#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "util/platform.h"

namespace tolvek {
namespace {

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::optional<std::string> get_env(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string temp_dir() {
    const auto dir = get_env("TMPDIR");
    return dir && !dir->empty() ? *dir : "/tmp";
}

bool create_directories(const std::string& path) {
    struct stat st {};
    if (path.empty()) return false;
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) create_directories(path.substr(0, slash));
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::optional<std::string> read_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

std::optional<std::uint64_t> file_size(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool write_file_flushed(const std::string& path, std::string_view data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = write_all(fd, data) && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool replace_file(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool append_file_shared(const std::string& path, std::string_view data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = write_all(fd, data);
    return ::close(fd) == 0 && ok;
}

LocalTime local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    ::localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace tolvek
