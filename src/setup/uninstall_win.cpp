#include "setup/setup.h"

namespace tolvek {

// Stand-in until the uninstall is built: nothing is removed.
bool uninstall(bool) { return false; }

}  // namespace tolvek
