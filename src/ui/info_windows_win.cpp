#include "ui/dialogs.h"
#include "ui/window_procs.h"

namespace tolvek {

// Stand-in until the company-code, tech-info and recent-dictations windows are built.
LRESULT CALLBACK dialog_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(w, m, wp, lp);
}

// Stand-ins until the tech-info and recent-dictations windows are built.
void open_tech_info() {}
void open_recent_dictations(const std::vector<RecentDictation>&) {}

}  // namespace tolvek
