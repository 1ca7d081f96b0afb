#include "windows/dialog_frame.h"

#include "util/dpi.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

// The dialog open now; only the UI thread makes and runs dialogs.
HWND g_open_dialog = nullptr;

constexpr COLORREF kTitle = RGB(27, 35, 51);
constexpr COLORREF kBody = RGB(90, 98, 115);
constexpr COLORREF kError = RGB(194, 71, 10);
constexpr COLORREF kOther = RGB(58, 66, 82);
constexpr COLORREF kFooterLine = RGB(230, 232, 236);
constexpr COLORREF kFooter = RGB(244, 245, 247);
constexpr COLORREF kPrimary = RGB(27, 35, 51);
constexpr COLORREF kPressed = RGB(52, 64, 87);
constexpr COLORREF kDisabled = RGB(180, 185, 194);

HBRUSH white_brush() {
    static HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
    return brush;
}
HBRUSH footer_brush() {
    static HBRUSH brush = CreateSolidBrush(kFooter);
    return brush;
}

HFONT make_font(int size, int weight) {
    return CreateFontW(-(size * system_dpi() / 96), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH, L"Segoe UI");
}

}  // namespace

HFONT dialog_font(DialogFont which) {
    static HFONT title = make_font(20, 600);
    static HFONT body = make_font(14, 400);
    static HFONT small = make_font(12, 400);
    switch (which) {
    case DialogFont::Title: return title;
    case DialogFont::Small: return small;
    default: return body;
    }
}

int body_height(const std::string& body) {
    int lines = 1;
    for (char c : body) lines += c == '\n';
    return 20 * lines + 4;
}

int button_x(int width, int count, int index) { return width - count * 116 - 16 + index * 116; }

DialogState* dialog_state(HWND dialog) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

bool bring_open_dialog_forward() {
    if (!g_open_dialog || !IsWindow(g_open_dialog)) return false;
    ShowWindow(g_open_dialog, SW_SHOW);
    SetForegroundWindow(g_open_dialog);
    return true;
}

HWND create_dialog(const wchar_t* window_class, const std::string& heading, const std::string& body,
                   int width, int height, DialogState& state) {
    if (bring_open_dialog_forward()) return nullptr;
    RECT rect {0, 0, scale(width), scale(height)};
    AdjustWindowRectEx(&rect, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOPMOST);
    const int outer_w = rect.right - rect.left;
    const int outer_h = rect.bottom - rect.top;
    RECT work {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - outer_w) / 2;
    const int y = work.top + (work.bottom - work.top - outer_h) / 2;
    HWND dialog = CreateWindowExW(WS_EX_TOPMOST, window_class, L"Tolvek",
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, outer_w, outer_h,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), &state);
    if (!dialog) return nullptr;
    g_open_dialog = dialog;
    // A heading too long for its line (a long company name) ends in an ellipsis.
    add_control(dialog, L"STATIC", heading, SS_NOPREFIX | SS_ENDELLIPSIS, 24, 18, width - 48, 30, kIdTitle,
                DialogFont::Title);
    add_control(dialog, L"STATIC", body, SS_NOPREFIX, 24, 54, width - 48, body_height(body), kIdBody,
                DialogFont::Body);
    return dialog;
}

HWND add_control(HWND parent, const wchar_t* window_class, const std::string& text, DWORD style,
                 int x, int y, int w, int h, int id, DialogFont font) {
    HWND control = CreateWindowExW(0, window_class, wide(text).c_str(), style | WS_CHILD | WS_VISIBLE,
                                   scale(x), scale(y), scale(w), scale(h), parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(dialog_font(font)), TRUE);
    return control;
}

void add_buttons(HWND dialog, int width, int height,
                 const std::vector<std::pair<std::string, int>>& buttons) {
    const int n = static_cast<int>(buttons.size());
    for (int i = 0; i < n; ++i) {
        add_control(dialog, L"BUTTON", buttons[i].first,
                    WS_TABSTOP | (i == 0 ? BS_OWNERDRAW : BS_PUSHBUTTON), button_x(width, n, i),
                    height - 46, 108, 32, buttons[i].second, DialogFont::Body);
    }
}

void set_status(HWND dialog, const std::string& text, bool is_error) {
    if (DialogState* state = dialog_state(dialog)) state->status_is_error = is_error;
    HWND status = GetDlgItem(dialog, kIdStatus);
    SetWindowTextW(status, wide(text).c_str());
    InvalidateRect(status, nullptr, TRUE);
}

bool frame_message(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(
                                                     reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
        return false;
    case WM_DESTROY:
        if (DialogState* state = dialog_state(window)) state->done = true;
        if (window == g_open_dialog) g_open_dialog = nullptr;
        return false;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return false;
    case WM_ACTIVATE: {
        // Leaving the dialog (Alt+Tab, a question, the tray menu) remembers where the keyboard
        // was; coming back puts it there again, so typing never goes nowhere.
        DialogState* state = dialog_state(window);
        if (!state) return false;
        const auto inside = [&](HWND w) { return w && (w == window || IsChild(window, w)); };
        if (LOWORD(wparam) == WA_INACTIVE) {
            if (inside(GetFocus())) state->focus = GetFocus();
        } else if (!HIWORD(wparam)) {
            SetFocus(inside(state->focus) && IsWindowEnabled(state->focus) ? state->focus : window);
        }
        result = 0;
        return true;
    }
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        RECT client {};
        GetClientRect(window, &client);
        FillRect(dc, &client, white_brush());
        RECT footer = client;
        footer.top = client.bottom - scale(60);
        FillRect(dc, &footer, footer_brush());
        RECT line = footer;
        line.bottom = line.top + 1;
        HBRUSH line_brush = CreateSolidBrush(kFooterLine);
        FillRect(dc, &line, line_brush);
        DeleteObject(line_brush);
        result = 1;
        return true;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (item->CtlType != ODT_BUTTON) return false;
        FillRect(item->hDC, &item->rcItem, footer_brush());
        const COLORREF colour = (item->itemState & ODS_DISABLED) ? kDisabled
                                : (item->itemState & ODS_SELECTED) ? kPressed
                                                                   : kPrimary;
        HBRUSH fill = CreateSolidBrush(colour);
        HPEN pen = CreatePen(PS_SOLID, 1, colour);
        HGDIOBJ old_brush = SelectObject(item->hDC, fill);
        HGDIOBJ old_pen = SelectObject(item->hDC, pen);
        RoundRect(item->hDC, item->rcItem.left, item->rcItem.top, item->rcItem.right,
                  item->rcItem.bottom, scale(8), scale(8));
        SelectObject(item->hDC, old_brush);
        SelectObject(item->hDC, old_pen);
        DeleteObject(fill);
        DeleteObject(pen);
        wchar_t text[65] {};
        GetWindowTextW(item->hwndItem, text, 65);
        HGDIOBJ old_font = SelectObject(item->hDC, reinterpret_cast<HFONT>(SendMessageW(item->hwndItem, WM_GETFONT, 0, 0)));
        SetBkMode(item->hDC, TRANSPARENT);
        SetTextColor(item->hDC, RGB(255, 255, 255));
        RECT r = item->rcItem;
        DrawTextW(item->hDC, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(item->hDC, old_font);
        if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT)) {
            RECT focus = item->rcItem;
            InflateRect(&focus, -scale(3), -scale(3));
            DrawFocusRect(item->hDC, &focus);
        }
        result = TRUE;
        return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        HWND control = reinterpret_cast<HWND>(lparam);
        const int id = GetDlgCtrlID(control);
        COLORREF text = kOther;
        if (id == kIdTitle) text = kTitle;
        if (id == kIdBody) text = kBody;
        if (id == kIdStatus) {
            const DialogState* state = dialog_state(window);
            text = state && state->status_is_error ? kError : kBody;
        }
        RECT client {}, rc {};
        GetClientRect(window, &client);
        GetWindowRect(control, &rc);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rc), 2);
        const bool in_footer = rc.top >= client.bottom - scale(60);
        SetTextColor(dc, text);
        SetBkColor(dc, in_footer ? kFooter : RGB(255, 255, 255));
        result = reinterpret_cast<LRESULT>(in_footer ? footer_brush() : white_brush());
        return true;
    }
    default:
        return false;
    }
}

void paint_buffered(HWND window, const std::function<void(HDC dc, int width, int height)>& draw) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client {};
    GetClientRect(window, &client);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    draw(memory, client.right, client.bottom);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &ps);
}

void run_dialog(HWND dialog, DialogLoop loop) {
    DialogState* state = dialog ? dialog_state(dialog) : nullptr;
    if (!state) return;  // the window could not be made: nothing to wait for
    if (loop == DialogLoop::RawKeys) SetFocus(dialog);
    state->focus = GetFocus();
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    MSG msg;
    while (!state->done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is quitting: hand the request on to the main loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (loop == DialogLoop::RawKeys) {
            DispatchMessageW(&msg);
        } else if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (!state->done) DestroyWindow(dialog);
}

}  // namespace tolvek
