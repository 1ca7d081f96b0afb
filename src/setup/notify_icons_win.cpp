#include <windows.h>

#include "setup/setup.h"
#include "util/text.h"
#include "util/win_handles.h"

namespace tolvek {
namespace {

bool path_ends_with(const std::string& path, std::string_view tail) { return lowercase(path).ends_with(tail); }

}  // namespace

bool is_own_notify_icon_path(const std::string& path) { return path_ends_with(path, "\\tolvek\\tolvek.exe"); }

bool is_predecessor_notify_icon_path(const std::string& path) {
    return path_ends_with(path, "\\orvane\\orvane.exe");
}

std::vector<std::string> list_notify_icon_entries() {
    std::vector<std::string> names;
    const RegKey key(HKEY_CURRENT_USER, kNotifyIconSettingsKey, KEY_READ);
    if (!key.valid()) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[257] {};
        DWORD length = 257;
        const LONG rc = RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_SUCCESS) names.push_back(narrow(std::wstring_view(name, length)));
        else if (rc != ERROR_MORE_DATA) break;
    }
    return names;
}

std::optional<std::string> read_executable_path(const std::string& subkey) {
    return RegKey(HKEY_CURRENT_USER, std::wstring(kNotifyIconSettingsKey) + L"\\" + wide(subkey), KEY_READ)
        .string(L"ExecutablePath");
}

}  // namespace tolvek
