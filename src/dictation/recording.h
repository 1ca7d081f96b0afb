// The end of a recording: what is worth sending, and the record handed to the worker.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/settings.h"
#include "dictation/wav.h"
#include "opus/ogg_opus.h"
#include "base/app_state.h"

namespace tolvek {

enum class RecordingVerdict { TooShort, Silent, Send };

inline constexpr float kShortestSeconds = 0.35f;
inline constexpr std::size_t kShortestBytes = 6000;
inline constexpr std::uint32_t kSilentPeak = 200;

// A test payload skips both rules; otherwise too short (by time or bytes) comes before silence.
RecordingVerdict judge_recording(float seconds, std::span<const std::uint8_t> samples,
                                 bool test_payload);
// Opus goes out only when the service asked for exactly "opus" and compression is on.
bool opus_flag(const Settings& settings);

inline constexpr char kSilentBalloon[] =
    "Es war nichts zu hören. Bitte prüfen, ob das richtige Mikrofon gewählt und nicht stumm "
    "geschaltet ist.";

// Everything the dictation worker needs, moved to its thread.
struct WorkerInput {
    std::string token;
    std::string server;
    std::string code;
    Bytes payload;  // the WAV image, or the test file
    std::string language = "auto";
    std::string prompt;
    HWND main_window = nullptr;
    float seconds = 0;
    bool opus = false;
    // A stream encoded for an earlier attempt of the same recording: sent again as it was.
    std::optional<OggOpus> ogg;
    // The stream encoded while the recording ran; the worker finishes it with the payload's
    // samples (and starts over when they are not the ones it encoded).
    std::shared_ptr<OpusStream> live;
    bool resend = false;  // the kept recording of a failed dictation, chosen from the menu
};

// Windows build only: starts the processing of a recording (values, phase 2) and hands it to the
// worker with the current service settings and own words.
void send_recording(Bytes payload, float seconds, std::optional<OggOpus> ogg, bool resend,
                    const std::function<void(WorkerInput)>& hand_over,
                    std::shared_ptr<OpusStream> live = nullptr);

// Windows build only: stops the running capture, drops too-short or silent recordings and
// hands the rest to the worker starter (the dictation worker unless a test passes its own).
void finish_recording();
void finish_recording(const std::function<void(WorkerInput)>& hand_over);
// The part after the device: judges the recording and hands it over. `seconds` is the time
// the recording ran.
void finish_captured(struct CapturedRecording recording, float seconds,
                     const std::function<void(WorkerInput)>& hand_over);
// Takes the capture out of the application state and drops it, if one runs.
void stop_running_capture();
// The user was typing a shortcut, not dictating: the recording goes without a trace.
void cancel_recording();
// Log line, message box the first time, balloon afterwards.
void report_capture_failure(const std::string& error);

}  // namespace tolvek
