#include <windows.h>
#include <shellapi.h>

#include "base/app_state.h"
#include "base/log.h"
#include "base/notices.h"
#include "base/settings.h"
#include "net/update.h"
#include "setup/autostart.h"
#include "setup/setup.h"
#include "util/platform.h"
#include "util/text.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

// Whether `path` lies inside `folder`: compared component by component without regard to case,
// or, for a file directly in it, by the identity of its folder (another spelling of the path).
bool inside(const std::string& path, const std::string& folder) {
    std::string prefix = lowercase(folder);
    while (!prefix.empty() && (prefix.back() == '\\' || prefix.back() == '/')) prefix.pop_back();
    const std::string p = lowercase(path);
    if (p.size() > prefix.size() && p.compare(0, prefix.size(), prefix) == 0 &&
        (p[prefix.size()] == '\\' || p[prefix.size()] == '/')) {
        return true;
    }
    const std::size_t slash = path.find_last_of("\\/");
    return slash != std::string::npos && same_file(path.substr(0, slash), folder);
}

void remove_notify_icon_entries() {
    for (const std::string& entry : list_notify_icon_entries()) {
        const auto path = read_executable_path(entry);
        if (!path) continue;
        if (is_own_notify_icon_path(*path) || is_predecessor_notify_icon_path(*path)) {
            RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kNotifyIconSettingsKey) + L"\\" + wide(entry)).c_str());
        }
    }
}

}  // namespace

bool uninstall(bool ask) {
    if (ask && message_box("Tolvek von diesem Computer entfernen?", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return false;
    }
    // From here on nothing is logged: a log line would make the data folder again.
    set_uninstalling();
    if (app_state_ready()) {
        NOTIFYICONDATAW nid {};
        nid.cbSize = sizeof nid;
        nid.hWnd = lock_app_state()->main_window;
        nid.uID = 1;
        Shell_NotifyIconW(NIM_DELETE, &nid);
    }
    set_autostart(false);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvek");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\tolvek");
    if (const auto appdata = get_env("APPDATA")) {
        remove_file(path_join(*appdata, "Microsoft\\Windows\\Start Menu\\Programs\\Tolvek.lnk"));
    }
    remove_notify_icon_entries();
    remove_tree(path_join(parent_or_temp("APPDATA"), "Tolvek"));
    remove_leftover_files();

    const std::string temp = temp_dir();
    SetCurrentDirectoryW(wide(temp).c_str());
    const auto running = program_path();
    if (!running) ExitProcess(static_cast<UINT>(-1));
    const std::string folder = install_dir();
    if (inside(*running, folder)) {
        // A running program file can be renamed, not deleted: it waits in the temporary folder
        // until the next start of any copy removes it.
        const std::string parked = path_join(temp, "Tolvek-entfernt-" + std::to_string(GetCurrentProcessId()) + ".exe");
        MoveFileExW(wide(*running).c_str(), wide(parked).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (remove_tree(folder) || !path_exists(folder)) break;
        Sleep(300);
    }
    return true;
}

}  // namespace tolvek
