#include <windows.h>
#include <tlhelp32.h>

#include "base/log.h"
#include "base/messages.h"
#include "base/settings.h"
#include "setup/single_instance.h"
#include "util/platform.h"
#include "util/win_handles.h"

namespace tolvek {
namespace {

constexpr UINT kHandOffTimeoutMs = 5000;

std::optional<std::string> image_path(HANDLE process) {
    wchar_t path[1024] {};
    DWORD size = 1024;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) return std::nullopt;
    return narrow(std::wstring_view(path, size));
}

// Ends the process when its program file is the installed one; true when it was ended.
bool terminate_if_installed(DWORD pid) {
    const Handle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.valid()) return false;
    const auto path = image_path(process.get());
    if (!path || !same_file(*path, install_target())) return false;
    return TerminateProcess(process.get(), 0) != 0;
}

}  // namespace

void hand_off_to_running_instance(const std::optional<std::string>& code, bool from_link) {
    HWND running = nullptr;
    for (int attempt = 0; attempt < 50 && !(running = FindWindowW(L"TolvekMain", nullptr)); ++attempt) {
        Sleep(100);
    }
    if (!running) {
        log("Link: laufendes Tolvek nicht gefunden");
        return;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(running, &pid);
    AllowSetForegroundWindow(pid);
    const std::wstring text = wide(std::string(from_link ? "L" : "C") + code.value_or(""));
    COPYDATASTRUCT data {kHandOffMarker, static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                         const_cast<wchar_t*>(text.data())};
    // A copy that hangs must not hang every further start (one process per clicked link): the
    // running copy only copies the text and posts it to itself, so a few seconds are plenty.
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, kHandOffTimeoutMs, &answer)) {
        log("Link: laufendes Tolvek nicht gefunden");
    }
}

EndedCopy end_running_instance() {
    EndedCopy ended;
    if (HWND running = FindWindowW(L"TolvekMain", nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(running, &pid);
        ended.quiet = GetPropW(running, kQuietProperty) != nullptr;
        PostMessageW(running, WM_CLOSE, 0, 0);
        bool gone = false;
        for (int attempt = 0; attempt < 50 && !gone; ++attempt) {
            Sleep(100);
            gone = !IsWindow(running);
        }
        // Only the installed program is ended by force; a copy running from elsewhere (a
        // portable one, or another program that took the class name) is never killed.
        if (!gone && pid != GetCurrentProcessId() && terminate_if_installed(pid)) {
            log("laufendes Tolvek reagierte nicht und wurde beendet");
            gone = true;
        }
        ended.ended = gone;
        Sleep(300);
        return ended;
    }
    const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return ended;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) continue;
        if (lowercase(narrow(entry.szExeFile)) != "tolvek.exe") continue;
        ended.ended = terminate_if_installed(entry.th32ProcessID) || ended.ended;
    }
    if (ended.ended) {
        log("laufendes Tolvek ohne Hauptfenster beendet");
        Sleep(300);
    }
    return ended;
}

}  // namespace tolvek
