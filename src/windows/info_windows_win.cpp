#include <algorithm>

#include "build_config.h"
#include "dictation/dictation.h"
#include "dictation/insertion.h"
#include "net/http.h"
#include "net/proxy.h"
#include "net/system_facts.h"
#include "windows/dialog_frame.h"
#include "windows/dialogs.h"
#include "windows/info_text.h"
#include "windows/window_procs.h"
#include "util/dpi.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

constexpr int kIdTechText = 101;

COLORREF rgb(int r, int g, int b) { return RGB(r, g, b); }

TolvekDialogState* state_of(HWND dialog) { return static_cast<TolvekDialogState*>(dialog_state(dialog)); }

const RecentDictation* recent_entry(HWND dialog, UINT index) {
    const TolvekDialogState* state = state_of(dialog);
    if (!state || index >= state->recent.size()) return nullptr;
    return &state->recent[index];
}

void measure_recent(HWND window, MEASUREITEMSTRUCT& item) {
    const RecentDictation* entry = recent_entry(window, item.itemID);
    RECT list {};
    GetClientRect(GetDlgItem(window, kIdList), &list);
    RECT r {0, 0, list.right - scale(32), 0};
    const HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, dialog_font(DialogFont::Body));
    const std::wstring text = wide(entry ? entry->text : "");
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    item.itemHeight = static_cast<UINT>(std::min<long>(r.bottom - r.top + scale(44), 255));
}

void draw_recent(HWND window, const DRAWITEMSTRUCT& item) {
    const RecentDictation* entry = recent_entry(window, item.itemID);
    if (!entry) return;
    const bool copied = state_of(window)->copied == static_cast<int>(item.itemID);
    const HDC dc = item.hDC;
    RECT r = item.rcItem;
    const HBRUSH back = CreateSolidBrush((item.itemState & ODS_SELECTED) ? rgb(244, 245, 247) : rgb(255, 255, 255));
    FillRect(dc, &r, back);
    DeleteObject(back);
    const HBRUSH line = CreateSolidBrush(rgb(230, 232, 236));
    const RECT bottom {r.left, r.bottom - 1, r.right, r.bottom};
    FillRect(dc, &bottom, line);
    DeleteObject(line);
    SetBkMode(dc, TRANSPARENT);

    const HGDIOBJ old = SelectObject(dc, dialog_font(DialogFont::Small));
    const std::wstring time = wide(entry->time);
    SetTextColor(dc, rgb(90, 98, 115));
    TextOutW(dc, r.left + scale(12), r.top + scale(10), time.c_str(), static_cast<int>(time.size()));
    if (copied) {
        const std::wstring mark = L"Kopiert";
        SIZE size {};
        GetTextExtentPoint32W(dc, mark.c_str(), static_cast<int>(mark.size()), &size);
        SetTextColor(dc, rgb(194, 71, 10));
        TextOutW(dc, r.right - scale(12) - size.cx, r.top + scale(10), mark.c_str(), static_cast<int>(mark.size()));
    }
    SelectObject(dc, dialog_font(DialogFont::Body));
    SetTextColor(dc, rgb(58, 66, 82));
    RECT text_rect {r.left + scale(12), r.top + scale(30), r.right - scale(12), r.bottom - scale(10)};
    const std::wstring text = wide(entry->text);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &text_rect,
              DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS);
    SelectObject(dc, old);
}

// A click on an entry copies it (again, when it was copied before) and moves the mark there.
void copy_selected(HWND window) {
    const HWND list = GetDlgItem(window, kIdList);
    const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return;
    const RecentDictation* entry = recent_entry(window, static_cast<UINT>(selected));
    if (!entry) return;
    set_clipboard_text(utf8_to_utf16(entry->text));
    state_of(window)->copied = static_cast<int>(selected);
    InvalidateRect(list, nullptr, TRUE);
}

// The list box tells a selection change, but not a click on the entry already selected; that
// click must copy again, so the list reports it as a change itself.
LRESULT CALLBACK recent_list_proc(HWND list, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    TolvekDialogState* state = state_of(GetParent(list));
    if (!state) return DefWindowProcW(list, msg, wparam, lparam);
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) {
        state->selection_at_press = SendMessageW(list, LB_GETCURSEL, 0, 0);
    }
    const LRESULT pressed = state->selection_at_press;
    const LRESULT result = CallWindowProcW(state->list_proc, list, msg, wparam, lparam);
    if (msg == WM_LBUTTONUP && pressed != LB_ERR) {
        const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, lparam);  // HIWORD 1: outside
        if (HIWORD(hit) == 0 && LOWORD(hit) == pressed && SendMessageW(list, LB_GETCURSEL, 0, 0) == pressed) {
            SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(kIdList, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
        }
    }
    return result;
}

}  // namespace

// The procedure of class TolvekDialog: the company-code dialog, the tech-info and the
// recent-dictations windows.
LRESULT CALLBACK dialog_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    LRESULT framed = 0;
    if (frame_message(window, msg, wparam, lparam, framed)) return framed;
    switch (msg) {
    case WM_MEASUREITEM: {
        auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
        if (item.CtlID != kIdList) break;
        measure_recent(window, item);
        return TRUE;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (item.CtlID != kIdList) break;
        draw_recent(window, item);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == kIdList && HIWORD(wparam) == LBN_SELCHANGE) {
            copy_selected(window);
        } else if (LOWORD(wparam) == kIdPrimary) {
            // Only the company-code dialog has a result; the other windows just close.
            if (GetDlgItem(window, kIdEdit)) {
                wchar_t text[64] {};
                GetDlgItemTextW(window, kIdEdit, text, 64);
                if (TolvekDialogState* state = state_of(window)) state->result = narrow(text);
            }
            DestroyWindow(window);
        } else if (LOWORD(wparam) == kIdSecond || LOWORD(wparam) == IDCANCEL) {
            DestroyWindow(window);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

void open_tech_info() {
    TechInfo info;
    info.version = kVersion;
    info.edition = windows_edition();
    {
        auto app = lock_app_state();
        info.firm = app->settings.firm;
        info.region = app->settings.region;
        info.endpoint = app->settings.server;
    }
    info.endpoint = resolve_base_url(info.endpoint);
    // The way the last request took; before the first, the way one would take now.
    info.proxy = last_route_label();
    if (info.proxy.empty()) info.proxy = route_label(proxy_resolver()->route(info.endpoint, false));
    info.history = technical_history().lines();

    const int width = 700, height = 520;
    TolvekDialogState state;
    const HWND dialog = create_dialog(L"TolvekDialog", "Technik-Info",
                                      "Nur diese Sitzung, ohne Texte. Beim Beenden von Tolvek ist die Liste weg.",
                                      width, height, state);
    if (!dialog) return;
    const HWND text = add_control(dialog, L"EDIT", tech_info_text(info),
                                  ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_TABSTOP | WS_BORDER | WS_VSCROLL,
                                  24, 88, 652, 356, kIdTechText, DialogFont::Body);
    add_buttons(dialog, width, height, {{"Schließen", kIdSecond}});
    SetFocus(text);
    run_dialog(dialog);
}

void open_recent_dictations(const std::vector<RecentDictation>& recent) {
    const int width = 560, height = 480;
    TolvekDialogState state;
    state.recent = recent;
    const HWND dialog = create_dialog(L"TolvekDialog", "Letzte Diktate",
                                      "Ein Klick auf ein Diktat kopiert es in die Zwischenablage.", width, height,
                                      state);
    if (!dialog) return;
    const HWND list = add_control(dialog, L"LISTBOX", "",
                                  LBS_NOTIFY | LBS_OWNERDRAWVARIABLE | LBS_NOINTEGRALHEIGHT | WS_TABSTOP | WS_VSCROLL,
                                  24, 88, 512, 316, kIdList, DialogFont::Body);
    for (std::size_t i = 0; i < recent.size(); ++i) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L""));
    state.list_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recent_list_proc)));
    add_buttons(dialog, width, height, {{"Schließen", kIdSecond}});
    SetFocus(list);
    run_dialog(dialog);
}

}  // namespace tolvek
