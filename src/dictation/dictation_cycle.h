// The life of one dictation: start, worker, result on the UI thread. Windows build only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dictation/dictation.h"

namespace tolvek {

void start_dictation();
// The longest recording in seconds: 598. A run a test started (TOLVEK_TEST_HOOKS) may shorten
// it with TOLVEK_TEST_LIMIT_S.
std::uint32_t recording_limit_seconds();
// 0 idle, 1 recording, 2 processing: tray, overlay and their timers follow.
void set_phase(std::uint8_t phase);
// Runs the dictation worker on a detached thread; it posts exactly one DictationResult.
void start_dictation_worker(WorkerInput input);
void handle_result(std::unique_ptr<DictationResult> result);

}  // namespace tolvek
