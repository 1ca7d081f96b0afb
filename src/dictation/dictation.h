// One dictation after the recording: the worker's way to text (token renewal, Opus, the
// request) and what the result handling writes down. No system calls here.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dictation/recording.h"
#include "util/platform.h"

namespace tolvek {

struct Credentials {
    std::string token;
    std::string firm;
    bool operator==(const Credentials&) const = default;
};

// What a failed dictation keeps so that it can be sent again: the recording as it was sent.
struct KeptRecording {
    Bytes wav;
    std::optional<OggOpus> ogg;
    float seconds = 0;
    std::string code;  // the company code it was made for: it never goes to another company
};

// What the dictation worker posts back (0x8002).
struct DictationResult {
    bool is_error = false;
    std::string text;  // the transcription (may be empty) or the error message
    std::optional<Credentials> renewed;
    float length_seconds = 0;
    bool auth_invalid = false;
    // A failed sending keeps its recording (in memory only), a refused login too.
    std::optional<KeptRecording> kept;
    bool resend = false;  // the result of sending a kept recording again
};

// The worker's whole job on its own thread: renew a missing token, encode Opus when asked,
// transcribe, and renew the token once more if the service refused it.
DictationResult run_dictation(const WorkerInput& input);

// "Text eingefügt", "nichts erkannt" or "Fehler: " + message.
std::string result_label(const DictationResult& result);

// The technical history line of one dictation (the tech-info window shows them).
std::string statistics_line(const LocalTime& time, float length_seconds, std::uint32_t peak,
                            float wait_seconds, const std::string& label,
                            const std::string& transfer_summary, const std::string& region,
                            const std::string& engine_name);

// The newest 30 history lines, newest first.
class TechnicalHistory {
public:
    static constexpr std::size_t kLimit = 30;
    void add(std::string line);
    std::vector<std::string> lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
TechnicalHistory& technical_history();

// The log line when the recognition engine changed since the last one logged, or nothing.
std::optional<std::string> engine_change_line(const std::string& engine_name,
                                              const std::string& transfer_summary);

}  // namespace tolvek
