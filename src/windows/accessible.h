// What a screen reader learns of a view Tolvek draws itself (Microsoft Active Accessibility):
// the view's role and name, and its items, each with a name, a description, a place and one
// action. Windows build only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tolvek {

class AccessibleView {
public:
    virtual ~AccessibleView() = default;
    virtual long role() const = 0;  // ROLE_SYSTEM_…
    virtual std::string name() const = 0;
    virtual std::string description() const { return {}; }
    virtual int item_count() const { return 0; }
    virtual std::string item_name(int) const { return {}; }
    virtual std::string item_description(int) const { return {}; }
    // Client coordinates of the view; nothing while the item is scrolled out of sight.
    virtual std::optional<RECT> item_rect(int) const { return std::nullopt; }
    // The item the keyboard is on, while the view has the focus.
    virtual std::optional<int> focused_item() const { return std::nullopt; }
    // The item's one action ("Für alle freigeben"), empty when it has none.
    virtual std::string item_action(int) const { return {}; }
    virtual void do_item_action(int) {}
};

// Finds the view of a window; nothing once the window's state is gone.
using AccessibleLookup = AccessibleView* (*)(HWND view_window);

// The answer to WM_GETOBJECT for the view's client area (0 for other object ids: the caller
// hands those to DefWindowProc).
LRESULT accessible_object(HWND view_window, WPARAM wparam, LPARAM lparam, AccessibleLookup lookup);
// Tells screen readers that the keyboard moved to `item` (0-based).
void announce_focus(HWND view_window, int item);

}  // namespace tolvek
