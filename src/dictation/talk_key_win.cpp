#include "dictation/talk_key.h"

namespace tolvek {

// Stand-in until the talk key is built: nothing is registered.
bool register_talk_key() { return false; }

}  // namespace tolvek
