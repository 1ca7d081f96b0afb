// The hidden main window: hub of the running program. Windows build only.
#pragma once

#include <windows.h>

namespace tolvek {

inline constexpr UINT_PTR kTimerHello = 4;
inline constexpr UINT kHelloPeriodMs = 14400000;
inline constexpr UINT_PTR kTimerForeground = 8;
inline constexpr UINT kForegroundPeriodMs = 300;

LRESULT CALLBACK main_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

}  // namespace tolvek
