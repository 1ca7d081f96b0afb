#include "dictation/dictation_cycle.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/log.h"
#include "base/messages.h"
#include "base/notices.h"
#include "dictation/capture.h"
#include "dictation/insertion.h"
#include "base/dictation_values.h"
#include "dictation/talk_key.h"
#include "util/platform.h"

namespace tolvek {
namespace {

// The recording of the last failed dictation, and the window in front when it was chosen to be
// sent again; only the UI thread touches them.
std::optional<KeptRecording> g_kept;
HWND g_resend_target = nullptr;

}  // namespace

std::uint32_t recording_limit_seconds() {
    static const std::uint32_t limit = [] {
        const auto text = process_flags().test_hooks ? get_env("TOLVEK_TEST_LIMIT_S") : std::nullopt;
        const unsigned long value = text ? std::strtoul(text->c_str(), nullptr, 10) : 0;
        return value >= 1 && value < kRecordingLimitSeconds ? static_cast<std::uint32_t>(value)
                                                            : kRecordingLimitSeconds;
    }();
    return limit;
}

void start_dictation() {
    bool never_enrolled;
    bool opus;
    bool updating;
    {
        auto app = lock_app_state();
        never_enrolled = app->settings.token.empty() && app->settings.code.empty();
        opus = opus_flag(app->settings);
        updating = app->update_started;
    }
    if (updating) {
        show_balloon("Tolvek", kUpdatingText, false);
        return;
    }
    if (never_enrolled && !ensure_enrolled()) return;

    // When the service takes Opus, it is encoded while the user speaks.
    auto started = start_capture(opus);
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
    SetTimer(window, kTimerRecordingLimit, recording_limit_seconds() * 1000, nullptr);
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

void start_dictation_worker(WorkerInput input) {
    // A thread that cannot be made is an internal fault: the exception ends the program at the
    // window procedure's noexcept edge.
    std::thread([input = std::move(input)]() noexcept {
        std::unique_ptr<DictationResult> result;
        try {
            result = std::make_unique<DictationResult>(run_dictation(input));
        } catch (...) {
            // The worker turns every failure into the record it posts: the cycle must end.
            result = std::make_unique<DictationResult>();
            result->is_error = true;
            result->text = "Die Aufnahme ließ sich nicht verarbeiten.";
            result->length_seconds = input.seconds;
            result->resend = input.resend;
        }
        post_record(input.main_window, kMsgTranscription, 0, std::move(result));
    }).detach();
}

void handle_result(std::unique_ptr<DictationResult> result) {
    {
        auto app = lock_app_state();
        if (result->renewed) {
            app->settings.token = result->renewed->token;
            app->settings.firm = result->renewed->firm;
            save_settings(app->settings);
        }
        if (result->auth_invalid) {
            app->settings.token.clear();
            save_settings(app->settings);
        }
    }
    DictationValues& values = dictation_values();
    if (auto region = values.take_processing_region()) lock_app_state()->settings.region = *region;
    const auto started = values.processing_start.get();
    const float wait =
        started ? std::chrono::duration<float>(std::chrono::steady_clock::now() - *started).count() : 0.0f;
    set_phase(0);

    const LocalTime now = local_time();
    const LatestRequest latest = values.latest.get();
    const std::string region = lock_app_state()->settings.region;
    technical_history().add(statistics_line(now, result->length_seconds, values.last_peak, wait,
                                            result_label(*result), latest.transfer_summary, region,
                                            latest.engine_name));
    if (auto line = engine_change_line(latest.engine_name, latest.transfer_summary)) log(*line);

    if (result->kept) {
        g_kept = std::move(result->kept);
    } else if (!result->is_error) {
        g_kept.reset();
    }
    if (result->is_error) {
        play_sound(kToneError);
        log("Fehler: " + result->text);
        show_balloon("Tolvek",
                     result->auth_invalid ? "Die Anmeldung ist nicht mehr gültig. Bitte über das Symbol "
                                            "unten rechts den Firmen-Code neu eingeben."
                                          : result->text,
                     true);
        return;
    }
    if (result->text.empty()) {
        play_sound(kToneError);
        show_balloon("Tolvek", "Es wurde nichts verstanden. Bitte noch einmal versuchen.", false);
        return;
    }
    const LocalTime at = local_time();
    char time[8];
    std::snprintf(time, sizeof time, "%02d:%02d", at.hour, at.minute);
    add_recent(lock_app_state()->recent, {time, result->text});
    PasteOutcome pasted;
    if (result->resend) {
        // The text of a re-send goes to the window that was in front when it was chosen, not to
        // whatever window the user moved on to while it was on its way.
        lock_app_state()->foreground_before_menu = g_resend_target;
        pasted = insert_before_menu(result->text + " ", false);
    } else {
        pasted = paste_text(result->text + " ");
    }
    play_sound(kToneDone);
    report_paste(pasted);
}

bool kept_recording_available() {
    // A recording made for one company never goes to another: a changed code drops it.
    if (g_kept && g_kept->code != lock_app_state()->settings.code) g_kept.reset();
    return g_kept.has_value();
}

void resend_kept_recording() {
    if (!kept_recording_available() || lock_app_state()->phase != 0) return;
    if (lock_app_state()->update_started) {
        show_balloon("Tolvek", kUpdatingText, false);
        return;
    }
    g_resend_target = lock_app_state()->foreground_before_menu;
    const KeptRecording& kept = *g_kept;
    send_recording(kept.wav, kept.seconds, kept.ogg, true, start_dictation_worker);
}

}  // namespace tolvek
