#include "net/system_facts.h"

namespace tolvek {

// Stand-ins until the edition is read from the registry and the microphone is classified.
std::string windows_edition() { return "Windows"; }
std::string microphone_kind() { return "anderes"; }

}  // namespace tolvek
