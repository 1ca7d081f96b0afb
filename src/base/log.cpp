#include "base/log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "base/settings.h"
#include "util/text.h"

namespace tolvek {
namespace {

std::atomic<bool> g_uninstalling {false};
std::mutex g_log_mutex;

bool holds_dictation(const std::string& path) {
    const auto bytes = read_file(path);
    return bytes && mentions_dictation(*bytes);
}

}  // namespace

// Set and read under the writer's lock: once the flag is set, no writer is half-way through
// making the data folder again.
void set_uninstalling(bool on) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_uninstalling = on;
}
bool uninstalling() { return g_uninstalling; }

bool mentions_dictation(std::string_view log_bytes) {
    // Invalid sequences become U+FFFD, so a "Diktat: " between broken bytes is still found.
    return utf16_to_utf8(utf8_to_utf16(log_bytes)).find("Diktat: ") != std::string::npos;
}

std::string format_log_line(const LocalTime& t, std::string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    std::string line(stamp);
    line += message;
    line += '\n';
    return line;
}

void log(std::string_view message) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    if (g_uninstalling) return;
    const std::string dir = data_dir();
    const std::string path = path_join(dir, "tolvek.log");
    if (const auto size = file_size(path); size && *size > kLogRotateBytes) {
        replace_file(path, path_join(dir, "tolvek.alt.log"));
    }
    append_file_shared(path, format_log_line(local_time(), message));
}

void clean_old_logs() {
    const std::string dir = data_dir();
    const std::string current = path_join(dir, "tolvek.log");
    const std::string previous = path_join(dir, "tolvek.alt.log");
    if (!holds_dictation(current) && !holds_dictation(previous)) return;
    remove_file(current);
    remove_file(previous);
    log("Protokoll bereinigt: ältere Versionen hatten einzelne Diktate vermerkt, ab jetzt nur "
        "Technik und Fehler");
}

}  // namespace tolvek
