// The talk key: hot key for ordinary keys, polling for modifier keys alone. Windows build only.
#pragma once

namespace tolvek {

inline constexpr int kTalkHotKeyId = 1;

// True when the key from the settings is registered.
bool register_talk_key();
// Timer 1: in hold mode, ends the recording once the talk key is up.
void poll_talk_key_release();
// Timer 5: the modifier-only talk key.
void poll_modifier_keys();
// Presses and releases the unassigned key 0xE8, so that releasing a modifier-only talk key does
// not open the Start menu or the menu bar.
void inject_dummy_key();

}  // namespace tolvek
