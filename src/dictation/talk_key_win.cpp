#include <windows.h>

#include "base/messages.h"
#include "base/notices.h"
#include "dictation/dictation_cycle.h"
#include "dictation/talk_key.h"
#include "base/app_state.h"
#include "dictation/key_names.h"

namespace tolvek {
namespace {

bool async_down(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

// The modifier-only engine; only the UI thread (registration and timer 5) touches it.
ModifierEngine g_modifier_engine;

}  // namespace

bool register_talk_key() {
    HWND window;
    std::uint32_t vk, mods;
    {
        auto app = lock_app_state();
        window = app->main_window;
        vk = app->settings.vk;
        mods = app->settings.mods;
    }
    UnregisterHotKey(window, kTalkHotKeyId);
    KillTimer(window, kTimerModifierPoll);
    if (vk != 0) {
        if (RegisterHotKey(window, kTalkHotKeyId, mods | MOD_NOREPEAT, vk)) return true;
        show_balloon("Tolvek",
                     key_name(vk, mods) +
                         " ist schon von einem anderen Programm belegt. Bitte über das Symbol "
                         "unten rechts eine andere Taste wählen.",
                     true);
        return false;
    }
    arm(g_modifier_engine);
    SetTimer(window, kTimerModifierPoll, kModifierPollMs, nullptr);
    return true;
}

void unregister_talk_key() {
    const HWND window = lock_app_state()->main_window;
    UnregisterHotKey(window, kTalkHotKeyId);
    KillTimer(window, kTimerModifierPoll);
}

void poll_talk_key_release() {
    const std::uint32_t vk = lock_app_state()->settings.vk;
    if (async_down(static_cast<int>(vk))) return;
    finish_recording();
}

void poll_modifier_keys() {
    ModifierTick tick;
    tick.now = std::chrono::steady_clock::now();
    {
        auto app = lock_app_state();
        tick.configured = app->settings.mods;
        tick.hold = app->settings.hold;
        tick.phase = app->phase;
        tick.recording_start = app->recording_start;
    }
    if (needs_full_scan(configured_modifiers_down(tick.configured, async_down), tick.phase, tick.hold)) {
        tick.held = current_modifiers(async_down);
        tick.other_key = other_key_down(async_down);
    }
    const TalkKeyAction action = modifier_tick(g_modifier_engine, tick);
    switch (action) {
    case TalkKeyAction::Start: start_dictation(); break;
    case TalkKeyAction::Finish: finish_recording(); break;
    case TalkKeyAction::Cancel: cancel_recording(); break;
    case TalkKeyAction::None: break;
    }
}

void inject_dummy_key() {
    INPUT inputs[2] {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = kDummyKey;
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace tolvek
