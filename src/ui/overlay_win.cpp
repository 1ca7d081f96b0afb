#include "ui/overlay.h"

#include "main/app_state.h"

namespace tolvek {

// Stand-ins until the overlay is built: a hidden window of its class without content.
LRESULT CALLBACK overlay_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, msg, wparam, lparam);
}

HWND create_overlay_window(HINSTANCE instance) {
    return CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                           L"TolvekOverlay", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           instance, nullptr);
}

HBITMAP render_fox_badge(int, bool) { return nullptr; }
void show_overlay(bool) {}
void overlay_tick() {}

void invalidate_overlay() {
    const HWND overlay = lock_app_state()->overlay_window;
    if (overlay) InvalidateRect(overlay, nullptr, FALSE);
}

void reset_overlay_position() {
    auto app = lock_app_state();
    app->settings.overlay.reset();
    save_settings(app->settings);
}

}  // namespace tolvek
