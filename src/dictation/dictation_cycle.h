// The life of one dictation: start, worker, result on the UI thread. Windows build only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dictation/dictation.h"

namespace tolvek {

// Starts a recording; none once a downloaded update was started (it is about to end this copy),
// then a balloon with kUpdatingText says why.
void start_dictation();
inline constexpr char kUpdatingText[] = "Tolvek wird gerade aktualisiert. Bitte gleich noch einmal versuchen.";
// The longest recording in seconds: 598. A run a test started (TOLVEK_TEST_HOOKS) may shorten
// it with TOLVEK_TEST_LIMIT_S.
std::uint32_t recording_limit_seconds();
// 0 idle, 1 recording, 2 processing: tray, overlay and their timers follow.
void set_phase(std::uint8_t phase);
// Runs the dictation worker on a detached thread; it posts exactly one DictationResult.
void start_dictation_worker(WorkerInput input);
void handle_result(std::unique_ptr<DictationResult> result);
// The recording of the last failed dictation, kept in memory until a dictation succeeds or the
// company code changes to another company's.
bool kept_recording_available();
// Sends the kept recording again through the dictation worker; its text goes to the window the
// user worked in before opening the menu.
void resend_kept_recording();

}  // namespace tolvek
