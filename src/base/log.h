// The technical log tolvek.log in the data directory: one time-stamped line per call,
// never any dictated text.
#pragma once

#include <string>
#include <string_view>

#include "util/platform.h"

namespace tolvek {

inline constexpr std::uint64_t kLogRotateBytes = 200000;

// Appends one line; never fails towards the caller. Safe from any thread.
void log(std::string_view message);
// Start-up clean-up: removes both log files if either still holds a dictation line.
void clean_old_logs();
// Whether a log file's bytes hold a dictation line of an older version (broken bytes included).
bool mentions_dictation(std::string_view log_bytes);

// Set by the uninstall so that no log file is created again while the data goes away.
void set_uninstalling(bool on = true);
bool uninstalling();

// "2025-03-07 09:05:41 beendet\n"
std::string format_log_line(const LocalTime& time, std::string_view message);

}  // namespace tolvek
