// A test fixture: Tolvek.exe with a private profile, seen through a stand-in notification area.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "fake_tray.h"
#include "tolvek_process.h"

namespace tolvek::test {

using namespace std::chrono_literals;

class RunningTolvek : public ::testing::Test {
public:
    void SetUp() override {
        set_env("TOLVEK_PORTABLE", "");
        ASSERT_TRUE(tray.in_front());
    }
    // Starts Tolvek and waits until the icon was added and refreshed once the talk key was set up.
    void start(const std::string& args = "") {
        const std::size_t before = tray.calls().size();
        tolvek = std::make_unique<TolvekProcess>(args);
        ASSERT_TRUE(pump_until(
            [&] { return (window = FindWindowW(L"TolvekMain", nullptr)) != nullptr; }));
        ASSERT_TRUE(tray.wait_for(before, [](const TrayCall& c) { return c.op == NIM_MODIFY; }));
    }
    void TearDown() override {
        if (tolvek && tolvek->running()) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            pump_until([&] { return !tolvek->running(); });
        }
        set_env("TOLVEK_PORTABLE", std::nullopt);
    }

    // Sends a hand-off as a second copy does.
    LRESULT hand_off(ULONG_PTR marker, const std::wstring& text, bool with_data = true) {
        COPYDATASTRUCT cds {marker, static_cast<DWORD>(text.size() * 2),
                            with_data ? const_cast<wchar_t*>(text.data()) : nullptr};
        return SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }

    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }

    Settings saved() const {
        return parse_settings(read_file(data.file("config.json")).value_or("")).settings;
    }

    ScopedDataDir data;
    FakeTray tray;
    std::unique_ptr<TolvekProcess> tolvek;
    HWND window = nullptr;
};

}  // namespace tolvek::test
