// Starts Tolvek.exe (beside this test program) with a private profile and talks to it.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "unit/test_support.h"
#include "util/win_text.h"

namespace tolvek::test {

inline std::string program_dir() {
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::string path = narrow(std::wstring_view(buffer, n));
    return path.substr(0, path.find_last_of('\\'));
}

inline std::string tolvek_exe() { return path_join(program_dir(), "Tolvek.exe"); }

class TolvekProcess {
public:
    // Starts Tolvek.exe (or another program) with the given arguments; the environment is this
    // process's.
    explicit TolvekProcess(const std::string& args, const std::string& exe = tolvek_exe()) {
        std::wstring command = L"\"" + wide(exe) + L"\" " + wide(args);
        STARTUPINFOW si {};
        si.cb = sizeof si;
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &si, &pi_)) {
            CloseHandle(pi_.hThread);
        }
    }
    TolvekProcess(const TolvekProcess&) = delete;
    TolvekProcess& operator=(const TolvekProcess&) = delete;
    ~TolvekProcess() {
        if (!pi_.hProcess) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(pi_.hProcess, 99);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hProcess);
    }

    bool started() const { return pi_.hProcess != nullptr; }
    DWORD pid() const { return pi_.dwProcessId; }
    HANDLE handle() const { return pi_.hProcess; }
    bool running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

    // The exit code, or nothing when the process did not end in time.
    std::optional<DWORD> wait(DWORD ms) const {
        if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION pi_ {};
};

// Polls a file until it contains the text.
inline bool wait_for_text(const std::string& path, const std::string& text,
                          std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (read_file(path).value_or("").find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace tolvek::test
