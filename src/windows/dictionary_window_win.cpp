#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <chrono>

#include "base/app_state.h"
#include "base/log.h"
#include "base/notices.h"
#include "net/dictionary.h"
#include "util/dpi.h"
#include "util/win_text.h"
#include "windows/accessible.h"
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
constexpr COLORREF kOwnPill = RGB(242, 107, 29);
constexpr COLORREF kSharedPill = RGB(27, 35, 51);
constexpr COLORREF kDarkText = RGB(27, 35, 51);
constexpr COLORREF kHint = RGB(138, 147, 166);
constexpr char kOwnKind[] = "nur bei mir";
constexpr char kSharedKind[] = "für alle";
constexpr char kShareAction[] = "Für alle freigeben";
constexpr char kKeysHelp[] = "Pfeiltasten: Wort wählen · Enter: für alle freigeben · Entf: entfernen";

constexpr char kSaveFailed[] =
    "Das Wörterbuch ließ sich nicht speichern. Die Wörter bleiben im offenen Fenster; Tolvek versucht es bei "
    "jeder Änderung wieder.";
constexpr char kCloseUnsaved[] =
    "Das Wörterbuch ließ sich nicht speichern.\n\nTrotzdem schließen? Die Wörter, die nur im Fenster stehen, "
    "gehen dann verloren.";

// The open dictionary window's view of the words; only the UI thread touches it.
struct WordsState : DialogState, AccessibleView {
    HWND window = nullptr;
    std::string server, token;
    std::string company_name;
    std::vector<WordEntry> words;
    std::optional<std::size_t> hover;
    std::optional<std::size_t> focus;  // the word the keyboard is on
    bool view_focused = false;
    int scroll = 0;
    int content_height = 0;
    std::vector<PillBox> boxes;  // the last paint's layout, in content coordinates
    std::vector<HitArea> hits;
    bool unsaved = false;  // the last save failed: some words exist only here
    bool told_unsaved = false;
    WNDPROC field_proc = nullptr;  // the word field's own procedure

    // What a screen reader reads: a list of the words, each with its kind.
    long role() const override { return ROLE_SYSTEM_LIST; }
    std::string name() const override { return "Wörter"; }
    // The keys, for screen-reader users (the hint under the view speaks of the mouse).
    std::string description() const override { return kKeysHelp; }
    int item_count() const override { return static_cast<int>(words.size()); }
    std::string item_name(int i) const override { return words[i].text; }
    std::string item_description(int i) const override { return words[i].shared ? kSharedKind : kOwnKind; }
    std::optional<RECT> item_rect(int i) const override;
    std::optional<int> focused_item() const override {
        return focus ? std::optional<int>(static_cast<int>(*focus)) : std::nullopt;
    }
    std::string item_action(int i) const override {
        return !words[i].shared && !token.empty() ? kShareAction : "";
    }
    void do_item_action(int i) override;
};

WordsState* words_state(HWND words_window) { return static_cast<WordsState*>(dialog_state(words_window)); }
AccessibleView* pills_view(HWND pills) { return words_state(GetParent(pills)); }
HWND pills_of(const WordsState& state) { return GetDlgItem(state.window, kIdPills); }

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

// Text at (x, y), cut with an ellipsis where it is wider than `width`.
void text_at(HDC dc, int x, int y, const std::wstring& text, COLORREF colour, int width = 0x7FFF) {
    SetTextColor(dc, colour);
    RECT r {x, y, x + width, y + 0x7FFF};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

const std::wstring kShareMark = L" ↑", kRemoveMark = L" ×";

bool marks_shown(const WordsState& state, std::size_t i) {
    return state.hover == i || (state.view_focused && state.focus == i);
}

// Measures every pill with the pill font and lays them out in the view's width.
void lay_out(HDC dc, int width, WordsState& state) {
    const HGDIOBJ old = SelectObject(dc, pill_font(false));
    std::vector<PillWidths> widths;
    for (std::size_t i = 0; i < state.words.size(); ++i) {
        const bool marks = marks_shown(state, i);
        widths.push_back({width_of(dc, wide(state.words[i].text)),
                          marks && !state.words[i].shared ? width_of(dc, kShareMark) : 0,
                          marks ? width_of(dc, kRemoveMark) : 0});
    }
    SelectObject(dc, old);
    state.boxes = layout_pills(widths, width, system_dpi());
    state.content_height = content_height(state.boxes, system_dpi());
}

void paint_pills(HDC dc, int w, int h, WordsState& state) {
    const RECT all {0, 0, w, h};
    HBRUSH back = CreateSolidBrush(RGB(250, 251, 252));
    FillRect(dc, &all, back);
    DeleteObject(back);
    HBRUSH frame = CreateSolidBrush(RGB(230, 232, 236));
    FrameRect(dc, &all, frame);
    DeleteObject(frame);
    lay_out(dc, w, state);
    const HGDIOBJ old_font = SelectObject(dc, pill_font(false));
    SetBkMode(dc, TRANSPARENT);

    const int legend = scale(kPillsLegend), pill_h = scale(kPillHeight), margin = scale(kPillMargin);
    const int edge = scale(kPillsEdge);
    const int text_y = (pill_h - system_dpi() / 6) / 2;
    const HRGN clip = CreateRectRgn(1, 1, w - 1, h - legend);
    SelectClipRgn(dc, clip);
    state.hits.clear();
    for (std::size_t i = 0; i < state.words.size(); ++i) {
        const WordEntry& entry = state.words[i];
        const PillBox& box = state.boxes[i];
        const int x = box.left, top = box.top - state.scroll;
        const bool marks = marks_shown(state, i);
        const COLORREF fill = entry.shared ? kSharedPill : kOwnPill;
        HBRUSH brush = CreateSolidBrush(fill);
        const HGDIOBJ old_brush = SelectObject(dc, brush);
        const HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
        RoundRect(dc, x, top, box.right + 1, top + pill_h + 1, pill_h, pill_h);
        SelectObject(dc, old_pen);
        SelectObject(dc, old_brush);
        DeleteObject(brush);
        const COLORREF ink = entry.shared ? RGB(255, 255, 255) : kDarkText;
        text_at(dc, x + margin, top + text_y, wide(entry.text), ink, box.text);
        state.hits.push_back({{x, top, box.right, top + pill_h}, i, HitKind::Pill});
        int after = x + margin + box.text;
        if (marks && !entry.shared) {
            const int share_w = width_of(dc, kShareMark);
            text_at(dc, after, top + text_y, kShareMark, ink);
            state.hits.push_back({{after, top, after + share_w, top + pill_h}, i, HitKind::Share});
            after += share_w;
        }
        if (marks) {
            text_at(dc, after, top + text_y, kRemoveMark, ink);
            state.hits.push_back({{after, top, box.right, top + pill_h}, i, HitKind::Remove});
        }
        if (state.view_focused && state.focus == i) {
            RECT mark {x - scale(2), top - scale(2), box.right + scale(3), top + pill_h + scale(3)};
            DrawFocusRect(dc, &mark);
        }
    }
    if (state.words.empty()) text_at(dc, edge, edge, L"Noch keine Wörter. Oben eintippen und Enter.", kHint);
    std::erase_if(state.hits, [&](const HitArea& a) { return a.rect.bottom <= 0 || a.rect.top >= h - legend; });
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);

    // The legend: the company's name gives way (cut with an ellipsis) so that both fit.
    SelectObject(dc, pill_font(true));
    const int legend_y = h - legend + scale(5);
    const std::wstring own = L"● nur bei mir";
    const std::wstring company = L"● " + wide(state.company_name);
    const int room = std::max(w - 2 * edge - scale(18) - width_of(dc, own), 0);
    const int company_w = std::min(width_of(dc, company), room);
    text_at(dc, edge, legend_y, company, kDarkText, company_w);
    text_at(dc, edge + company_w + scale(18), legend_y, own, RGB(194, 71, 10));
    SelectObject(dc, old_font);
}

std::optional<RECT> WordsState::item_rect(int i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= boxes.size()) return std::nullopt;
    RECT client {};
    GetClientRect(pills_of(*this), &client);
    const PillBox& b = boxes[i];
    const RECT r {b.left, b.top - scroll, b.right, b.bottom - scroll};
    if (r.bottom <= 0 || r.top >= client.bottom - scale(kPillsLegend)) return std::nullopt;
    return r;
}

const HitArea* hit_at(const WordsState& state, POINT p) {
    for (auto it = state.hits.rbegin(); it != state.hits.rend(); ++it) {
        if (p.x >= it->rect.left && p.x < it->rect.right && p.y >= it->rect.top && p.y < it->rect.bottom) return &*it;
    }
    return nullptr;
}

// Lays the pills out now (a paint may not have run since the last change).
void refresh_layout(WordsState& state) {
    const HWND pills = pills_of(state);
    RECT client {};
    GetClientRect(pills, &client);
    const HDC dc = GetDC(pills);
    lay_out(dc, client.right, state);
    ReleaseDC(pills, dc);
}

void repaint_pills(WordsState& state) { InvalidateRect(pills_of(state), nullptr, FALSE); }

// Saves the own words; a failure is told once, and the window keeps them until a save works.
void save(WordsState& state, bool saved) {
    state.unsaved = !saved;
    if (saved || state.told_unsaved) return;
    state.told_unsaved = true;
    show_balloon("Tolvek", kSaveFailed, true);
}

// Moves the keyboard to word `i`, scrolls it into sight and tells screen readers.
void focus_word(WordsState& state, std::optional<std::size_t> i) {
    state.focus = i;
    refresh_layout(state);
    const HWND pills = pills_of(state);
    if (i && *i < state.boxes.size()) {
        RECT client {};
        GetClientRect(pills, &client);
        state.scroll = scrolled_to_show(state.scroll, state.boxes[*i], state.content_height, client.bottom,
                                        system_dpi());
        if (state.view_focused) announce_focus(pills, static_cast<int>(*i));
    }
    repaint_pills(state);
}

void share_word(WordsState& state, std::size_t i) {
    if (i >= state.words.size() || state.words[i].shared || state.token.empty()) return;
    state.words[i].shared = true;
    save(state, share_and_save(state.server, state.token, state.words, state.words[i].text));
    repaint_pills(state);
}

// Removes word `i`; a company word only after the user said yes. The question is the window's
// own (it cannot be used meanwhile), and the word is looked up again after it.
void remove_word(WordsState& state, std::size_t i) {
    if (i >= state.words.size()) return;
    const WordEntry entry = state.words[i];
    // A word the service refused to share is the user's own: the company never had it.
    const bool company_word = entry.shared && !sharing_refused(entry.text);
    if (company_word) {
        const int answer = message_box("„" + entry.text + "“ für alle bei " + state.company_name +
                                           " entfernen?\n\nDas Wort verschwindet dann für jeden in der Firma.",
                                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, state.window);
        if (answer != IDYES) return;
    }
    const auto still = std::find(state.words.begin(), state.words.end(), entry);
    if (still == state.words.end()) return;
    if (company_word) update_company_words(state.server, state.token, {}, {entry.text});
    forget_word(entry.text);
    state.words.erase(still);
    state.hover.reset();
    save(state, save_own_words(state.words));
    if (state.focus && *state.focus >= state.words.size()) {
        state.focus = state.words.empty() ? std::nullopt : std::optional<std::size_t>(state.words.size() - 1);
    }
    focus_word(state, state.focus);
}

void WordsState::do_item_action(int i) { share_word(*this, static_cast<std::size_t>(i)); }

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
        save(state, for_all ? share_and_save(state.server, state.token, state.words, outcome.word)
                            : save_own_words(state.words));
    }
    SetWindowTextW(field, L"");
    repaint_pills(state);
    SetFocus(field);
}

void click(WordsState& state, POINT p) {
    const HitArea* hit = hit_at(state, p);
    if (!hit || hit->kind == HitKind::Pill) {
        repaint_pills(state);
    } else if (hit->kind == HitKind::Share) {
        share_word(state, hit->index);
    } else {
        remove_word(state, hit->index);
    }
}

// The word in the row above or below the focused one whose middle is nearest to its middle.
std::optional<std::size_t> word_in_next_row(const WordsState& state, bool down) {
    if (!state.focus || *state.focus >= state.boxes.size()) return std::nullopt;
    const PillBox& from = state.boxes[*state.focus];
    std::optional<int> row;
    for (const PillBox& b : state.boxes) {
        if (down ? b.top > from.top && (!row || b.top < *row) : b.top < from.top && (!row || b.top > *row)) row = b.top;
    }
    if (!row) return state.focus;
    std::optional<std::size_t> best;
    int best_distance = 0;
    for (std::size_t i = 0; i < state.boxes.size(); ++i) {
        if (state.boxes[i].top != *row) continue;
        const int distance = std::abs((state.boxes[i].left + state.boxes[i].right) - (from.left + from.right));
        if (!best || distance < best_distance) best = i, best_distance = distance;
    }
    return best;
}

// Arrow keys, Pos1 and Ende move between words; Entf removes the word, Enter shares an own one.
void key_down(WordsState& state, WPARAM key) {
    if (state.words.empty()) return;
    const std::size_t last = state.words.size() - 1;
    const std::size_t at = std::min(state.focus.value_or(0), last);
    switch (key) {
    case VK_LEFT: focus_word(state, at == 0 ? 0 : at - 1); break;
    case VK_RIGHT: focus_word(state, std::min(at + 1, last)); break;
    case VK_UP:
    case VK_DOWN:
        state.focus = at;
        refresh_layout(state);
        focus_word(state, word_in_next_row(state, key == VK_DOWN));
        break;
    case VK_HOME: focus_word(state, 0); break;
    case VK_END: focus_word(state, last); break;
    case VK_DELETE: remove_word(state, at); break;
    case VK_RETURN: share_word(state, at); break;
    default: break;
    }
}

// Closing saves once more; when that fails too, the user decides whether the words may go.
void close_window(HWND window, WordsState& state) {
    if (state.unsaved) {
        save(state, save_own_words(state.words));
        if (state.unsaved &&
            message_box(kCloseUnsaved, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, window) != IDYES) {
            return;
        }
    }
    DestroyWindow(window);
}

// The word field hands the wheel to the pills: it has the keyboard, so without the "scroll
// inactive windows" setting the wheel comes to it, and an edit field would drop it.
LRESULT CALLBACK word_field_proc(HWND field, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    const HWND window = GetParent(field);
    const WordsState* state = words_state(window);
    if (msg == WM_MOUSEWHEEL) return SendMessageW(GetDlgItem(window, kIdPills), msg, wparam, lparam);
    return state && state->field_proc ? CallWindowProcW(state->field_proc, field, msg, wparam, lparam)
                                      : DefWindowProcW(field, msg, wparam, lparam);
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
        if (LOWORD(wparam) == IDCANCEL) close_window(window, *state);
        return 0;
    case WM_CLOSE:
        if (state) close_window(window, *state);
        return 0;
    case WM_MOUSEWHEEL:
        // A wheel turned over the dialog (or handed up by a control) scrolls the pills.
        return SendMessageW(GetDlgItem(window, kIdPills), msg, wparam, lparam);
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
    case WM_GETOBJECT:
        if (const LRESULT object = accessible_object(window, wparam, lparam, pills_view)) return object;
        break;
    case WM_GETDLGCODE: {
        // Arrows, Entf and Enter are the view's; Tab and Escape stay the dialog's.
        const auto* key = reinterpret_cast<const MSG*>(lparam);
        const bool own = key && key->message == WM_KEYDOWN && (key->wParam == VK_RETURN || key->wParam == VK_DELETE);
        return DLGC_WANTARROWS | (own ? DLGC_WANTMESSAGE : 0);
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (!state) break;
        state->view_focused = msg == WM_SETFOCUS;
        if (state->view_focused && !state->focus && !state->words.empty()) state->focus = 0;
        focus_word(*state, state->focus);
        return 0;
    case WM_KEYDOWN:
        if (state) key_down(*state, wparam);
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
        if (!state) return 0;  // never handed up: the dialog hands the wheel down here
        RECT client {};
        GetClientRect(window, &client);
        state->scroll = scrolled(state->scroll, GET_WHEEL_DELTA_WPARAM(wparam), state->content_height, client.bottom,
                                 system_dpi());
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    case WM_LBUTTONUP:
        if (state) click(*state, p);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

void open_dictionary() {
    // Chosen again while open: the open window comes forward, and its state stays as it is.
    if (bring_open_dialog_forward()) return;
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
    if (bring_open_dialog_forward()) return;  // another dialog opened while the list came
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
    state.window = window;
    const HWND field = add_control(window, L"EDIT", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 24, 90, 324, 28,
                                   kIdWord, DialogFont::Body);
    SendMessageW(field, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Wort hinzufügen und Enter"));
    state.field_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(word_field_proc)));
    const HWND share = add_control(window, L"BUTTON", "für alle", BS_AUTOCHECKBOX | WS_TABSTOP, 360, 92, 80, 24,
                                   kIdShareBox, DialogFont::Body);
    EnableWindow(share, !state.token.empty());
    add_control(window, L"BUTTON", "Hinzufügen", BS_PUSHBUTTON | WS_TABSTOP, 444, 88, 92, 32, IDOK, DialogFont::Body);
    add_control(window, L"TolvekPills", "", WS_TABSTOP, 24, 132, 512, 248, kIdPills, DialogFont::Body);
    add_control(window, L"STATIC", "Maus auf ein Wort: ↑ für alle freigeben, × entfernen.", SS_NOPREFIX, 24, 388,
                512, 20, kIdHint, DialogFont::Small);
    add_buttons(window, width, height, {{"Fertig", IDCANCEL}});
    SetFocus(field);
    run_dialog(window);
    save_own_words(state.words);
    log("Wörterbuch: " + std::to_string(state.words.size()) + " Wörter");
}

}  // namespace tolvek
