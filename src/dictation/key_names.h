// The German display name of a talk key, such as "Strg + Umschalt" or "Strg + F8".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tolvek {

inline constexpr std::uint32_t kModAlt = 1;
inline constexpr std::uint32_t kModCtrl = 2;
inline constexpr std::uint32_t kModShift = 4;
inline constexpr std::uint32_t kModWin = 8;

// The system's name for a key outside the fixed table, or nothing.
using SystemKeyName = std::function<std::optional<std::string>(std::uint32_t vk)>;

std::string format_key_name(std::uint32_t vk, std::uint32_t mods, const SystemKeyName& system);
// With the system's key names (GetKeyNameTextW on Windows; none in the native build).
std::string key_name(std::uint32_t vk, std::uint32_t mods);

}  // namespace tolvek
