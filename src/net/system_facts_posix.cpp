#include "net/system_facts.h"

namespace tolvek {

// The native test build has no registry and no wave-input device.
std::string windows_edition() { return windows_edition_of(std::nullopt, std::nullopt, std::nullopt); }
std::string microphone_kind() { return microphone_kind_of(std::nullopt); }

}  // namespace tolvek
