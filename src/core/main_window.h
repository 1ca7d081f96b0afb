// The hidden main window: hub of the running program. Windows build only.
#pragma once

#include <windows.h>

namespace tolvek {

// Timers of the main window.
enum TimerId : UINT_PTR {
    kTimerReleasePoll = 1,     // hold mode: is the talk key still down?
    kTimerRecordingLimit = 2,  // the longest recording
    kTimerClipboard = 3,       // restore the clipboard after a paste
    kTimerHello = 4,           // periodic hello
    kTimerModifierPoll = 5,    // modifier-only talk key
    kTimerUpdateRetry = 6,     // start a downloaded update once no dictation runs
    kTimerBusy = 7,            // tray animation while processing
    kTimerForeground = 8,      // remember the last foreground window of another program
    kTimerOverlay = 9,         // overlay level and countdown
};
inline constexpr UINT kReleasePollMs = 30;
inline constexpr UINT kClipboardRestoreMs = 900;
inline constexpr UINT kHelloPeriodMs = 14400000;
inline constexpr UINT kModifierPollMs = 40;
inline constexpr UINT kUpdateRetryMs = 15000;
inline constexpr UINT kBusyPeriodMs = 50;
inline constexpr UINT kForegroundPeriodMs = 300;
inline constexpr UINT kOverlayPeriodMs = 40;

LRESULT CALLBACK main_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

// Carries out a menu command as if it was chosen from the tray menu. The window also accepts
// the same identifiers as WM_COMMAND, which is how tests and automation drive it.
void run_menu_command(HWND window, unsigned command);

}  // namespace tolvek
