// A winmm.dll as a web page might get it into the Downloads folder beside a downloaded program:
// it exports every function of winmm (each the same stub), so that a program importing winmm
// statically would load it, and it records that it was loaded by creating the file named in
// TOLVEK_TEST_PLANTED_MARK.
#include <windows.h>

long long planted_stub(void) { return 0; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH];
        const DWORD n = GetEnvironmentVariableW(L"TOLVEK_TEST_PLANTED_MARK", path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    return TRUE;
}
