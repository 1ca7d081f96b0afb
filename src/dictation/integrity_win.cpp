#include "dictation/integrity.h"

#include <vector>

#include "util/win_handles.h"

namespace tolvek {
namespace {

std::optional<std::uint32_t> process_integrity_level(HANDLE process) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return std::nullopt;
    const Handle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
    if (size < sizeof(TOKEN_MANDATORY_LABEL)) return std::nullopt;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) return std::nullopt;
    const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    if (!sid || !IsValidSid(sid) || *GetSidSubAuthorityCount(sid) == 0) return std::nullopt;
    return *GetSidSubAuthority(sid, static_cast<DWORD>(*GetSidSubAuthorityCount(sid) - 1));
}

}  // namespace

std::optional<std::uint32_t> window_integrity_level(HWND window) {
    DWORD pid = 0;
    if (!window || !GetWindowThreadProcessId(window, &pid)) return std::nullopt;
    const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.valid()) return std::nullopt;
    return process_integrity_level(process.get());
}

std::uint32_t own_integrity_level() {
    // A token that cannot be read counts as the usual level of a user's programs (medium).
    return process_integrity_level(GetCurrentProcess()).value_or(SECURITY_MANDATORY_MEDIUM_RID);
}

}  // namespace tolvek
