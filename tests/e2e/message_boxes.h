// Answers the message boxes titled "Tolvek" that any process shows, and keeps their texts and
// owners (with whether the owner could be used while the box was open).
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "util/win_text.h"

namespace tolvek::test {

class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(int button) : button_(button), thread_([this] { run(); }) {}
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
    ~MessageBoxAnswerer() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }
    struct Owner {
        HWND window;
        bool enabled;
        bool operator==(const Owner&) const = default;
    };
    std::vector<Owner> owners() {
        std::lock_guard<std::mutex> lock(mutex_);
        return owners_;
    }

private:
    void run() {
        while (!stop_) {
            if (HWND box = FindWindowW(L"#32770", L"Tolvek")) {
                Sleep(100);
                wchar_t text[1024] {};
                GetDlgItemTextW(box, 0xFFFF, text, 1024);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    texts_.push_back(narrow(text));
                    const HWND owner = GetWindow(box, GW_OWNER);
                    owners_.push_back({owner, owner && IsWindowEnabled(owner)});
                }
                PostMessageW(box, WM_COMMAND, button_, 0);
                for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(30);
            }
            Sleep(30);
        }
    }
    int button_;
    std::mutex mutex_;
    std::vector<std::string> texts_;
    std::vector<Owner> owners_;
    std::atomic<bool> stop_ {false};
    std::thread thread_;
};

}  // namespace tolvek::test
