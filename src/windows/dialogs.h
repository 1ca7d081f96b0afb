// The windows the tray menu opens. Windows build only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/app_state.h"

namespace tolvek {

struct TalkKey {
    std::uint32_t vk = 0;
    std::uint32_t mods = 0;
};

// The key-choice dialog; nothing when cancelled.
std::optional<TalkKey> choose_key(const std::string& current_name);
void open_dictionary();
// The company-code dialog; nothing when cancelled.
std::optional<std::string> ask_company_code(const std::string& heading, const std::string& body);
void open_tech_info();
// "Letzte Diktate" with a snapshot of the list; a click copies an entry.
void open_recent_dictations(const std::vector<RecentDictation>& recent);

}  // namespace tolvek
