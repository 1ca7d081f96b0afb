// Keeping the fox visible in the taskbar instead of behind the overflow arrow.
#pragma once

#include <string>

namespace tolvek {

// Whether a notification-area entry belongs to this program: its path ends, without regard
// to case, in "\tolvek\tolvek.exe" (a copy in another folder named Tolvek counts too).
bool is_own_notify_icon_path(const std::string& path);
// Up to 10 passes 2 s apart: marks the program's entry "IsPromoted" = 1 unless the value exists.
void promote_tray_icon();
void offer_taskbar_settings(bool later);

}  // namespace tolvek
