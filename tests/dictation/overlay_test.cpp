// The overlay strip in this process: what it shows (compared with reference pictures kept in
// tests/dictation/overlay), the recording tick fed by the virtual microphone, and the countdown.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "shell/main_window.h"
#include "shell/tones.h"
#include "dictation/capture.h"
#include "dictation/dictation_cycle.h"
#include "base/dictation_values.h"
#include "e2e/input_helpers.h"
#include "e2e/microphone.h"
#include "environment.h"
#include "pictures.h"
#include "base/app_state.h"
#include "net/transcription.h"
#include "windows/overlay.h"
#include "windows/overlay_view.h"
#include "util/platform.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Overlay : public ::testing::Test {
protected:
    void SetUp() override {
        auto app = lock_app_state();
        overlay = app->overlay_window;
        main_window = app->main_window;
        saved = app->settings;
        app->phase = 0;
    }
    void TearDown() override {
        KillTimer(main_window, kTimerOverlay);
        ShowWindow(overlay, SW_HIDE);
        auto app = lock_app_state();
        app->settings = saved;
        app->recording_start.reset();
    }

    void expect_looks_like(const std::string& name) { test::expect_looks_like(overlay, name); }

    void set_firm_and_region(const std::string& firm, const std::string& region) {
        auto app = lock_app_state();
        app->settings.firm = firm;
        app->settings.region = region;
    }

    // The recording mode with fixed values (the tick is stopped so that it changes nothing).
    void show_recording(bool voice, std::uint32_t level, std::uint32_t countdown) {
        show_overlay(false);
        KillTimer(main_window, kTimerOverlay);
        overlay_display().voice_active = voice;
        overlay_display().level = level;
        overlay_display().countdown = countdown;
    }

    HWND overlay = nullptr;
    HWND main_window = nullptr;
    Settings saved;
};

TEST_F(Overlay, RecordingModeLooksRight) {
    set_firm_and_region("Müller Bau GmbH & Co. KG", "EU");
    show_recording(true, 600, 0);
    RECT r;
    GetWindowRect(overlay, &r);
    EXPECT_EQ(r.right - r.left, 270);
    EXPECT_EQ(r.bottom - r.top, 40);
    const LONG ex = GetWindowLongW(overlay, GWL_EXSTYLE);
    EXPECT_EQ(ex & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE),
              WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(overlay, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 217);
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
    EXPECT_TRUE(IsWindowVisible(overlay));
    expect_looks_like("recording-voice");

    set_firm_and_region("Muster GmbH", "EU");
    show_recording(false, 0, 0);
    expect_looks_like("recording-quiet");

    show_recording(false, 300, 12);
    expect_looks_like("countdown");
}

TEST_F(Overlay, ProcessingModeLooksRight) {
    set_firm_and_region("Muster GmbH", "EU");
    DictationValues& dv = dictation_values();
    // 40 s of audio, 45.6789 % of the body handed over long enough ago for the rate.
    dv.recording_seconds = 40;
    dv.upload_total = 1000000;
    dv.upload_written = 456789;
    dv.upload_start.set(Clock::now() - 100s);
    dv.processing_start.set(Clock::now());
    dv.wait_start.set(Clock::now());
    show_overlay(true);
    expect_looks_like("upload");
    EXPECT_EQ(dv.wait_start.get(), std::nullopt) << "the wait starts only after the upload";

    // All handed over: "Einen Moment" with one dot, the bar already full (and pulsing).
    dv.upload_written = 1000000;
    dv.processing_start.set(Clock::now() - 50ms);
    dv.wait_start.set(Clock::now() - 30s);
    expect_looks_like("waiting");
    dv.upload_start.set(std::nullopt);
    dv.wait_start.set(std::nullopt);
    RedrawWindow(overlay, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_NE(dv.wait_start.get(), std::nullopt) << "the first waiting paint starts the wait";
}

TEST_F(Overlay, PlacedAtTheSavedPositionOrCentredAboveTheTaskbar) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT r;
    lock_app_state()->settings.overlay.reset();
    show_overlay(true);
    GetWindowRect(overlay, &r);
    EXPECT_EQ(r.left, work.left + (work.right - work.left - 270) / 2);
    EXPECT_EQ(r.top, work.bottom - 40 - 28);

    lock_app_state()->settings.overlay = OverlayPosition {work.right - 200, 30};
    show_overlay(true);
    GetWindowRect(overlay, &r);
    EXPECT_EQ(r.left, work.right - 270) << "pulled back into the work area";
    EXPECT_EQ(r.top, 30);

    lock_app_state()->settings.overlay = OverlayPosition {-5000, -5000};
    show_overlay(true);
    GetWindowRect(overlay, &r);
    EXPECT_EQ(r.top, work.bottom - 40 - 28) << "no monitor there: the default place";
}

class OverlayTick : public Overlay {
protected:
    void SetUp() override {
        if (test::mic_dir().empty()) GTEST_SKIP() << "needs the virtual microphone of the harness";
        Overlay::SetUp();
        test::take_tones();
    }
    void TearDown() override {
        std::shared_ptr<Capture> capture = std::exchange(lock_app_state()->capture, nullptr);
        if (capture) stop_capture(capture);
        set_phase(0);
        Overlay::TearDown();
    }
};

TEST_F(OverlayTick, SpeechLiftsTheEarsAndTheLevel) {
    start_dictation();
    ASSERT_EQ(lock_app_state()->phase, 1);
    EXPECT_FALSE(overlay_display().voice_active);
    const int number = test::play("speech.raw");
    EXPECT_TRUE(test::pump_until([] { return overlay_display().voice_active.load(); }, 5s));
    EXPECT_TRUE(test::pump_until([] { return overlay_display().level > 300; }, 5s));
    ASSERT_TRUE(test::wait_played(number));
    // After the speech: the ears fold again and the level falls.
    EXPECT_TRUE(test::pump_until([] { return !overlay_display().voice_active && overlay_display().level < 100; }, 3s));
    EXPECT_GT(dictation_values().max_peak.load(), 1800u);
    EXPECT_EQ(overlay_display().countdown, 0u);
}

TEST_F(OverlayTick, CountdownWarnsTwiceEvenWithTonesOff) {
    lock_app_state()->settings.sounds = false;
    start_dictation();
    ASSERT_EQ(lock_app_state()->phase, 1);
    // Pretend the recording began 570 s ago: 28 s are left.
    lock_app_state()->recording_start = Clock::now() - 570s;
    EXPECT_TRUE(test::pump_until([] { return overlay_display().countdown == 28; }, 2s));
    EXPECT_EQ(test::take_tones(), std::vector<int> {kToneWarning1}) << "no start tone with tones off";
    lock_app_state()->recording_start = Clock::now() - 589s;
    EXPECT_TRUE(test::pump_until([] { return overlay_display().countdown == 9; }, 2s));
    lock_app_state()->recording_start = Clock::now() - 700s;
    EXPECT_TRUE(test::pump_until([] { return overlay_display().countdown == 1; }, 2s)) << "never 0";
    EXPECT_EQ(test::take_tones(), std::vector<int> {kToneWarning2}) << "each warning once";
}

}  // namespace
}  // namespace tolvek
