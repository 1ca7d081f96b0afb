// One running copy per user: handing a second start over to it, and getting it out of the way.
#pragma once

#include <optional>
#include <string>

namespace tolvek {

inline constexpr wchar_t kInstanceMutexName[] = L"Local\\TolvekKestrom";

void hand_off_to_running_instance(const std::optional<std::string>& code, bool from_link);

// The running copy's main window carries this property when it was started quietly (from the
// autostart), so that a copy ended by an install that then failed is started again the same way.
inline constexpr wchar_t kQuietProperty[] = L"TolvekQuiet";
struct EndedCopy {
    bool ended = false;  // a running copy was closed or ended
    bool quiet = false;  // it had been started quietly
};
EndedCopy end_running_instance();

}  // namespace tolvek
