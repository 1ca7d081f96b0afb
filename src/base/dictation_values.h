// Values one thread writes and another reads during a dictation: the recording's length and
// peaks, the upload progress, the facts of the latest request and the silent-recordings count.
// Each sits behind its own atomic or small lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "util/guarded.h"

namespace tolvek {

// The longest recording, in seconds.
inline constexpr std::uint32_t kRecordingLimitSeconds = 598;

struct LatestRequest {
    std::string transfer_summary;
    std::string engine_name;
    std::optional<std::string> processing_region;
};

class DictationValues {
public:
    using Instant = std::chrono::steady_clock::time_point;

    std::atomic<std::uint32_t> recording_seconds {0};
    std::atomic<std::uint32_t> max_peak {0};   // of the running recording (overlay tick)
    std::atomic<std::uint32_t> last_peak {0};  // of the last finished recording
    std::atomic<std::uint64_t> upload_total {0};
    std::atomic<std::uint64_t> upload_written {0};
    std::atomic<std::uint32_t> silent_recordings {0};
    std::atomic<bool> start_failure_shown {false};

    Guarded<std::optional<Instant>> processing_start;
    Guarded<std::optional<Instant>> wait_start;
    Guarded<std::optional<Instant>> upload_start;
    Guarded<std::optional<Instant>> upload_end;  // the body was handed over whole
    Guarded<LatestRequest> latest;

    // Moves the processing region out (it is absent afterwards).
    std::optional<std::string> take_processing_region();
};

DictationValues& dictation_values();

// Whole seconds of a length in seconds: negative gives 0, too large gives the maximum.
std::uint32_t whole_seconds(float seconds);

}  // namespace tolvek
