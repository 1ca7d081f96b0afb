#include "net/system_facts.h"

namespace tolvek {

// The native test build runs on no Windows edition and has no wave-input device.
std::string windows_edition() { return "Windows"; }
std::string microphone_kind() { return "anderes"; }

}  // namespace tolvek
