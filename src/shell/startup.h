// Start-up decisions that need no system: the talk-key migration and the notice texts.
#pragma once

#include <string>

#include "base/settings.h"

namespace tolvek {

// Old installations used Ctrl + Windows key alone; it became Ctrl + Shift. Returns true when
// the key was moved (the caller logs it). In every case hotkey_rev ends at 2.
bool migrate_talk_key(Settings& settings);

inline constexpr char kKeyMigratedLog[] = "Taste umgestellt: Strg + Win → Strg + Umschalt";

std::string started_log_line(const std::string& windows_edition);

}  // namespace tolvek
