#include "dictation/talk_key.h"

namespace tolvek {

// Stand-ins until the talk key is built: nothing is registered or polled.
bool register_talk_key() { return false; }
void poll_talk_key_release() {}
void poll_modifier_keys() {}
void inject_dummy_key() {}

}  // namespace tolvek
