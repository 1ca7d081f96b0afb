// The shared frame of the dialogs opened from the tray menu: white top-most window, bold
// heading, body text, grey footer with a dark rounded first button, status line, modal loop.
// Windows build only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tolvek {

enum DialogControl : int {
    kIdPrimary = 1,
    kIdSecond = 2,
    kIdTitle = 90,
    kIdBody = 91,
    kIdStatus = 92,
    kIdEdit = 100,
    kIdKeycaps = 300,
    kIdList = 400,
};

enum class DialogFont { Title, Body, Small };
HFONT dialog_font(DialogFont which);

// What one open dialog owns: the end of its loop and its status colour. A dialog's own data
// derives from it. The frame keeps it in the window's GWLP_USERDATA from WM_NCCREATE on, so
// two dialogs never share a flag or a snapshot.
struct DialogState {
    virtual ~DialogState() = default;
    bool done = false;
    bool status_is_error = false;
    HWND focus = nullptr;  // where the keyboard was when the dialog was last left
};
DialogState* dialog_state(HWND dialog);

// One dialog at a time: while one is open, no second one is made (nullptr) and the open one
// comes to the front instead. `state` must outlive the window; run_dialog sees to that.
// Brings the open dialog to the front (it takes the keyboard back); false when none is open.
bool bring_open_dialog_forward();
HWND create_dialog(const wchar_t* window_class, const std::string& heading, const std::string& body,
                   int width, int height, DialogState& state);
HWND add_control(HWND parent, const wchar_t* window_class, const std::string& text, DWORD style,
                 int x, int y, int w, int h, int id, DialogFont font);
void add_buttons(HWND dialog, int width, int height,
                 const std::vector<std::pair<std::string, int>>& buttons);
void set_status(HWND dialog, const std::string& text, bool is_error);
// Common painting and the state's life (kept at WM_NCCREATE, done at WM_DESTROY); true when it
// handled the message (the result is then in `result`).
bool frame_message(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);
// The modal loop until the dialog is destroyed. A quit request ends it early; the dialog is
// then destroyed here, so no dead window stays behind. `RawKeys` hands every message on
// untranslated (no dialog keys, no character messages) to a dialog that takes keys itself.
enum class DialogLoop { Dialog, RawKeys };
void run_dialog(HWND dialog, DialogLoop loop = DialogLoop::Dialog);

// WM_PAINT of a custom view: `draw` paints the whole client area into one memory bitmap, which
// is then copied with one BitBlt.
void paint_buffered(HWND window, const std::function<void(HDC dc, int width, int height)>& draw);

// Pure layout rules (96-dpi pixels), exposed for tests.
int body_height(const std::string& body);
int button_x(int width, int count, int index);

}  // namespace tolvek
