#include <mutex>

#include "ui/dialog_frame.h"
#include "ui/dialogs.h"
#include "ui/window_procs.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

std::mutex g_result_mutex;
std::optional<std::string> g_result;  // what the company-code dialog hands back

}  // namespace

std::optional<std::string> take_dialog_result() {
    std::lock_guard<std::mutex> lock(g_result_mutex);
    auto result = std::move(g_result);
    g_result.reset();
    return result;
}

// The procedure of class TolvekDialog: the company-code dialog, the tech-info and the
// recent-dictations windows.
LRESULT CALLBACK dialog_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT framed = 0;
    if (frame_message(window, msg, wparam, lparam, framed)) return framed;
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wparam) == kIdPrimary) {
            if (!GetDlgItem(window, kIdList)) {
                wchar_t text[64] {};
                GetDlgItemTextW(window, kIdEdit, text, 64);
                std::lock_guard<std::mutex> lock(g_result_mutex);
                g_result = narrow(text);
            }
            DestroyWindow(window);
        } else if (LOWORD(wparam) == kIdSecond || LOWORD(wparam) == IDCANCEL) {
            DestroyWindow(window);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        mark_dialog_done();
        return 0;
    default:
        return DefWindowProcW(window, msg, wparam, lparam);
    }
}

// Stand-ins until the tech-info and recent-dictations windows are built.
void open_tech_info() {}
void open_recent_dictations(const std::vector<RecentDictation>&) {}

}  // namespace tolvek
