// A test fixture: Tolvek.exe with a private profile, seen through a stand-in notification area.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "base/messages.h"
#include "fake_tray.h"
#include "net/devservice_client.h"
#include "net/hello.h"
#include "tolvek_process.h"

namespace tolvek::test {

using namespace std::chrono_literals;

// Saves the settings as an installation enrolled at the development service, so that the start
// asks for no company code and its hello succeeds quietly.
inline void save_enrolled(Settings settings) {
    const DevService service;
    const auto enrolled = enroll(service.base(), "ST-3PVA-8RKE");
    ASSERT_TRUE(std::holds_alternative<Enrollment>(enrolled)) << "needs the development service";
    settings.server = service.base();
    settings.token = std::get<Enrollment>(enrolled).token;
    settings.code = "ST-3PVA-8RKE";
    settings.firm = std::get<Enrollment>(enrolled).firm;
    save_settings(settings);
}

class RunningTolvek : public ::testing::Test {
public:
    void SetUp() override {
        set_env("TOLVEK_PORTABLE", "");
        ASSERT_TRUE(tray.in_front());
        save_enrolled(default_settings());
    }
    // Starts Tolvek and waits until the icon was added and refreshed once the talk key was set up.
    void start(const std::string& args = "") {
        const std::size_t before = tray.calls().size();
        tolvek = std::make_unique<TolvekProcess>(args);
        ASSERT_TRUE(pump_until(
            [&] { return (window = FindWindowW(L"TolvekMain", nullptr)) != nullptr; }));
        ASSERT_TRUE(tray.wait_for(before, [](const TrayCall& c) { return c.op == NIM_MODIFY; }));
    }
    // Ends Tolvek as the menu's "Beenden" would and waits for the process to end.
    void stop() {
        if (tolvek && tolvek->running()) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            pump_until([&] { return !tolvek->running(); });
        }
    }
    void TearDown() override {
        stop();
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
