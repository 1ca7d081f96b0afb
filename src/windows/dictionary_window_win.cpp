#include "windows/dialogs.h"
#include "windows/window_procs.h"

namespace tolvek {

// Stand-ins until the dictionary window is built.
LRESULT CALLBACK words_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) noexcept {
    return DefWindowProcW(w, m, wp, lp);
}

LRESULT CALLBACK pills_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) noexcept {
    return DefWindowProcW(w, m, wp, lp);
}

// Stand-in until the dictionary window is built.
void open_dictionary() {}

}  // namespace tolvek
