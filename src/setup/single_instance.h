// One running copy per user: handing a second start over to it, and getting it out of the way.
#pragma once

#include <optional>
#include <string>

namespace tolvek {

inline constexpr wchar_t kInstanceMutexName[] = L"Local\\TolvekKestrom";

void hand_off_to_running_instance(const std::optional<std::string>& code, bool from_link);
void end_running_instance();

}  // namespace tolvek
