#include "core/main_window.h"

#include "core/tray.h"
#include "net/hello.h"

namespace tolvek {

LRESULT CALLBACK main_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_TIMER:
        if (wparam == kTimerHello) start_hello(false);
        return 0;
    case WM_DESTROY:
        UnregisterHotKey(window, 1);
        remove_tray_icon();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, msg, wparam, lparam);
    }
}

}  // namespace tolvek
