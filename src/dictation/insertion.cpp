#include "dictation/insertion.h"

#include <algorithm>

namespace tolvek {

bool keys_reach(std::optional<std::uint32_t> target, std::uint32_t own) { return target && *target <= own; }

namespace {

// CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT and CF_LOCALE: the system makes the others from the
// Unicode text.
bool is_text_kind(std::uint32_t id) { return id == 1 || id == 7 || id == 13 || id == 16; }

}  // namespace

bool clipboard_format_copied(const ClipboardFormat& format) {
    const std::uint32_t id = format.id;
    const bool private_kind = (id >= 0x200 && id <= 0x3FF) || (id >= 0x80 && id <= 0x8E);
    return format.memory && !private_kind && id != 1 && id != 7 && id != 16;
}

ClipboardSave clipboard_save_kind(const std::vector<ClipboardFormat>& formats, std::uint64_t cap) {
    if (std::all_of(formats.begin(), formats.end(), [](const ClipboardFormat& f) { return is_text_kind(f.id); })) {
        return ClipboardSave::TextOnly;
    }
    std::uint64_t total = 0;
    for (const ClipboardFormat& f : formats) {
        if (clipboard_format_copied(f)) total += f.size;
    }
    return total > cap ? ClipboardSave::TooLarge : ClipboardSave::AllFormats;
}

bool is_excluded_target_class(std::string_view name) {
    for (std::string_view excluded :
         {"Shell_TrayWnd", "Shell_SecondaryTrayWnd", "NotifyIconOverflowWindow",
          "TopLevelWindowForOverflowXamlIsland", "Windows.UI.Core.CoreWindow", "#32768"}) {
        if (name == excluded) return true;
    }
    return false;
}

void add_recent(std::vector<RecentDictation>& recent, RecentDictation entry) {
    recent.insert(recent.begin(), std::move(entry));
    if (recent.size() > kRecentLimit) recent.resize(kRecentLimit);
}

}  // namespace tolvek
