// Values one thread writes and another reads during a dictation: the recording's length and
// peaks, the upload progress, the facts of the latest request and the silent-recordings count.
// Each sits behind its own atomic or small lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace tolvek {

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

    void set_processing_start(std::optional<Instant> at);
    std::optional<Instant> processing_start() const;
    void set_wait_start(std::optional<Instant> at);
    std::optional<Instant> wait_start() const;
    void set_upload_start(std::optional<Instant> at);
    std::optional<Instant> upload_start() const;

    void set_latest(LatestRequest latest);
    LatestRequest latest() const;
    // Moves the processing region out (it is absent afterwards).
    std::optional<std::string> take_processing_region();

private:
    mutable std::mutex mutex_;
    std::optional<Instant> processing_start_;
    std::optional<Instant> wait_start_;
    std::optional<Instant> upload_start_;
    LatestRequest latest_;
};

DictationValues& dictation_values();

// Whole seconds of a length in seconds: negative gives 0, too large gives the maximum.
std::uint32_t whole_seconds(float seconds);

}  // namespace tolvek
