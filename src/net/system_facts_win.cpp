#include "net/system_facts.h"

namespace tolvek {

// Stand-in until the edition is read from the registry.
std::string windows_edition() { return "Windows"; }

}  // namespace tolvek
