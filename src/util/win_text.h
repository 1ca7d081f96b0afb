// Thin bridges between the program's UTF-8 strings and the wide strings of Win32 calls.
#pragma once

#include <string>
#include <string_view>

#include "util/text.h"

namespace tolvek {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16 units");

inline std::wstring wide(std::string_view text) {
    const std::u16string u = utf8_to_utf16(text);
    return std::wstring(u.begin(), u.end());
}

inline std::string narrow(std::wstring_view text) {
    return utf16_to_utf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace tolvek
