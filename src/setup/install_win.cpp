#include "setup/setup.h"

namespace tolvek {

// Stand-in until the self-install is built: a start outside the install folder reports
// failure, so the process ends with exit code 1. Run with TOLVEK_PORTABLE meanwhile.
bool install(const std::string&, const std::string&, const std::optional<std::string>&, bool) {
    return false;
}

}  // namespace tolvek
