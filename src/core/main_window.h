// The hidden main window: hub of the running program. Windows build only.
#pragma once

#include <windows.h>

namespace tolvek {

// Timers of the main window.
enum TimerId : UINT_PTR {
    kTimerReleasePoll = 1,   // 30 ms, hold mode
    kTimerRecordingLimit = 2,  // 598 s
    kTimerClipboard = 3,     // 900 ms after a paste
    kTimerHello = 4,         // 4 hours
    kTimerModifierPoll = 5,  // 40 ms, modifier-only talk key
    kTimerUpdateRetry = 6,   // 15 s
    kTimerBusy = 7,          // 50 ms while processing
    kTimerForeground = 8,    // 300 ms
    kTimerOverlay = 9,       // 40 ms
};
inline constexpr UINT kHelloPeriodMs = 14400000;
inline constexpr UINT kForegroundPeriodMs = 300;

LRESULT CALLBACK main_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

// Carries out a menu command as if it was chosen from the tray menu. The window also accepts
// the same identifiers as WM_COMMAND, which is how tests and automation drive it.
void run_menu_command(HWND window, unsigned command);

}  // namespace tolvek
