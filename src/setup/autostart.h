// The "Run" value that starts Tolvek with Windows (HKCU\Software\Microsoft\Windows\CurrentVersion\Run).
#pragma once

#include <string>

namespace tolvek {

bool run_value_exists(const std::string& name);
bool delete_run_value(const std::string& name);
// On: the value "Tolvek" holds the quoted path of the installed program; off: it is removed.
void set_autostart(bool on);
inline bool autostart_enabled() { return run_value_exists("Tolvek"); }

}  // namespace tolvek
