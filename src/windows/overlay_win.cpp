#include "windows/overlay.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "base/log.h"
#include "base/messages.h"
#include "base/settings.h"
#include "base/notices.h"
#include "dictation/capture.h"
#include "dictation/dictation_cycle.h"
#include "base/dictation_values.h"
#include "base/app_state.h"
#include "net/transcription.h"
#include "windows/overlay_view.h"
#include "util/dpi.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

using Clock = std::chrono::steady_clock;

// Speech louder than this (of 32768) in the last 120 ms lifts the ears.
constexpr std::uint32_t kVoicePeak = 1800;

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

COLORREF colour(Rgb c) { return RGB(c.r, c.g, c.b); }

void fill(HDC dc, int left, int top, int right, int bottom, Rgb c) {
    const RECT r {left, top, right, bottom};
    const HBRUSH brush = CreateSolidBrush(colour(c));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

HFONT make_font(int size) {
    return CreateFontW(-(size * system_dpi() / 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

SIZE text_size(HDC dc, const std::wstring& text) {
    SIZE size {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

// Draws the text vertically centred with its left edge at x; returns its size.
SIZE draw_text(HDC dc, const std::wstring& text, int x, int height, Rgb c) {
    const SIZE size = text_size(dc, text);
    SetTextColor(dc, colour(c));
    TextOutW(dc, x, (height - size.cy) / 2, text.c_str(), static_cast<int>(text.size()));
    return size;
}

// The monitor at a point as the system sees it.
MonitorAt monitor_at(Point p) {
    const HMONITOR monitor = MonitorFromPoint(POINT {p.x, p.y}, MONITOR_DEFAULTTONULL);
    if (!monitor) return {};
    MONITORINFO info {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return {true, std::nullopt};
    const RECT& w = info.rcWork;
    return {true, Rect {w.left, w.top, w.right, w.bottom}};
}

struct PaintValues {
    std::string firm;
    std::string region;
    HBITMAP badge_up;
    HBITMAP badge_folded;
};

void draw_badge(HDC dc, HBITMAP badge, int height) {
    if (!badge) return;
    const int side = scale(24);
    const HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, badge);
    BitBlt(dc, scale(10), (height - side) / 2, side, side, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

void draw_recording(HDC dc, int width, int height, HFONT main_font, HFONT small_font,
                    const PaintValues& values) {
    const OverlayDisplay& display = overlay_display();
    const std::uint32_t countdown = display.countdown;
    SelectObject(dc, main_font);
    const SIZE text = draw_text(dc, wide(recording_text(countdown)), scale(42), height,
                                countdown > 0 ? kOverlayAccent : kOverlayText);

    SelectObject(dc, small_font);
    const int available = width - scale(12) - scale(10) - text.cx - scale(42);
    const std::string name = fit_company_name(overlay_company_name(values.firm), available,
                                              [dc](const std::string& s) { return text_size(dc, wide(s)).cx; });
    if (!name.empty()) {
        const std::wstring w = wide(name);
        draw_text(dc, w, width - scale(12) - text_size(dc, w).cx, height, kOverlaySecondary);
    }

    if (const auto bar = level_bar(display.level, width, scale(28))) {
        fill(dc, bar->left, height - scale(3), bar->right, height - scale(1), kOverlayAccent);
    }
}

void draw_padlock(HDC dc, int right, int height) {
    const int dpi = system_dpi();
    const int left = right - scale(9);
    const int top = (height - scale(11)) / 2;
    const HPEN pen = CreatePen(PS_SOLID, dpi / 96 + 1, colour(kOverlaySecondary));
    const HGDIOBJ old_pen = SelectObject(dc, pen);
    const HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, left + dpi / 48, top, right - dpi / 48 + 1, top + dpi / 12, scale(5), scale(5));
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(pen);
    fill(dc, left, top + scale(5), right, top + scale(11), kOverlaySecondary);
}

void draw_processing(HDC dc, int width, int height, HFONT main_font, HFONT small_font,
                     const PaintValues& values) {
    DictationValues& dv = dictation_values();
    const Clock::time_point now = Clock::now();
    const auto processing_start = dv.processing_start.get();
    const double t = processing_start ? seconds_between(*processing_start, now) : 0;
    const std::uint32_t recorded = dv.recording_seconds;
    const auto upload_start = dv.upload_start.get();
    const auto upload = upload_fraction(
        recorded, upload_start ? std::optional<double>(seconds_between(*upload_start, now)) : std::nullopt,
        upload_rate(), dv.upload_written, dv.upload_total);

    SelectObject(dc, main_font);
    double fraction;
    if (upload) {
        draw_text(dc, wide(upload_text(*upload)), scale(42), height, kOverlayText);
        fraction = *upload;
        dv.wait_start.set(std::nullopt);
    } else {
        const Clock::time_point waiting_since = dv.wait_start.with([&](std::optional<Clock::time_point>& w) {
            if (!w) w = now;
            return *w;
        });
        const SIZE text = draw_text(dc, L"Einen Moment", scale(42), height, kOverlayText);
        draw_text(dc, std::wstring(waiting_dots(t), L'.'), scale(42) + text.cx + scale(1), height,
                  kOverlayText);
        fraction = seconds_between(waiting_since, now) / expected_processing_seconds(recorded);
    }

    const int length = progress_bar_length(fraction, width, scale(28));
    if (length > 0) {
        fill(dc, scale(14), height - scale(3), scale(14) + length, height - scale(1),
             progress_bar_colour(fraction, t));
    }

    SelectObject(dc, small_font);
    int region_left = width - scale(12);
    if (!values.region.empty()) {
        const std::wstring region = wide(values.region);
        region_left -= text_size(dc, region).cx;
        draw_text(dc, region, region_left, height, kOverlaySecondary);
    }
    draw_padlock(dc, values.region.empty() ? region_left : region_left - scale(5), height);
}

void paint(HWND window) {
    const bool processing = overlay_display().processing.get();
    PaintValues values;
    {
        auto app = lock_app_state();
        values = {app->settings.firm, app->settings.region, app->badge_ears_up, app->badge_ears_folded};
    }
    PAINTSTRUCT ps;
    const HDC target = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    const HDC dc = CreateCompatibleDC(target);
    const HBITMAP bitmap = CreateCompatibleBitmap(target, width, height);
    const HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    const HFONT main_font = make_font(14);
    const HFONT small_font = make_font(12);
    const HGDIOBJ old_font = SelectObject(dc, main_font);
    SetBkMode(dc, TRANSPARENT);

    fill(dc, 0, 0, width, height, kOverlayBackground);
    const HRGN outline = CreateRoundRectRgn(0, 0, width + 1, height + 1, scale(12), scale(12));
    const HBRUSH border = CreateSolidBrush(colour(kOverlayBorder));
    FrameRgn(dc, outline, border, 1, 1);
    DeleteObject(border);
    DeleteObject(outline);

    const bool ears_up = !processing && overlay_display().voice_active;
    draw_badge(dc, ears_up ? values.badge_up : values.badge_folded, height);
    if (processing) {
        draw_processing(dc, width, height, main_font, small_font, values);
    } else {
        draw_recording(dc, width, height, main_font, small_font, values);
    }

    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old_font);
    DeleteObject(main_font);
    DeleteObject(small_font);
    SelectObject(dc, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EndPaint(window, &ps);
}

// After a drag: back fully into the nearest monitor's work area, remembered in the settings.
void finish_drag(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    Point p {r.left, r.top};
    MONITORINFO info {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
        const RECT& w = info.rcWork;
        p = clamp_into(p, r.right - r.left, r.bottom - r.top, Rect {w.left, w.top, w.right, w.bottom});
    }
    SetWindowPos(window, HWND_TOPMOST, p.x, p.y, 0, 0, SWP_NOACTIVATE | SWP_NOSIZE);
    {
        auto app = lock_app_state();
        app->settings.overlay = OverlayPosition {p.x, p.y};
        save_settings(app->settings);
    }
    log("Anzeige verschoben");
}

// The strip is dragged by its own loop: the system's caption drag would first make the strip
// the foreground window, taking the focus from the program the text is meant for.
struct Drag {
    bool active = false;
    bool moved = false;
    POINT grab {};          // cursor when the button went down
    POINT window_start {};  // top-left of the strip then
};
Drag g_drag;  // UI thread only

void begin_drag(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    g_drag = {true, false, {}, {r.left, r.top}};
    GetCursorPos(&g_drag.grab);
    SetCapture(window);
}

void follow_drag(HWND window) {
    if (!g_drag.active) return;
    POINT cursor;
    GetCursorPos(&cursor);
    if (cursor.x == g_drag.grab.x && cursor.y == g_drag.grab.y && !g_drag.moved) return;
    g_drag.moved = true;
    SetWindowPos(window, HWND_TOPMOST, g_drag.window_start.x + cursor.x - g_drag.grab.x,
                 g_drag.window_start.y + cursor.y - g_drag.grab.y, 0, 0, SWP_NOACTIVATE | SWP_NOSIZE);
}

// The button went up or the capture was taken away: a drag that moved the strip ends like
// the system's move loop does.
void end_drag(HWND window) {
    if (!g_drag.active) return;
    const bool moved = g_drag.moved;
    g_drag.active = false;
    if (GetCapture() == window) ReleaseCapture();
    if (moved) finish_drag(window);
}

}  // namespace

OverlayDisplay& overlay_display() {
    static OverlayDisplay display;
    return display;
}

LRESULT CALLBACK overlay_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    switch (msg) {
    case WM_PAINT: paint(window); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_NCHITTEST: return HTCAPTION;
    case WM_EXITSIZEMOVE: finish_drag(window); return 0;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:  // a quick second press is a press too (and must not maximise)
        if (wparam != HTCAPTION) break;
        begin_drag(window);
        return 0;
    case WM_MOUSEMOVE: follow_drag(window); return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: end_drag(window); return 0;
    default: break;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

HWND create_overlay_window(HINSTANCE instance) {
    const int width = scale(kOverlayWidth), height = scale(kOverlayHeight);
    const HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE,
                                        L"TolvekOverlay", L"", WS_POPUP, 0, 0, width, height, nullptr,
                                        nullptr, instance, nullptr);
    if (!window) return nullptr;
    SetLayeredWindowAttributes(window, 0, 217, LWA_ALPHA);
    // The system owns the region from here on.
    SetWindowRgn(window, CreateRoundRectRgn(0, 0, width + 1, height + 1, scale(12), scale(12)), FALSE);
    return window;
}

HBITMAP render_fox_badge(int size, bool ears_up) {
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) return bitmap;
    const std::vector<Bgra> pixels = fox_badge_pixels(size, ears_up);
    std::copy(pixels.begin(), pixels.end(), static_cast<Bgra*>(bits));
    return bitmap;
}

void show_overlay(bool processing) {
    OverlayDisplay& display = overlay_display();
    HWND overlay, main_window;
    std::optional<Point> saved;
    {
        auto app = lock_app_state();
        overlay = app->overlay_window;
        main_window = app->main_window;
        if (!processing) {
            app->last_voice.reset();
            app->countdown_stage = 0;
        }
        if (app->settings.overlay) saved = Point {app->settings.overlay->x, app->settings.overlay->y};
    }
    if (!processing) {
        display.voice_active = false;
        display.countdown = 0;
        dictation_values().max_peak = 0;
        SetTimer(main_window, kTimerOverlay, kOverlayPeriodMs, nullptr);
    }
    display.processing.set(processing);
    if (!overlay) return;

    RECT work {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = scale(kOverlayWidth), height = scale(kOverlayHeight);
    const Point p = place_overlay(Rect {work.left, work.top, work.right, work.bottom}, saved, width,
                                  height, scale(28), monitor_at);
    SetWindowPos(overlay, HWND_TOPMOST, p.x, p.y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(overlay, nullptr, FALSE);
}

void overlay_tick() {
    OverlayDisplay& display = overlay_display();
    DictationValues& dv = dictation_values();
    const Clock::time_point now = Clock::now();
    std::shared_ptr<Capture> capture;
    std::optional<Clock::time_point> started;
    std::uint8_t stage;
    {
        auto app = lock_app_state();
        capture = app->capture;
        started = app->recording_start;
        stage = app->countdown_stage;
    }

    std::uint32_t level_peak = 1;
    std::optional<Clock::time_point> last_voice;
    if (capture) {
        const std::uint32_t voice_peak = capture_peak(*capture, 120);
        level_peak = capture_peak(*capture, 50);
        dv.max_peak = std::max(dv.max_peak.load(), voice_peak);
        auto app = lock_app_state();
        if (voice_peak > kVoicePeak) app->last_voice = now;
        last_voice = app->last_voice;
    } else {
        last_voice = lock_app_state()->last_voice;
    }
    const bool voice = voice_active(last_voice ? std::optional<double>(seconds_between(*last_voice, now))
                                               : std::nullopt);
    bool changed = display.voice_active.exchange(voice) != voice;

    const LevelStep level = next_level(display.level, level_peak);
    display.level = level.level;
    changed = changed || level.visible;

    std::optional<std::uint64_t> elapsed;
    if (started) elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - *started).count();
    const CountdownStep countdown = next_countdown(elapsed, stage, recording_limit_seconds());
    if (countdown.stage != stage) lock_app_state()->countdown_stage = countdown.stage;
    if (countdown.tone) play_sound(*countdown.tone);
    changed = display.countdown.exchange(countdown.countdown) != countdown.countdown || changed;

    if (changed) invalidate_overlay();
}

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
