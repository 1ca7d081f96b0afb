// The small strip that shows recording and processing. Windows build only.
#pragma once

#include <windows.h>

namespace tolvek {

LRESULT CALLBACK overlay_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
HWND create_overlay_window(HINSTANCE instance);
HBITMAP render_fox_badge(int size, bool ears_up);

}  // namespace tolvek
