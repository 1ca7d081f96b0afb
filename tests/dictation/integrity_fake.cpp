// This test program's answers for the integrity levels: Wine has none, so a test says how high
// the target's rights are (the program's own are medium). Linked in place of the program's own
// query.
#include "dictation/integrity.h"
#include "environment.h"

namespace tolvek {

std::optional<std::uint32_t> window_integrity_level(HWND) { return test::DictationEnvironment::target_integrity; }
std::uint32_t own_integrity_level() { return SECURITY_MANDATORY_MEDIUM_RID; }

}  // namespace tolvek
