// The talk key: the system hot key for ordinary keys, and for modifier keys alone a 40 ms poll
// driving the state machine below.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace tolvek {

inline constexpr int kTalkHotKeyId = 1;
inline constexpr std::uint8_t kDummyKey = 0xE8;
inline constexpr std::chrono::milliseconds kComboDebounce {180};
inline constexpr std::chrono::seconds kCancelWindow {1};

// Engine state of a modifier-only talk key (kept in the application state).
struct ModifierEngine {
    std::optional<std::chrono::steady_clock::time_point> combo_since;
    bool must_release = true;
    bool foreign_key = false;
    bool operator==(const ModifierEngine&) const = default;
};

// What one poll of the keyboard sees.
struct ModifierTick {
    std::uint32_t configured = 0;  // M: the MOD_* bits of the talk key
    bool hold = true;
    std::uint8_t phase = 0;        // 0 idle, 1 recording, 2 processing
    std::uint32_t held = 0;        // MOD_* bits down now
    bool other_key = false;        // another key is down
    std::chrono::steady_clock::time_point now;
    std::optional<std::chrono::steady_clock::time_point> recording_start;
};

enum class TalkKeyAction { None, Start, Finish, Cancel };

// Arms the engine: a combination already held does not count until it was released once.
void arm(ModifierEngine& engine);
TalkKeyAction modifier_tick(ModifierEngine& engine, const ModifierTick& tick);

// Key states as the system reports them: is the virtual key down?
using KeyDown = std::function<bool(int vk)>;
std::uint32_t current_modifiers(const KeyDown& down);
bool other_key_down(const KeyDown& down);
// The talk key's own modifiers that are down (MOD_* bits), reading only those keys.
std::uint32_t configured_modifiers_down(std::uint32_t configured, const KeyDown& down);
// Whether a poll has to read every key: only while one of the talk key's modifiers is down, or
// while a hold-mode recording runs (another key in its first second cancels it). In every other
// state the engine decides as if no key at all were down, so the idle poll reads just the talk
// key's modifiers (two keys for Strg + Umschalt).
bool needs_full_scan(std::uint32_t configured_down, std::uint8_t phase, bool hold);
// Whether the poll may rest (see kModifierRestMs): no dictation runs and none of the talk key's
// modifiers is down. The engine then stays as it is tick after tick, so fewer ticks change
// nothing; a modifier going down wakes the poll.
bool poll_may_rest(std::uint32_t configured_down, std::uint8_t phase);
// The virtual keys whose going down wakes a resting poll.
bool is_modifier_key(std::uint32_t vk);

// Windows build only.
bool register_talk_key();
// The talk key stops listening (hot key and modifier poll) while the key dialog is open, so that
// pressing the current key there starts no recording.
void unregister_talk_key();
void poll_talk_key_release();  // timer 1
void poll_modifier_keys();     // timer 5
void wake_modifier_poll();     // the keyboard hook saw a modifier go down
// After a resume from sleep or an unlock: the keyboard hook is set anew (the system may have
// dropped it), and no modifier seen down before counts as held.
void talk_key_after_resume(const char* why);
// For tests only: takes the keyboard hook away behind the poll's back, as the system does with
// a hook that was too slow once.
void drop_keyboard_hook_for_test();
// Presses and releases the unassigned key 0xE8, so that releasing a modifier-only talk key does
// not open the Start menu or the menu bar.
void inject_dummy_key();

}  // namespace tolvek
