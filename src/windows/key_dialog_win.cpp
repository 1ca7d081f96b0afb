#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <climits>

#include "dictation/key_names.h"
#include "util/dpi.h"
#include "util/win_text.h"
#include "windows/accessible.h"
#include "windows/dialog_frame.h"
#include "windows/dialogs.h"
#include "windows/window_procs.h"

namespace tolvek {
namespace {

constexpr COLORREF kCapsBack = RGB(244, 245, 247);
constexpr COLORREF kCapsLine = RGB(205, 209, 217);
constexpr COLORREF kHintText = RGB(138, 147, 166);
constexpr COLORREF kCapText = RGB(27, 35, 51);
constexpr COLORREF kLiveText = RGB(90, 98, 115);

constexpr char kHintCaption[] = "Taste drücken …";
constexpr char kWindowsKeys[] =
    "Alt + F4 und Alt + Leertaste braucht Windows für jedes Fenster. Bitte eine andere Kombination wählen.";
constexpr char kTypingKey[] =
    "Diese Taste brauchen Sie zum Schreiben. Bitte mit Strg oder Alt kombinieren oder eine F-Taste wählen.";

// What the open key dialog captured; only the UI thread touches it (the dialog procedure and
// the keycaps view paint at different moments).
struct KeyDialogState : DialogState, AccessibleView {
    bool captured = false;
    TalkKey key;
    std::uint32_t seen_mods = 0;  // modifiers pressed since the last other key
    std::uint32_t live_mods = 0;  // modifiers held now

    // What the keycaps show, in words: the held modifiers, else the choice, else nothing.
    std::string shown() const {
        if (live_mods != 0) return key_name(0, live_mods);
        return captured ? key_name(key.vk, key.mods) : std::string();
    }
    // A screen reader reads the keycaps as the key's name.
    long role() const override { return ROLE_SYSTEM_STATICTEXT; }
    std::string name() const override {
        const std::string text = shown();
        return text.empty() ? kHintCaption : text;
    }
};

KeyDialogState* key_state(HWND dialog) { return static_cast<KeyDialogState*>(dialog_state(dialog)); }
AccessibleView* keycaps_view(HWND keycaps) { return key_state(GetParent(keycaps)); }

bool is_modifier(WPARAM vk) {
    switch (vk) {
    case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_LWIN: case VK_RWIN:
    case VK_LSHIFT: case VK_RSHIFT: case VK_LCONTROL: case VK_RCONTROL: case VK_LMENU: case VK_RMENU:
        return true;
    default:
        return false;
    }
}

template <class KeyDown>
std::uint32_t modifier_mask(KeyDown down) {
    std::uint32_t m = 0;
    if (down(VK_MENU)) m |= kModAlt;
    if (down(VK_CONTROL)) m |= kModCtrl;
    if (down(VK_SHIFT)) m |= kModShift;
    if (down(VK_LWIN) || down(VK_RWIN)) m |= kModWin;
    return m;
}
std::uint32_t held_mask() { return modifier_mask([](int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }); }
std::uint32_t state_mask() { return modifier_mask([](int vk) { return (GetKeyState(vk) & 0x8000) != 0; }); }

void repaint_caps(HWND dialog) {
    const HWND caps = GetDlgItem(dialog, kIdKeycaps);
    InvalidateRect(caps, nullptr, FALSE);
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, caps, OBJID_CLIENT, CHILDID_SELF);
}

void accept(HWND dialog, KeyDialogState& state, std::uint32_t vk, std::uint32_t mods) {
    state.live_mods = 0;
    state.captured = true;
    state.key = {vk, mods};
    EnableWindow(GetDlgItem(dialog, kIdPrimary), TRUE);
    set_status(dialog, "Übernehmen speichert die neue Taste. Oder eine andere drücken.", false);
    repaint_caps(dialog);
}

void cancel(HWND dialog, KeyDialogState& state) {
    state.captured = false;
    DestroyWindow(dialog);
}

void key_down(HWND dialog, KeyDialogState& state, WPARAM vk) {
    if (is_modifier(vk)) {
        const std::uint32_t m = held_mask();
        state.seen_mods |= m;
        state.live_mods = m;
        repaint_caps(dialog);
        return;
    }
    if (vk == VK_ESCAPE) {
        cancel(dialog, state);
        return;
    }
    state.seen_mods = 0;
    const std::uint32_t m = state_mask();
    const bool free_key = vk == VK_PAUSE || vk == VK_INSERT || vk == VK_SCROLL || (vk >= VK_F1 && vk <= VK_F24);
    if ((vk == VK_F4 || vk == VK_SPACE) && (m & kModAlt)) {
        // Closing a window and its window menu: taken, they would be gone from every program.
        set_status(dialog, kWindowsKeys, true);
    } else if (vk == VK_RETURN && m == 0) {
        if (state.captured) {
            DestroyWindow(dialog);
        } else {
            set_status(dialog, kTypingKey, true);
        }
    } else if (free_key || (m & (kModCtrl | kModAlt | kModWin)) != 0) {
        accept(dialog, state, static_cast<std::uint32_t>(vk), m);
    } else {
        set_status(dialog, kTypingKey, true);
    }
}

void modifier_up(HWND dialog, KeyDialogState& state) {
    const std::uint32_t m = held_mask();
    state.live_mods = m;
    if (m == 0) {
        const std::uint32_t seen = state.seen_mods;
        state.seen_mods = 0;
        if (seen == (kModCtrl | kModAlt)) {
            set_status(dialog, "Strg + Alt allein löst auch AltGr aus. Bitte eine andere Kombination wählen.", true);
        } else if ((seen & (seen - 1)) != 0) {  // two or more modifiers
            accept(dialog, state, 0, seen);
        }
    }
    repaint_caps(dialog);
}

void fill_round(HDC dc, int l, int t, int r, int b, COLORREF fill, COLORREF line, int corner) {
    HBRUSH brush = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, 1, line);
    const HGDIOBJ old_brush = SelectObject(dc, brush);
    const HGDIOBJ old_pen = SelectObject(dc, pen);
    RoundRect(dc, l, t, r, b, corner, corner);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(brush);
    DeleteObject(pen);
}

int text_width(HDC dc, const std::wstring& text) {
    SIZE size {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void paint_caps(HDC dc, int w, int h, const KeyDialogState* state) {
    RECT all {0, 0, w, h};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    fill_round(dc, 0, 0, w, h, kCapsBack, kCapsLine, scale(10));
    const HGDIOBJ old_font = SelectObject(dc, dialog_font(DialogFont::Body));
    SetBkMode(dc, TRANSPARENT);
    const std::string name = state ? state->shown() : std::string();
    const bool live = state && state->live_mods != 0;
    const int line = scale(19);
    if (name.empty()) {
        const std::wstring hint = wide(kHintCaption);
        SetTextColor(dc, kHintText);
        TextOutW(dc, (w - text_width(dc, hint)) / 2, (h - line) / 2, hint.c_str(), static_cast<int>(hint.size()));
        SelectObject(dc, old_font);
        return;
    }
    std::vector<std::wstring> parts;
    for (std::size_t start = 0;;) {
        const std::size_t plus = name.find(" + ", start);
        parts.push_back(wide(name.substr(start, plus == std::string::npos ? std::string::npos : plus - start)));
        if (plus == std::string::npos) break;
        start = plus + 3;
    }
    const int cap_h = scale(34);
    const std::wstring plus = L"+";
    const int plus_w = text_width(dc, plus);
    // A name too long for the view (many modifiers, a long key name) first gets narrower caps
    // and gaps, then its widest caps are narrowed until the row fits; their text then ends in
    // an ellipsis.
    int pad = scale(14), min_w = scale(52), gap = scale(10);
    std::vector<int> widths;
    int pluses = 0, room = 0;
    const auto measure = [&] {
        widths.clear();
        for (const auto& p : parts) widths.push_back(std::max(text_width(dc, p) + 2 * pad, min_w));
        pluses = static_cast<int>(parts.size() - 1) * (gap + plus_w + gap);
        room = w - 2 * scale(8) - pluses;
    };
    const auto total = [&](int limit) {
        int sum = 0;
        for (int width : widths) sum += std::min(width, limit);
        return sum;
    };
    measure();
    if (total(INT_MAX) > room) {
        pad = scale(6), min_w = scale(30), gap = scale(4);
        measure();
    }
    int limit = *std::max_element(widths.begin(), widths.end());
    while (limit > min_w && total(limit) > room) --limit;
    for (int& width : widths) width = std::min(width, limit);
    const int row = total(limit) + pluses;
    int x = (w - row) / 2;
    const int top = (h - cap_h) / 2 - 1;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            SetTextColor(dc, kHintText);
            TextOutW(dc, x + gap, top + (cap_h - line) / 2, plus.c_str(), 1);
            x += gap + plus_w + gap;
        }
        fill_round(dc, x, top + scale(3), x + widths[i], top + scale(3) + cap_h, kCapsLine, kCapsLine, scale(10));
        fill_round(dc, x, top, x + widths[i], top + cap_h, RGB(255, 255, 255), kCapsLine, scale(10));
        SetTextColor(dc, live ? kLiveText : kCapText);
        const int text_w = text_width(dc, parts[i]);
        if (text_w + 2 * pad <= widths[i]) {
            TextOutW(dc, x + (widths[i] - text_w) / 2, top + (cap_h - line) / 2, parts[i].c_str(),
                     static_cast<int>(parts[i].size()));
        } else {
            RECT r {x + pad, top + (cap_h - line) / 2, x + widths[i] - pad, top + cap_h};
            DrawTextW(dc, parts[i].c_str(), static_cast<int>(parts[i].size()), &r,
                      DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        }
        x += widths[i];
    }
    SelectObject(dc, old_font);
}

}  // namespace

LRESULT CALLBACK key_dialog_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    LRESULT framed = 0;
    if (frame_message(window, msg, wparam, lparam, framed)) return framed;
    KeyDialogState* state = key_state(window);
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (state) key_down(window, *state, wparam);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (state && is_modifier(wparam)) modifier_up(window, *state);
        return 0;
    case WM_SYSCHAR:
        return 0;  // Alt combinations neither beep nor open the system menu
    case WM_COMMAND:
        if (!state) break;
        if (LOWORD(wparam) == kIdPrimary) {
            if (state->captured) {
                DestroyWindow(window);
                return 0;
            }
        } else if (LOWORD(wparam) == kIdSecond) {
            cancel(window, *state);
            return 0;
        }
        SetFocus(window);
        return 0;
    case WM_CLOSE:
        if (state) cancel(window, *state);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

LRESULT CALLBACK keycaps_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    switch (msg) {
    case WM_GETOBJECT:
        if (const LRESULT object = accessible_object(window, wparam, lparam, keycaps_view)) return object;
        return DefWindowProcW(window, msg, wparam, lparam);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint_buffered(window, [&](HDC dc, int w, int h) { paint_caps(dc, w, h, key_state(GetParent(window))); });
        return 0;
    default:
        return DefWindowProcW(window, msg, wparam, lparam);
    }
}

std::optional<TalkKey> choose_key(const std::string& current_name) {
    KeyDialogState state;
    const int width = 460, height = 308;
    HWND dialog = create_dialog(L"TolvekKeyDialog", "Taste wählen",
                                "Gewünschte Taste oder Kombination drücken und loslassen.\nZwei Zusatztasten allein "
                                "gehen auch, etwa Strg + Umschalt.",
                                width, height, state);
    if (!dialog) return std::nullopt;
    add_control(dialog, L"TolvekKeycaps", "", 0, 24, 112, 412, 72, kIdKeycaps, DialogFont::Body);
    add_control(dialog, L"STATIC", "", SS_NOPREFIX, 24, 194, 412, 40, kIdStatus, DialogFont::Small);
    set_status(dialog, "Aktuell: " + current_name, false);
    add_buttons(dialog, width, height, {{"Übernehmen", kIdPrimary}, {"Abbrechen", kIdSecond}});
    EnableWindow(GetDlgItem(dialog, kIdPrimary), FALSE);
    // Keys reach the dialog window itself, untranslated: no character messages, no dialog keys.
    run_dialog(dialog, DialogLoop::RawKeys);
    if (!state.captured) return std::nullopt;
    return state.key;
}

}  // namespace tolvek
