// Putting text where the cursor stands (clipboard plus a synthetic Strg+V) and the list of
// recent dictations.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/app_state.h"

namespace tolvek {

inline constexpr std::size_t kRecentLimit = 10;

// The taskbar, the notification area, shell surfaces and menus are never the target window.
bool is_excluded_target_class(std::string_view class_name);
// Newest first; the oldest entries go beyond ten.
void add_recent(std::vector<RecentDictation>& recent, RecentDictation entry);

enum class PasteOutcome { Inserted, LeftOnClipboard, ClipboardUnavailable };

// Windows build only.
bool set_clipboard_text(const std::u16string& text);
PasteOutcome paste_text(const std::string& text);
void restore_clipboard();
void track_foreground();
// Re-inserts entry `index` of the entries the tray menu showed into the window the user worked
// in before opening the menu, or leaves it on the clipboard.
void insert_recent(const std::vector<RecentDictation>& entries, int index);
// Puts text into the window the user worked in before opening the tray menu, or on the
// clipboard with a balloon when that window is gone.
void insert_before_menu(const std::string& text);

}  // namespace tolvek
