// The talk key: hot key for ordinary keys, polling for modifier keys alone.
#pragma once

namespace tolvek {

// True when the key from the settings is registered.
bool register_talk_key();

}  // namespace tolvek
