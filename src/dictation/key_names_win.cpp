#include <windows.h>

#include "dictation/key_names.h"
#include "util/win_text.h"

namespace tolvek {

std::string key_name(std::uint32_t vk, std::uint32_t mods) {
    return format_key_name(vk, mods, [](std::uint32_t code) -> std::optional<std::string> {
        wchar_t buffer[64] {};
        const LONG scan = static_cast<LONG>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC)) << 16;
        const int n = GetKeyNameTextW(scan, buffer, 64);
        if (n <= 0) return std::nullopt;
        return narrow(std::wstring_view(buffer, static_cast<std::size_t>(n)));
    });
}

}  // namespace tolvek
