#include "windows/dialogs.h"
#include "windows/window_procs.h"

namespace tolvek {

// Stand-ins until the key-choice dialog is built.
LRESULT CALLBACK key_dialog_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) noexcept {
    return DefWindowProcW(w, m, wp, lp);
}

LRESULT CALLBACK keycaps_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) noexcept {
    return DefWindowProcW(w, m, wp, lp);
}

// Stand-in until the key-choice dialog is built: behaves as cancelled.
std::optional<TalkKey> choose_key(const std::string&) { return std::nullopt; }

}  // namespace tolvek
