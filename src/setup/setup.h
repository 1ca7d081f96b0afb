// Self-install, uninstall and the move from the predecessor Orvane. Windows build only.
#pragma once

#include <optional>
#include <string>

namespace tolvek {

// Copies the running program to the install target and sets it up; true on success.
bool install(const std::string& running_path, const std::string& target_path,
             const std::optional<std::string>& code, bool is_update);
// Removes the program; true when it was removed.
bool uninstall(bool interactive);
void migrate_from_predecessor();

}  // namespace tolvek
