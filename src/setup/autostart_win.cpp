#include <windows.h>

#include "base/settings.h"
#include "setup/autostart.h"
#include "util/win_handles.h"

namespace tolvek {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

bool run_value_exists(const std::string& name) {
    const RegKey key(HKEY_CURRENT_USER, kRunKey, KEY_READ);
    return key.valid() &&
           RegQueryValueExW(key.get(), wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool delete_run_value(const std::string& name) {
    const RegKey key(HKEY_CURRENT_USER, kRunKey, KEY_WRITE);
    return key.valid() && RegDeleteValueW(key.get(), wide(name).c_str()) == ERROR_SUCCESS;
}

void set_autostart(bool on) {
    if (!on) {
        delete_run_value("Tolvek");
        return;
    }
    RegKey(HKEY_CURRENT_USER, kRunKey, KEY_WRITE, true).set_string(L"Tolvek", L"\"" + wide(install_target()) + L"\"");
}

}  // namespace tolvek
