#include <windows.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "base/log.h"
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

// The poll's pace, kept by the UI thread: whether the modifier poll runs, and at 40 ms.
bool g_poll_active = false;
bool g_poll_fast = false;
// Shared with the keyboard hook: set while the poll rests; the hook clears it and wakes the poll.
std::atomic<bool> g_resting {false};
std::atomic<HWND> g_poll_window {nullptr};
// Whether the hook is in place; without it the poll never rests.
std::atomic<bool> g_hook_ok {false};
// The hook runs before the system notes the key as down: after a wake the poll stays at its
// full pace for a while, so that the key it was woken for is seen.
std::chrono::steady_clock::time_point g_woken_at;
constexpr std::chrono::milliseconds kAwakeAtLeast {300};

LRESULT CALLBACK keyboard_hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION && (wparam == WM_KEYDOWN || wparam == WM_SYSKEYDOWN) && g_resting.load() &&
        is_modifier_key(reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam)->vkCode) && g_resting.exchange(false)) {
        PostMessageW(g_poll_window.load(), kMsgModifierDown, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Messages to the hook's thread: set the hook anew; take it away (tests only).
constexpr UINT kHookRenew = WM_APP + 1;
constexpr UINT kHookDrop = WM_APP + 2;
std::atomic<DWORD> g_hook_thread {0};

// The hook lives on a thread that does nothing else: the system silently drops a low-level hook
// whose thread keeps it waiting, and the UI thread can be busy (a paste, a message box).
void start_keyboard_hook() {
    static bool started = false;
    if (started) return;
    started = true;
    try {
        std::thread([] {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for the messages above
            HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook, GetModuleHandleW(nullptr), 0);
            if (!hook) return;
            g_hook_thread = GetCurrentThreadId();
            g_hook_ok = true;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                if (msg.message != kHookRenew && msg.message != kHookDrop) continue;
                if (hook) UnhookWindowsHookEx(hook);
                hook = msg.message == kHookRenew
                           ? SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook, GetModuleHandleW(nullptr), 0)
                           : nullptr;
                // A hook that cannot be set again leaves the poll at its full pace.
                if (msg.message == kHookRenew) g_hook_ok = hook != nullptr;
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the poll keeps its 40 ms pace.
    }
}

void renew_keyboard_hook(const char* why) {
    if (const DWORD thread = g_hook_thread.load()) {
        PostThreadMessageW(thread, kHookRenew, 0, 0);
        log(std::string("Tastenüberwachung neu eingerichtet (") + why + ")");
    }
}

void set_poll_pace(HWND window, bool fast) {
    if (fast == g_poll_fast) return;
    g_poll_fast = fast;
    g_resting = !fast;
    SetTimer(window, kTimerModifierPoll, fast ? kModifierPollMs : kModifierRestMs, nullptr);
}

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
    g_poll_active = false;
    g_resting = false;
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
    g_poll_window = window;
    g_poll_active = true;
    g_poll_fast = true;
    SetTimer(window, kTimerModifierPoll, kModifierPollMs, nullptr);
    start_keyboard_hook();
    return true;
}

void unregister_talk_key() {
    const HWND window = lock_app_state()->main_window;
    UnregisterHotKey(window, kTalkHotKeyId);
    KillTimer(window, kTimerModifierPoll);
    g_poll_active = false;
    g_resting = false;
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
    const std::uint32_t configured_down = configured_modifiers_down(tick.configured, async_down);
    // Resting, a talk-key modifier is down that the hook did not report: the system dropped the
    // hook (a slow callback under load, a lock). The poll takes its full pace below and the hook
    // is set anew; the press counts, at worst one rest period late.
    // (Input to a window of higher rights never reaches the hook either: at most one renewal
    // every ten seconds.)
    static std::chrono::steady_clock::time_point last_renewal;
    if (g_poll_active && !g_poll_fast && g_resting.load() && configured_down != 0 &&
        tick.now - last_renewal >= std::chrono::seconds(10)) {
        last_renewal = tick.now;
        renew_keyboard_hook("keine Meldung der Tastatur");
    }
    if (needs_full_scan(configured_down, tick.phase, tick.hold)) {
        tick.held = current_modifiers(async_down);
        tick.other_key = other_key_down(async_down);
    }
    const TalkKeyAction action = modifier_tick(g_modifier_engine, tick);
    if (g_poll_active) {
        const bool rest = g_hook_ok && action == TalkKeyAction::None && poll_may_rest(configured_down, tick.phase) &&
                          tick.now - g_woken_at >= kAwakeAtLeast;
        set_poll_pace(g_poll_window.load(), !rest);
    }
    switch (action) {
    case TalkKeyAction::Start: start_dictation(); break;
    case TalkKeyAction::Finish: finish_recording(); break;
    case TalkKeyAction::Cancel: cancel_recording(); break;
    case TalkKeyAction::None: break;
    }
}

void wake_modifier_poll() {
    if (!g_poll_active || g_poll_fast) return;
    g_woken_at = std::chrono::steady_clock::now();
    set_poll_pace(g_poll_window.load(), true);
    poll_modifier_keys();
}

void talk_key_after_resume(const char* why) {
    if (!g_poll_active) return;
    // A modifier seen down before the sleep or the lock must not count as held now.
    arm(g_modifier_engine);
    renew_keyboard_hook(why);
    g_woken_at = std::chrono::steady_clock::now();
    set_poll_pace(g_poll_window.load(), true);
}

void drop_keyboard_hook_for_test() {
    if (const DWORD thread = g_hook_thread.load()) PostThreadMessageW(thread, kHookDrop, 0, 0);
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
