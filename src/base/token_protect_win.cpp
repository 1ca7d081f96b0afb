#include <windows.h>
#include <wincrypt.h>

#include "base/settings.h"

namespace tolvek {
namespace {

std::optional<std::string> crypt(std::string_view in, bool protect) {
    DATA_BLOB input {static_cast<DWORD>(in.size()),
                     reinterpret_cast<BYTE*>(const_cast<char*>(in.data()))};
    DATA_BLOB output {};
    const BOOL ok = protect
                        ? CryptProtectData(&input, nullptr, nullptr, nullptr, nullptr, 0, &output)
                        : CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, 0, &output);
    if (!ok) return std::nullopt;
    std::string result(reinterpret_cast<const char*>(output.pbData), output.cbData);
    LocalFree(output.pbData);
    return result;
}

}  // namespace

std::optional<std::string> protect_token(std::string_view token) { return crypt(token, true); }

std::optional<std::string> unprotect_token(std::string_view protected_bytes) {
    return crypt(protected_bytes, false);
}

}  // namespace tolvek
