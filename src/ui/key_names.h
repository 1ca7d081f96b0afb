// The German display name of a talk key, such as "Strg + Umschalt".
#pragma once

#include <cstdint>
#include <string>

namespace tolvek {

std::string key_name(std::uint32_t vk, std::uint32_t mods);

}  // namespace tolvek
