#include <windows.h>

#include "base/settings.h"
#include "setup/autostart.h"
#include "util/platform.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegKey {
public:
    RegKey(REGSAM access, bool create) {
        const LONG rc = create ? RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, access,
                                                 nullptr, &key_, nullptr)
                               : RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, access, &key_);
        if (rc != ERROR_SUCCESS) key_ = nullptr;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

bool run_value_exists(const std::string& name) {
    RegKey key(KEY_READ, false);
    return key.get() &&
           RegQueryValueExW(key.get(), wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
}

bool delete_run_value(const std::string& name) {
    RegKey key(KEY_WRITE, false);
    return key.get() && RegDeleteValueW(key.get(), wide(name).c_str()) == ERROR_SUCCESS;
}

void set_autostart(bool on) {
    if (!on) {
        delete_run_value("Tolvek");
        return;
    }
    RegKey key(KEY_WRITE, true);
    if (!key.get()) return;
    const std::wstring value = L"\"" + wide(path_join(install_dir(), "Tolvek.exe")) + L"\"";
    RegSetValueExW(key.get(), L"Tolvek", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace tolvek
