// Putting text where the cursor stands (clipboard plus a synthetic Strg+V) and the list of
// recent dictations.
#pragma once

#include <cstdint>
#include <optional>
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

// Whether synthetic keys reach a window whose process runs at integrity level `target` from a
// process at `own`: Windows drops them without a word into a process of higher rights, and one
// whose level cannot be read counts as such.
bool keys_reach(std::optional<std::uint32_t> target, std::uint32_t own);

// One format on the user's clipboard as the save before a paste sees it: its id, whether its
// data is plain memory (not a bitmap, palette, metafile or other handle), and its size.
struct ClipboardFormat {
    std::uint32_t id = 0;
    bool memory = false;
    std::uint64_t size = 0;
};
// How the clipboard is saved before a paste: its text alone when it holds nothing else (or when
// all its formats together exceed the cap, then the rest is lost and logged), or every format
// that can be copied (clipboard_format_copied).
enum class ClipboardSave { TextOnly, AllFormats, TooLarge };
ClipboardSave clipboard_save_kind(const std::vector<ClipboardFormat>& formats, std::uint64_t cap);
// Memory-backed formats are copied; handles (bitmaps come along as DIB), the private and
// owner-drawn formats and the text kinds the system makes from the Unicode text are not.
bool clipboard_format_copied(const ClipboardFormat& format);
inline constexpr std::uint64_t kClipboardSaveCap = 64ull << 20;

enum class PasteOutcome { Inserted, LeftOnClipboard, ClipboardUnavailable };

// Windows build only.
bool set_clipboard_text(const std::u16string& text);
PasteOutcome paste_text(const std::string& text);
// Timer 3: the user's clipboard back once the target read the dictated text, or, after the
// limit without a read, the dictated text stays.
void restore_clipboard();
// The main window's clipboard messages while it owns the clipboard: WM_RENDERFORMAT (a program
// reads the dictated text), WM_RENDERALLFORMATS (Tolvek ends) and WM_DESTROYCLIPBOARD.
void render_dictation(unsigned format);
void render_all_dictation();
void dictation_left_clipboard();
void track_foreground();
// Re-inserts entry `index` of the entries the tray menu showed into the window the user worked
// in before opening the menu, or leaves it on the clipboard.
void insert_recent(const std::vector<RecentDictation>& entries, int index);
// Puts text into the window the user worked in before opening the tray menu, or on the
// clipboard when that window is gone (for a recent dictation with a balloon and log lines of
// its own; otherwise the caller reports the outcome).
PasteOutcome insert_before_menu(const std::string& text, bool from_recent);
// The log line and balloon for a text that did not land where the cursor stood.
void report_paste(PasteOutcome pasted);
inline constexpr char kOnClipboardText[] = "Der Text liegt in der Zwischenablage. Bitte mit Strg+V einfügen.";

}  // namespace tolvek
