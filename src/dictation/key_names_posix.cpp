#include "dictation/key_names.h"

namespace tolvek {

// The native test build has no keyboard layout to ask.
std::string key_name(std::uint32_t vk, std::uint32_t mods) { return format_key_name(vk, mods, {}); }

}  // namespace tolvek
