// A stand-in for the shell's notification area. The shell's Shell_NotifyIconW hands each
// request to the top-most window of class "Shell_TrayWnd" as WM_COPYDATA (dwData = NIM_*), so a
// window of that class above Explorer's sees every tray request of the program under test.
// The data layout is Wine's; these tests run under Wine.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "util/win_text.h"

namespace tolvek::test {

struct TrayCall {
    DWORD op = 0;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
    HWND owner = nullptr;
    UINT id = 0;
    UINT flags = 0;
    UINT callback = 0;
    std::string tip;
    std::string info;
    std::string info_title;
    DWORD info_flags = 0;
};

// Pumps this thread's messages until the condition holds or the time is up.
inline bool pump_until(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

inline void pump_for(std::chrono::milliseconds duration) {
    pump_until([] { return false; }, duration);
}

class FakeTray {
public:
    FakeTray() {
        WNDCLASSW wc {};
        wc.lpfnWndProc = &FakeTray::proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Shell_TrayWnd";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"", WS_POPUP,
                                  0, 0, 1, 1, nullptr, nullptr, wc.hInstance, this);
        // Explorer starts with the first window of the session and creates its own tray; ours
        // must lie above it.
        pump_until([&] {
            SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr) == window_;
        }, std::chrono::seconds(5));
        pump_for(std::chrono::milliseconds(300));
        SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    FakeTray(const FakeTray&) = delete;
    FakeTray& operator=(const FakeTray&) = delete;
    ~FakeTray() { DestroyWindow(window_); }

    bool in_front() const { return FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr) == window_; }
    const std::vector<TrayCall>& calls() const { return calls_; }

    // Waits for a call after the first `from` calls that matches.
    std::optional<TrayCall> wait_for(std::size_t from, const std::function<bool(const TrayCall&)>& match,
                                     std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::optional<TrayCall> found;
        pump_until([&] {
            for (std::size_t i = from; i < calls_.size(); ++i) {
                if (match(calls_[i])) {
                    found = calls_[i];
                    return true;
                }
            }
            return false;
        }, limit);
        return found;
    }

private:
    // The leading part of Wine's notify_data record.
    struct NotifyData {
        LONG hwnd;
        UINT id;
        UINT flags;
        UINT callback;
        WCHAR tip[128];
        DWORD state;
        DWORD state_mask;
        WCHAR info[256];
        UINT timeout;
        WCHAR info_title[64];
        DWORD info_flags;
    };

    static LRESULT CALLBACK proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<FakeTray*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (msg == WM_COPYDATA && self) {
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
            if (cds->cbData >= sizeof(NotifyData)) {
                const auto* d = static_cast<const NotifyData*>(cds->lpData);
                TrayCall c;
                c.op = static_cast<DWORD>(cds->dwData);
                c.owner = reinterpret_cast<HWND>(static_cast<LONG_PTR>(d->hwnd));
                c.id = d->id;
                c.flags = d->flags;
                c.callback = d->callback;
                c.tip = narrow(d->tip);
                c.info = narrow(d->info);
                c.info_title = narrow(d->info_title);
                c.info_flags = d->info_flags;
                self->calls_.push_back(c);
            }
            (void)wparam;
            return TRUE;
        }
        return DefWindowProcW(window, msg, wparam, lparam);
    }

    HWND window_ = nullptr;
    std::vector<TrayCall> calls_;
};

}  // namespace tolvek::test
