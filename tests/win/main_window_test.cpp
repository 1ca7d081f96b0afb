// The main window procedure in this process: commands, the dictation-phase rule, and what the
// workers' records do. Balloons are seen by a stand-in notification area.
#include <gtest/gtest.h>

#include "base/log.h"
#include "shell/main_window.h"
#include "base/messages.h"
#include "shell/tray.h"
#include "e2e/fake_tray.h"
#include "net/update.h"
#include "unit/test_support.h"

namespace tolvek {
namespace {

// An internal fault (an exception) inside the main window ends the program at this edge
// instead of being swallowed and leaving it half-working.
static_assert(noexcept(main_window_proc(nullptr, 0, 0, 0)));

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        data_ = new test::ScopedDataDir();
        tray_ = new test::FakeTray();
        WNDCLASSW wc {};
        wc.lpfnWndProc = main_window_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TolvekMain";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, L"TolvekMain", L"Tolvek", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  wc.hInstance, nullptr);
        AppState state;
        state.settings = default_settings();
        state.main_window = window_;
        state.idle_icon = LoadIconW(nullptr, IDI_APPLICATION);
        state.taskbar_created_msg = RegisterWindowMessageW(L"TaskbarCreated");
        init_app_state(std::move(state));
        update_tray(true);
    }
    static void TearDownTestSuite() {
        delete tray_;
        delete data_;
    }
    void SetUp() override {
        auto app = lock_app_state();
        app->phase = 0;
        app->settings = default_settings();
        app->offered_version.reset();
        app->announced_version.reset();
        remove_file(data_->file("config.json"));
        remove_file(data_->file("tolvek.log"));
    }

    static Settings saved() { return parse_settings(read_file(data_->file("config.json")).value_or("")).settings; }
    static bool config_exists() { return file_size(data_->file("config.json")).has_value(); }
    static void pump() { test::pump_for(std::chrono::milliseconds(200)); }

    static test::ScopedDataDir* data_;
    static test::FakeTray* tray_;
    static HWND window_;
};
test::ScopedDataDir* MainWindow::data_ = nullptr;
test::FakeTray* MainWindow::tray_ = nullptr;
HWND MainWindow::window_ = nullptr;

TEST_F(MainWindow, TogglesSaveAtOnce) {
    struct Case {
        unsigned command;
        bool Settings::*field;
        bool after;
    };
    const Case cases[] = {
        {kCmdSounds, &Settings::sounds, false},   {kCmdSounds, &Settings::sounds, true},
        {kCmdAutoUpdate, &Settings::auto_update, false},
        {kCmdCompress, &Settings::compress, false}, {kCmdTap, &Settings::hold, false},
        {kCmdHold, &Settings::hold, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        run_menu_command(window_, c.command);
        EXPECT_EQ(lock_app_state()->settings.*c.field, c.after);
        EXPECT_EQ(saved().*c.field, c.after);
    }
}

TEST_F(MainWindow, TapModeShowsInTheTooltip) {
    const std::size_t before = tray_->calls().size();
    run_menu_command(window_, kCmdTap);
    const auto modify = tray_->wait_for(before, [](const test::TrayCall& c) { return c.op == NIM_MODIFY; });
    ASSERT_TRUE(modify.has_value());
    EXPECT_EQ(modify->tip, "Tolvek · Strg + Umschalt antippen und sprechen");
}

TEST_F(MainWindow, OverlayPositionReset) {
    lock_app_state()->settings.overlay = OverlayPosition {5, 6};
    run_menu_command(window_, kCmdResetOverlay);
    EXPECT_FALSE(lock_app_state()->settings.overlay.has_value());
    EXPECT_TRUE(config_exists());
    EXPECT_FALSE(saved().overlay.has_value());
}

TEST_F(MainWindow, WhileDictatingOnlyQuitCounts) {
    for (std::uint8_t phase : {1, 2}) {
        lock_app_state()->phase = phase;
        for (unsigned command : {kCmdSounds, kCmdTap, kCmdAutoUpdate, kCmdCompress, kCmdResetOverlay}) {
            run_menu_command(window_, command);
        }
        const Settings s = lock_app_state()->settings;
        EXPECT_TRUE(s.sounds && s.hold && s.auto_update && s.compress);
        EXPECT_FALSE(config_exists());
    }
}

TEST_F(MainWindow, HelloOutcomeUpdatesSettingsAndAnnounces) {
    auto outcome = std::make_unique<HelloOutcome>();
    outcome->region = "eu";
    outcome->firm = "Neu AG";
    outcome->audio = "opus";
    outcome->token = "tok";
    outcome->offered_version = "0.5.24";
    outcome->manual = true;
    std::size_t before = tray_->calls().size();
    ASSERT_TRUE(post_record(window_, kMsgHello, 0, std::move(outcome)));
    const auto balloon = tray_->wait_for(before, [](const test::TrayCall& c) { return c.flags == NIF_INFO; });
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->info_title, "Tolvek");
    EXPECT_EQ(balloon->info, "Tolvek ist aktuell (Version 0.5.24).");
    EXPECT_EQ(balloon->info_flags, static_cast<DWORD>(NIIF_INFO));
    const Settings s = saved();
    EXPECT_EQ(s.region, "eu");
    EXPECT_EQ(s.firm, "Neu AG");
    EXPECT_EQ(s.audio, "opus");
    EXPECT_EQ(s.token, "tok");
    EXPECT_EQ(lock_app_state()->offered_version, "0.5.24");

    // An automatic hello offering a newer version with auto_update on is announced once.
    auto newer = std::make_unique<HelloOutcome>();
    newer->offered_version = "0.7.0";
    before = tray_->calls().size();
    ASSERT_TRUE(post_record(window_, kMsgHello, 0, std::move(newer)));
    pump();
    EXPECT_EQ(lock_app_state()->announced_version, "0.7.0");
    EXPECT_EQ(tray_->calls().size(), before) << "an automatic check shows no balloon";

    // Logged out: the token goes, nothing is shown.
    auto out = std::make_unique<HelloOutcome>();
    out->logged_out = true;
    out->manual = true;
    before = tray_->calls().size();
    ASSERT_TRUE(post_record(window_, kMsgHello, 0, std::move(out)));
    pump();
    EXPECT_EQ(lock_app_state()->settings.token, "");
    EXPECT_EQ(saved().token, "");
    EXPECT_EQ(tray_->calls().size(), before);
}

TEST_F(MainWindow, DownloadErrorIsLoggedAndShownWhenManual) {
    for (WPARAM manual : {0, 1}) {
        remove_file(data_->file("tolvek.log"));
        auto outcome = std::make_unique<DownloadOutcome>();
        outcome->error = "Update abgelehnt: unerwarteter Dateiinhalt.";
        const std::size_t before = tray_->calls().size();
        ASSERT_TRUE(post_record(window_, kMsgDownload, manual, std::move(outcome)));
        pump();
        EXPECT_NE(read_file(data_->file("tolvek.log")).value_or("").find(
                      " Update: Update abgelehnt: unerwarteter Dateiinhalt.\n"),
                  std::string::npos);
        if (manual) {
            ASSERT_EQ(tray_->calls().size(), before + 1);
            EXPECT_EQ(tray_->calls().back().info, "Update abgelehnt: unerwarteter Dateiinhalt.");
            EXPECT_EQ(tray_->calls().back().info_flags, static_cast<DWORD>(NIIF_WARNING));
        } else {
            EXPECT_EQ(tray_->calls().size(), before);
        }
    }
}

TEST_F(MainWindow, BalloonTextsAreCut) {
    const std::size_t before = tray_->calls().size();
    show_balloon(std::string(70, 't'), std::string(300, 'x'), true);
    ASSERT_EQ(tray_->calls().size(), before + 1);
    EXPECT_EQ(tray_->calls().back().info_title, std::string(63, 't'));
    EXPECT_EQ(tray_->calls().back().info, std::string(255, 'x'));
    EXPECT_EQ(tray_->calls().back().info_flags, static_cast<DWORD>(NIIF_WARNING));
}

TEST_F(MainWindow, TooltipIsCutTo127Units) {
    lock_app_state()->settings.firm = std::string(200, 'F');
    const std::size_t before = tray_->calls().size();
    update_tray(false);
    ASSERT_EQ(tray_->calls().size(), before + 1);
    EXPECT_EQ(tray_->calls().back().tip, "Tolvek · " + std::string(118, 'F'));
}

TEST_F(MainWindow, TaskbarRestartAddsTheIconAgain) {
    lock_app_state()->settings.store = true;  // no promotion worker in this test
    const std::size_t before = tray_->calls().size();
    SendMessageW(window_, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ASSERT_EQ(tray_->calls().size(), before + 1);
    EXPECT_EQ(tray_->calls().back().op, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(tray_->calls().back().tip, "Tolvek · Strg + Umschalt halten und sprechen");
}

}  // namespace
}  // namespace tolvek
