// Drives a running Tolvek from outside for tests and the demo.
//   wincontrol close [timeout_ms]   ask Tolvek to quit (WM_CLOSE) and wait for its exit code
// Exit code: 0 done, 1 no running Tolvek, 2 it did not end in time.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || std::wcscmp(argv[1], L"close") != 0) {
        std::fputs("usage: wincontrol close [timeout_ms]\n", stderr);
        return 64;
    }
    const DWORD timeout = argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 20000;
    const HWND window = FindWindowW(L"TolvekMain", nullptr);
    if (!window) {
        std::puts("no running Tolvek");
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!process || WaitForSingleObject(process, timeout) != WAIT_OBJECT_0) {
        std::puts("Tolvek did not end in time");
        return 2;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    std::printf("Tolvek ended with exit code %lu\n", static_cast<unsigned long>(code));
    return 0;
}
