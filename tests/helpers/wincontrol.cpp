// Drives Tolvek from outside, as a user would, for the demo and tests.
//   wincontrol close [timeout_ms]      ask Tolvek to quit (WM_CLOSE) and wait for it to end
//   wincontrol keys down|up VK...      press or release keys (hex codes, e.g. 11 10 for
//                                      Strg and Umschalt) with SendInput
//   wincontrol editor FILE [seconds]   show a small editor in front; whenever its text changes
//                                      it is written to FILE (UTF-8); ends on close or timeout
//   wincontrol techinfo FILE           open Tolvek's "Technik-Info" from its menu, write the
//                                      text it shows to FILE (UTF-8) and close it again
//   wincontrol standin window|hung|hidden S
//                                      a stand-in for a running copy for S seconds: "window"
//                                      has a TolvekMain window that ignores WM_CLOSE, "hung" one
//                                      whose thread never answers a message, "hidden" has no
//                                      window at all
// Exit code: 0 done, 1 no running Tolvek, 2 it did not end (or open) in time, 64 wrong arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/messages.h"

namespace {

int close_tolvek(DWORD timeout) {
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

int send_keys(bool down, int count, wchar_t** codes) {
    std::vector<INPUT> inputs;
    for (int i = 0; i < count; ++i) {
        INPUT input {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(std::wcstoul(codes[i], nullptr, 16));
        input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size() ? 0 : 2;
}

// Writes a window's text (also another program's control) to a file as UTF-8.
void write_window_text(HWND window, const std::wstring& path) {
    const int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, utf8.data(), bytes, nullptr, nullptr);
    if (FILE* f = _wfopen(path.c_str(), L"wb")) {
        std::fwrite(utf8.data(), 1, utf8.size(), f);
        std::fclose(f);
    }
}

std::wstring g_output;
HWND g_edit = nullptr;

void save_text() { write_window_text(g_edit, g_output); }

int tech_info(const wchar_t* output) {
    const HWND window = FindWindowW(L"TolvekMain", nullptr);
    if (!window) {
        std::puts("no running Tolvek");
        return 1;
    }
    PostMessageW(window, tolvek::kMsgMenuCommand, 52, 0);  // the menu's "Technik-Info …"
    for (int i = 0; i < 100; ++i) {
        if (const HWND dialog = FindWindowW(L"TolvekDialog", nullptr)) {
            Sleep(200);
            write_window_text(GetDlgItem(dialog, 101), output);
            PostMessageW(dialog, WM_COMMAND, 2, 0);
            return 0;
        }
        Sleep(50);
    }
    std::puts("the tech-info window did not open");
    return 2;
}

LRESULT CALLBACK editor_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wparam) == EN_CHANGE) save_text();
        return 0;
    case WM_SIZE:
        MoveWindow(g_edit, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
    case WM_TIMER:
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, msg, wparam, lparam);
    }
}

int editor(const wchar_t* output, UINT seconds) {
    g_output = output;
    WNDCLASSW wc {};
    wc.lpfnWndProc = editor_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"TolvekDemoEditor";
    RegisterClassW(&wc);
    const HWND window = CreateWindowExW(0, wc.lpszClassName, L"Editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        80, 80, 640, 240, nullptr, nullptr, wc.hInstance, nullptr);
    g_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | WS_VSCROLL, 0, 0,
                             640, 240, window, nullptr, wc.hInstance, nullptr);
    HFONT font = CreateFontW(-28, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    SendMessageW(g_edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SetForegroundWindow(window);
    SetFocus(g_edit);
    save_text();
    SetTimer(window, 1, seconds * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DeleteObject(font);
    return 0;
}

LRESULT CALLBACK stubborn_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_CLOSE) return 0;  // a copy that hangs and never closes
    return DefWindowProcW(window, msg, wparam, lparam);
}

int stand_in(const wchar_t* kind, DWORD seconds) {
    if (std::wcscmp(kind, L"hidden") == 0) {
        Sleep(seconds * 1000);
        return 0;
    }
    WNDCLASSW wc {};
    wc.lpfnWndProc = stubborn_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TolvekMain";
    RegisterClassW(&wc);
    const HWND window = CreateWindowExW(0, L"TolvekMain", L"Tolvek", 0, 0, 0, 0, 0, nullptr, nullptr,
                                        wc.hInstance, nullptr);
    if (std::wcscmp(kind, L"hung") == 0) {
        Sleep(seconds * 1000);
        return 0;
    }
    SetTimer(window, 1, seconds * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        DispatchMessageW(&msg);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wcscmp(argv[1], L"close") == 0) {
        return close_tolvek(argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 20000);
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"keys") == 0) {
        return send_keys(std::wcscmp(argv[2], L"down") == 0, argc - 3, argv + 3);
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"editor") == 0) {
        return editor(argv[2], argc > 3 ? static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10)) : 60);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"techinfo") == 0) return tech_info(argv[2]);
    if (argc == 4 && std::wcscmp(argv[1], L"standin") == 0) {
        return stand_in(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
    }
    std::fputs("usage: wincontrol close [ms] | keys down|up VK... | editor FILE [seconds] | techinfo FILE | "
               "standin window|hung|hidden SECONDS\n",
               stderr);
    return 64;
}
