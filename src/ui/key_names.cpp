#include "ui/key_names.h"

namespace tolvek {

// Stand-in until the key-name table is built: the default key's name.
std::string key_name(std::uint32_t, std::uint32_t) { return "Strg + Umschalt"; }

}  // namespace tolvek
