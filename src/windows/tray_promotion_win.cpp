#include <windows.h>
#include <shellapi.h>

#include "base/log.h"
#include "base/notices.h"
#include "setup/setup.h"
#include "util/win_handles.h"
#include "windows/tray_promotion.h"

namespace tolvek {

void promote_tray_icon() {
    for (int pass = 0; pass < 10; ++pass) {
        // Windows makes the entry only after the icon was added.
        Sleep(2000);
        for (const std::string& entry : list_notify_icon_entries()) {
            const auto path = read_executable_path(entry);
            if (!path || !is_own_notify_icon_path(*path)) continue;
            const RegKey key(HKEY_CURRENT_USER, std::wstring(kNotifyIconSettingsKey) + L"\\" + wide(entry),
                             KEY_READ | KEY_WRITE, true);
            // An existing value is the user's own choice, whatever it says.
            if (!key.dword(L"IsPromoted") && key.set_dword(L"IsPromoted", 1)) {
                log("Symbol in der Taskleiste angeheftet");
            }
            return;
        }
    }
}

void offer_taskbar_settings(bool later) {
    if (later) {
        show_balloon("Fuchs immer anzeigen",
                     "Später jederzeit: Einstellungen → Personalisierung → Taskleiste → bei den Symbolen der "
                     "Taskleiste Tolvek einschalten. Oder den Fuchs beim Pfeil ^ in die Taskleiste ziehen.",
                     false);
        return;
    }
    ShellExecuteW(nullptr, L"open", L"ms-settings:taskbar", nullptr, nullptr, SW_SHOWNORMAL);
    show_balloon("Fuchs immer anzeigen",
                 "Bei den Symbolen der Taskleiste (ggf. aufklappen) Tolvek einschalten. Oder den Fuchs beim "
                 "Pfeil ^ in die Taskleiste ziehen.",
                 false);
}

}  // namespace tolvek
