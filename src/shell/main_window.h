// The hidden main window: hub of the running program. Windows build only.
#pragma once

#include <windows.h>

#include "base/messages.h"

namespace tolvek {

// The program's window classes, each with its procedure (style 0, icon resource 1, arrow cursor).
void register_window_classes(HINSTANCE instance);

LRESULT CALLBACK main_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept;

// Carries out a menu command as if it was chosen from the tray menu. Only the menu calls it; a
// run a test started also takes it from the message kMsgMenuCommand.
void run_menu_command(HWND window, unsigned command);

}  // namespace tolvek
