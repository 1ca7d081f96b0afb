#include "setup/setup.h"

namespace tolvek {

// Stand-in until the move from Orvane is built: nothing is taken over.
void migrate_from_predecessor() {}

}  // namespace tolvek
