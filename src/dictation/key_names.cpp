#include "dictation/key_names.h"

#include <cstdio>

namespace tolvek {
namespace {

std::optional<std::string> table_name(std::uint32_t vk) {
    if (vk >= 112 && vk <= 135) return "F" + std::to_string(vk - 111);
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
        return std::string(1, static_cast<char>(vk));
    }
    if (vk >= 96 && vk <= 105) return "Num " + std::to_string(vk - 96);
    switch (vk) {
    case 32: return "Leertaste";
    case 19: return "Pause";
    case 145: return "Rollen";
    case 45: return "Einfg";
    case 20: return "Feststelltaste";
    case 192: return "Ö";
    case 220: return "^";
    case 226: return "<";
    default: return std::nullopt;
    }
}

}  // namespace

std::string format_key_name(std::uint32_t vk, std::uint32_t mods, const SystemKeyName& system) {
    std::string name;
    for (auto [flag, word] : {std::pair {kModCtrl, "Strg"}, std::pair {kModAlt, "Alt"},
                              std::pair {kModShift, "Umschalt"}, std::pair {kModWin, "Win"}}) {
        if (mods & flag) name += std::string(word) + " + ";
    }
    if (vk == 0) return name.empty() ? name : name.substr(0, name.size() - 3);
    if (auto fixed = table_name(vk)) return name + *fixed;
    if (auto from_system = system ? system(vk) : std::nullopt; from_system && !from_system->empty()) {
        return name + *from_system;
    }
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "Taste 0x%02X", static_cast<unsigned>(vk));
    return name + fallback;
}

}  // namespace tolvek
