#include <windows.h>

#include <chrono>

#include "base/log.h"
#include "base/messages.h"
#include "base/notices.h"
#include "dictation/capture.h"
#include "dictation/dictation_cycle.h"
#include "base/dictation_values.h"
#include "dictation/recording.h"
#include "net/dictionary.h"
#include "util/platform.h"

namespace tolvek {

void finish_recording() { finish_recording(start_dictation_worker); }

void finish_recording(const std::function<void(WorkerInput)>& hand_over) {
    std::shared_ptr<Capture> capture;
    std::optional<Instant> started;
    HWND window;
    {
        auto app = lock_app_state();
        capture = std::move(app->capture);
        started = app->recording_start;
        app->recording_start.reset();
        window = app->main_window;
    }
    KillTimer(window, kTimerReleasePoll);
    KillTimer(window, kTimerRecordingLimit);
    if (!capture) return;  // already finished or cancelled

    CapturedRecording recording = stop_capture(std::move(capture));
    const float seconds =
        started ? std::chrono::duration<float>(std::chrono::steady_clock::now() - *started).count()
                : 0.0f;
    finish_captured(std::move(recording), seconds, hand_over);
}

void finish_captured(CapturedRecording recording, float seconds,
                     const std::function<void(WorkerInput)>& hand_over) {
    std::optional<std::string> test_payload;
    if (const auto path = get_env("TOLVEK_TEST_WAV")) test_payload = read_file(*path);

    switch (judge_recording(seconds, recording.samples(), test_payload.has_value())) {
    case RecordingVerdict::TooShort: set_phase(0); return;
    case RecordingVerdict::Silent:
        set_phase(0);
        log("Aufnahme stumm");
        ++dictation_values().silent_recordings;
        show_balloon("Tolvek", kSilentBalloon, true);
        return;
    case RecordingVerdict::Send: break;
    }

    if (test_payload) {
        // The recording is replaced: what was encoded of it does not belong to the payload.
        send_recording(Bytes(test_payload->begin(), test_payload->end()), seconds, std::nullopt, false, hand_over);
        return;
    }
    send_recording(std::move(recording.wav), seconds, std::nullopt, false, hand_over, std::move(recording.opus));
}

void send_recording(Bytes payload, float seconds, std::optional<OggOpus> ogg, bool resend,
                    const std::function<void(WorkerInput)>& hand_over, std::shared_ptr<OpusStream> live) {
    DictationValues& values = dictation_values();
    values.recording_seconds = whole_seconds(seconds);
    values.processing_start.set(std::chrono::steady_clock::now());
    values.wait_start.set(std::nullopt);
    values.upload_total = 0;
    values.upload_written = 0;
    values.latest.set({});
    set_phase(2);

    WorkerInput input;
    input.payload = std::move(payload);
    {
        auto app = lock_app_state();
        input.server = app->settings.server;
        input.token = app->settings.token;
        input.code = app->settings.code;
        input.opus = opus_flag(app->settings);
        input.main_window = app->main_window;
    }
    input.prompt = spellings_prompt(local_spellings());
    input.seconds = seconds;
    input.ogg = std::move(ogg);
    input.live = std::move(live);
    input.resend = resend;
    hand_over(std::move(input));
}

void stop_running_capture() {
    std::shared_ptr<Capture> capture;
    {
        auto app = lock_app_state();
        capture = std::move(app->capture);
        app->recording_start.reset();
    }
    stop_capture(std::move(capture));
}

void cancel_recording() {
    HWND window;
    {
        auto app = lock_app_state();
        window = app->main_window;
    }
    KillTimer(window, kTimerReleasePoll);
    KillTimer(window, kTimerRecordingLimit);
    stop_running_capture();
    set_phase(0);
}

void report_capture_failure(const std::string& error) {
    log("Mikrofon: " + error);
    if (!dictation_values().start_failure_shown.exchange(true)) {
        message_box(capture_failure_box_text(error), MB_ICONWARNING);
    } else {
        show_balloon("Tolvek", error, true);
    }
}

}  // namespace tolvek
