#include <windows.h>

#include <mmsystem.h>

#include "net/system_facts.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

std::optional<std::string> current_version_value(const wchar_t* name) {
    wchar_t buffer[128] {};  // 256 bytes
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name,
                     RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    buffer[127] = L'\0';
    return narrow(buffer);
}

}  // namespace

std::string windows_edition() {
    return windows_edition_of(current_version_value(L"CurrentBuildNumber"),
                              current_version_value(L"EditionID"),
                              current_version_value(L"DisplayVersion"));
}

std::optional<std::string> microphone_device_name() {
    if (waveInGetNumDevs() == 0) return std::nullopt;
    WAVEINCAPSW caps {};
    if (waveInGetDevCapsW(0, &caps, sizeof caps) != MMSYSERR_NOERROR) return std::nullopt;
    const std::wstring_view name(caps.szPname, wcsnlen(caps.szPname, 32));
    return narrow(name);
}

std::string microphone_kind() { return microphone_kind_of(microphone_device_name()); }

}  // namespace tolvek
