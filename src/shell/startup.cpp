#include "shell/startup.h"

#include "build_config.h"

namespace tolvek {

bool migrate_talk_key(Settings& settings) {
    if (settings.hotkey_rev >= 2) return false;
    settings.hotkey_rev = 2;
    if (settings.vk == 0 && settings.mods == 10) {
        settings.mods = 6;
        return true;
    }
    return false;
}

std::string started_log_line(const std::string& windows_edition) {
    return std::string("gestartet: Version ") + kVersion + " · " + windows_edition;
}

}  // namespace tolvek
