#include "dictation/insertion.h"

namespace tolvek {

bool keys_reach(std::optional<std::uint32_t> target, std::uint32_t own) { return target && *target <= own; }

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
