#include "dictation/dictation_cycle.h"

#include <windows.h>

#include <chrono>
#include <thread>

#include "core/main_window.h"
#include "core/messages.h"
#include "core/tones.h"
#include "core/tray.h"
#include "dictation/capture.h"
#include "dictation/dictation_values.h"
#include "dictation/talk_key.h"
#include "ui/enrollment.h"
#include "ui/overlay.h"

namespace tolvek {

void start_dictation() {
    bool never_enrolled;
    {
        auto app = lock_app_state();
        never_enrolled = app->settings.token.empty() && app->settings.code.empty();
    }
    if (never_enrolled && !ensure_enrolled()) return;

    auto started = start_capture();
    if (auto* error = std::get_if<std::string>(&started)) {
        report_capture_failure(*error);
        return;
    }
    HWND window;
    std::uint32_t vk, mods;
    bool hold;
    {
        auto app = lock_app_state();
        app->capture = std::get<std::shared_ptr<Capture>>(std::move(started));
        app->recording_start = std::chrono::steady_clock::now();
        window = app->main_window;
        vk = app->settings.vk;
        mods = app->settings.mods;
        hold = app->settings.hold;
    }
    set_phase(1);
    play_sound(kToneStart);
    SetTimer(window, kTimerRecordingLimit, kRecordingLimitMs, nullptr);
    if (hold && vk != 0) SetTimer(window, kTimerReleasePoll, kReleasePollMs, nullptr);
    if (vk == 0 && mods != 0) inject_dummy_key();
}

void set_phase(std::uint8_t phase) {
    std::uint8_t old;
    HWND window, overlay;
    {
        auto app = lock_app_state();
        old = app->phase;
        app->phase = phase;
        app->busy_tick = 0;
        window = app->main_window;
        overlay = app->overlay_window;
    }
    DictationValues& values = dictation_values();
    if (old == 1 && phase != 1) values.last_peak = values.max_peak.load();
    switch (phase) {
    case 2:
        SetTimer(window, kTimerBusy, kBusyPeriodMs, nullptr);
        KillTimer(window, kTimerOverlay);
        update_tray(false);
        show_overlay(true);
        break;
    case 1:
        KillTimer(window, kTimerBusy);
        update_tray(false);
        show_overlay(false);
        break;
    default:
        KillTimer(window, kTimerBusy);
        KillTimer(window, kTimerOverlay);
        update_tray(false);
        if (overlay) ShowWindow(overlay, SW_HIDE);
        break;
    }
}

// Stand-ins until the transcription worker and the result handling are built: the recording
// is dropped and the cycle returns to idle.
void start_dictation_worker(WorkerInput input) {
    std::thread([input = std::move(input)] {
        auto result = std::make_unique<DictationResult>();
        result->length_seconds = input.seconds;
        post_record(input.main_window, kMsgTranscription, 0, std::move(result));
    }).detach();
}

void handle_result(std::unique_ptr<DictationResult>) { set_phase(0); }

}  // namespace tolvek
