#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>

#include "base/app_state.h"
#include "base/log.h"
#include "base/notices.h"
#include "net/dictionary.h"
#include "util/dpi.h"
#include "util/win_text.h"
#include "windows/dialog_frame.h"
#include "windows/dialogs.h"
#include "windows/window_procs.h"
#include "windows/words.h"

namespace tolvek {
namespace {

constexpr int kIdWord = 200;
constexpr int kIdShareBox = 201;
constexpr int kIdHint = 91;
constexpr int kIdPills = 300;
constexpr int kLegend = 26;  // the unscrolled bottom band of the pills view
constexpr COLORREF kOwnPill = RGB(242, 107, 29);
constexpr COLORREF kSharedPill = RGB(27, 35, 51);
constexpr COLORREF kDarkText = RGB(27, 35, 51);
constexpr COLORREF kHint = RGB(138, 147, 166);

// The open dictionary window's view of the words; only the UI thread touches it.
struct WordsState : DialogState {
    std::string server, token;
    std::string company_name;
    std::vector<WordEntry> words;
    std::optional<std::size_t> hover;
    int scroll = 0;
    int content_height = 0;
    std::vector<HitArea> hits;
};

WordsState* words_state(HWND words_window) { return static_cast<WordsState*>(dialog_state(words_window)); }

HFONT pill_font(bool semibold) {
    static HFONT regular = CreateFontW(-scale(12), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                       CLEARTYPE_QUALITY, 0, L"Segoe UI");
    static HFONT bold = CreateFontW(-scale(12), 0, 0, 0, FW_SEMIBOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                    CLEARTYPE_QUALITY, 0, L"Segoe UI");
    return semibold ? bold : regular;
}

int width_of(HDC dc, const std::wstring& text) {
    SIZE size {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void text_at(HDC dc, int x, int y, const std::wstring& text, COLORREF colour) {
    SetTextColor(dc, colour);
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void paint_pills(HDC dc, int w, int h, WordsState& state) {
    const RECT all {0, 0, w, h};
    HBRUSH back = CreateSolidBrush(RGB(250, 251, 252));
    FillRect(dc, &all, back);
    DeleteObject(back);
    HBRUSH frame = CreateSolidBrush(RGB(230, 232, 236));
    FrameRect(dc, &all, frame);
    DeleteObject(frame);
    const HGDIOBJ old_font = SelectObject(dc, pill_font(false));
    SetBkMode(dc, TRANSPARENT);

    const int legend = scale(kLegend), pill_h = scale(22), margin = scale(9), gap = scale(5), edge = scale(10);
    const int text_y = (pill_h - system_dpi() / 6) / 2;
    const HRGN clip = CreateRectRgn(1, 1, w - 1, h - legend);
    SelectClipRgn(dc, clip);
    int x = edge;
    int top = edge - state.scroll;
    state.hits.clear();
    const std::wstring share = L" ↑", remove = L" ×";
    for (std::size_t i = 0; i < state.words.size(); ++i) {
        const WordEntry& entry = state.words[i];
        const bool hovered = state.hover == i;
        const bool show_share = hovered && !entry.shared;
        const std::wstring text = wide(entry.text);
        const int text_w = width_of(dc, text);
        const int share_w = show_share ? width_of(dc, share) : 0;
        const int remove_w = hovered ? width_of(dc, remove) : 0;
        const int pill_w = margin + text_w + margin + share_w + remove_w;
        if (x + pill_w > w - edge && x > edge) {
            top += pill_h + gap;
            x = edge;
        }
        const COLORREF fill = entry.shared ? kSharedPill : kOwnPill;
        HBRUSH brush = CreateSolidBrush(fill);
        const HGDIOBJ old_brush = SelectObject(dc, brush);
        const HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
        RoundRect(dc, x, top, x + pill_w + 1, top + pill_h + 1, pill_h, pill_h);
        SelectObject(dc, old_pen);
        SelectObject(dc, old_brush);
        DeleteObject(brush);
        const COLORREF ink = entry.shared ? RGB(255, 255, 255) : kDarkText;
        text_at(dc, x + margin, top + text_y, text, ink);
        state.hits.push_back({{x, top, x + pill_w, top + pill_h}, i, HitKind::Pill});
        int after = x + margin + text_w;
        if (show_share) {
            text_at(dc, after, top + text_y, share, ink);
            state.hits.push_back({{after, top, after + share_w, top + pill_h}, i, HitKind::Share});
            after += share_w;
        }
        if (hovered) {
            text_at(dc, after, top + text_y, remove, ink);
            state.hits.push_back({{after, top, after + remove_w + margin, top + pill_h}, i, HitKind::Remove});
        }
        x += pill_w + gap;
    }
    if (state.words.empty()) text_at(dc, edge, edge, L"Noch keine Wörter. Oben eintippen und Enter.", kHint);
    state.content_height = (top + state.scroll - edge) + pill_h;
    std::erase_if(state.hits, [&](const HitArea& a) { return a.rect.bottom <= 0 || a.rect.top >= h - legend; });
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);

    SelectObject(dc, pill_font(true));
    const int legend_y = h - legend + scale(5);
    const std::wstring company = L"● " + wide(state.company_name);
    text_at(dc, edge, legend_y, company, kDarkText);
    text_at(dc, edge + width_of(dc, company) + scale(18), legend_y, L"● nur bei mir", RGB(194, 71, 10));
    SelectObject(dc, old_font);
}

const HitArea* hit_at(const WordsState& state, POINT p) {
    for (auto it = state.hits.rbegin(); it != state.hits.rend(); ++it) {
        if (p.x >= it->rect.left && p.x < it->rect.right && p.y >= it->rect.top && p.y < it->rect.bottom) return &*it;
    }
    return nullptr;
}

void repaint_pills(HWND words_window) { InvalidateRect(GetDlgItem(words_window, kIdPills), nullptr, FALSE); }

void add_typed_word(HWND window, WordsState& state) {
    const HWND field = GetDlgItem(window, kIdWord);
    wchar_t typed[512] {};
    GetWindowTextW(field, typed, 512);
    const bool for_all = SendMessageW(GetDlgItem(window, kIdShareBox), BM_GETCHECK, 0, 0) == BST_CHECKED;
    const AddOutcome outcome = add_word(state.words, narrow(typed), for_all);
    if (outcome.change == WordChange::None && outcome.word.empty()) {
        SetFocus(field);
        return;
    }
    if (outcome.change != WordChange::None) {
        if (for_all) update_company_words(state.server, state.token, {outcome.word}, {});
        save_own_words(state.words);
    }
    SetWindowTextW(field, L"");
    repaint_pills(window);
    SetFocus(field);
}

void click(HWND pills, WordsState& state, POINT p) {
    const HitArea* hit = hit_at(state, p);
    if (!hit || hit->kind == HitKind::Pill) {
        InvalidateRect(pills, nullptr, FALSE);
        return;
    }
    const std::size_t i = hit->index;
    const WordEntry entry = state.words[i];
    if (hit->kind == HitKind::Share) {
        state.words[i].shared = true;
        save_own_words(state.words);
        update_company_words(state.server, state.token, {entry.text}, {});
    } else {
        if (entry.shared) {
            const int answer = message_box("„" + entry.text + "“ für alle bei " + state.company_name +
                                               " entfernen?\n\nDas Wort verschwindet dann für jeden in der Firma.",
                                           MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
            if (answer != IDYES) return;
            update_company_words(state.server, state.token, {}, {entry.text});
        }
        state.words.erase(state.words.begin() + static_cast<std::ptrdiff_t>(i));
        state.hover.reset();
        save_own_words(state.words);
    }
    InvalidateRect(pills, nullptr, FALSE);
}

}  // namespace

std::vector<HitArea> pill_areas(HWND pills) {
    const WordsState* state = words_state(GetParent(pills));
    return state ? state->hits : std::vector<HitArea> {};
}

LRESULT CALLBACK words_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    LRESULT framed = 0;
    if (frame_message(window, msg, wparam, lparam, framed)) return framed;
    WordsState* state = words_state(window);
    switch (msg) {
    case WM_COMMAND:
        if (!state) break;
        if (LOWORD(wparam) == IDOK) add_typed_word(window, *state);
        if (LOWORD(wparam) == IDCANCEL) DestroyWindow(window);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

LRESULT CALLBACK pills_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    WordsState* state = words_state(GetParent(window));
    const POINT p {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint_buffered(window, [&](HDC dc, int w, int h) {
            if (state) paint_pills(dc, w, h, *state);
        });
        return 0;
    case WM_SETCURSOR: {
        POINT cursor {};
        GetCursorPos(&cursor);
        ScreenToClient(window, &cursor);
        const HitArea* hit = state ? hit_at(*state, cursor) : nullptr;
        SetCursor(LoadCursorW(nullptr, hit && hit->kind != HitKind::Pill ? IDC_HAND : IDC_ARROW));
        return TRUE;
    }
    case WM_MOUSEMOVE: {
        if (!state) break;
        const HitArea* hit = hit_at(*state, p);
        const std::optional<std::size_t> hover = hit ? std::optional<std::size_t>(hit->index) : std::nullopt;
        if (hover != state->hover) {
            state->hover = hover;
            InvalidateRect(window, nullptr, FALSE);
        }
        TRACKMOUSEEVENT track {sizeof track, TME_LEAVE, window, 0};
        TrackMouseEvent(&track);
        return 0;
    }
    case WM_MOUSELEAVE:
        if (!state) break;
        state->hover.reset();
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_MOUSEWHEEL: {
        if (!state) break;
        RECT client {};
        GetClientRect(window, &client);
        state->scroll = scrolled(state->scroll, GET_WHEEL_DELTA_WPARAM(wparam), state->content_height, client.bottom);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case WM_LBUTTONUP:
        if (state) click(window, *state, p);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

void open_dictionary() {
    WordsState state;
    {
        auto app = lock_app_state();
        state.server = app->settings.server;
        state.token = app->settings.token;
        state.company_name = app->settings.firm.empty() ? "Firma" : app->settings.firm;
    }
    if (!state.token.empty()) {
        auto fetched = fetch_company_words(state.server, state.token);
        if (fetched.wait_for(std::chrono::seconds(4)) == std::future_status::ready) {
            for (auto& word : fetched.get()) state.words.push_back({std::move(word), true});
        }
    }
    forget_refused_sharings();
    for (auto& word : local_spellings()) {
        const bool listed = std::any_of(state.words.begin(), state.words.end(),
                                        [&](const WordEntry& e) { return same_word(e.text, word); });
        if (!listed) state.words.push_back({std::move(word), false});
    }
    const int width = 560, height = 484;
    const HWND window = create_dialog(L"TolvekWords", "Wörterbuch",
                                      "Namen und Begriffe, die Tolvek genau so schreiben soll.", width, height, state);
    if (!window) return;
    const HWND field = add_control(window, L"EDIT", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 24, 90, 324, 28,
                                   kIdWord, DialogFont::Body);
    SendMessageW(field, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Wort hinzufügen und Enter"));
    const HWND share = add_control(window, L"BUTTON", "für alle", BS_AUTOCHECKBOX | WS_TABSTOP, 360, 92, 80, 24,
                                   kIdShareBox, DialogFont::Body);
    EnableWindow(share, !state.token.empty());
    add_control(window, L"BUTTON", "Hinzufügen", BS_PUSHBUTTON | WS_TABSTOP, 444, 88, 92, 32, IDOK, DialogFont::Body);
    add_control(window, L"TolvekPills", "", 0, 24, 132, 512, 248, kIdPills, DialogFont::Body);
    add_control(window, L"STATIC", "Maus auf ein Wort: ↑ für alle freigeben, × entfernen.", SS_NOPREFIX, 24, 388,
                512, 20, kIdHint, DialogFont::Small);
    add_buttons(window, width, height, {{"Fertig", IDCANCEL}});
    SetFocus(field);
    run_dialog(window);
    save_own_words(state.words);
    log("Wörterbuch: " + std::to_string(state.words.size()) + " Wörter");
}

}  // namespace tolvek
