// Self-install, uninstall and the move from the predecessor Orvane. Windows build only.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tolvek {

// Copies the running program to the install target and sets it up; true on success.
bool install(const std::string& running_path, const std::string& target_path,
             const std::optional<std::string>& code, bool is_update);
// Removes the program; true when it was removed.
bool uninstall(bool interactive);
void migrate_from_predecessor();

// The notification-area entries Windows keeps under HKCU\Control Panel\NotifyIconSettings:
// the subkey names (empty when the key cannot be opened), and one entry's "ExecutablePath".
inline constexpr wchar_t kNotifyIconSettingsKey[] = L"Control Panel\\NotifyIconSettings";
std::vector<std::string> list_notify_icon_entries();
std::optional<std::string> read_executable_path(const std::string& subkey);
// Whether an entry's path is this program's ("\tolvek\tolvek.exe" at its end, in any case; a
// copy in another folder named Tolvek counts too) or the predecessor's ("\orvane\orvane.exe").
bool is_own_notify_icon_path(const std::string& path);
bool is_predecessor_notify_icon_path(const std::string& path);

}  // namespace tolvek
