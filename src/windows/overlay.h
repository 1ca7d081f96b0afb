// The small strip that shows recording and processing. Windows build only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/notices.h"
#include "util/guarded.h"

namespace tolvek {

// What the recording tick computed for the paint, and the strip's mode.
struct OverlayDisplay {
    std::atomic<std::uint32_t> countdown {0};  // seconds left before the limit; 0 = none
    std::atomic<std::uint32_t> level {0};      // smoothed input level, 0..1000
    std::atomic<bool> voice_active {false};    // speech heard in the last 0.45 s
    Guarded<bool> processing;                  // false: recording mode
};
OverlayDisplay& overlay_display();

LRESULT CALLBACK overlay_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept;
// The hidden, top-most, semi-transparent strip with its rounded region.
HWND create_overlay_window(HINSTANCE instance);
HBITMAP render_fox_badge(int size, bool ears_up);
// Timer 9 while recording: voice, level and countdown; repaints only on a visible change.
void overlay_tick();
void invalidate_overlay();
// Clears the saved position (the strip returns to the default place at the next show) and saves.
void reset_overlay_position();

}  // namespace tolvek
