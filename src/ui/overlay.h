// The small strip that shows recording and processing. Windows build only.
#pragma once

#include <windows.h>

namespace tolvek {

LRESULT CALLBACK overlay_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
HWND create_overlay_window(HINSTANCE instance);
HBITMAP render_fox_badge(int size, bool ears_up);
// Shows the strip in processing mode, or in recording mode (which resets the level and
// countdown and starts timer 9).
void show_overlay(bool processing);
// Timer 9 while recording.
void overlay_tick();
void invalidate_overlay();
// Clears the saved position (the strip returns to the default place) and saves.
void reset_overlay_position();

}  // namespace tolvek
