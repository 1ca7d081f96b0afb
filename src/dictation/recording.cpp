#include "dictation/recording.h"

#include "dictation/capture.h"

namespace tolvek {

RecordingVerdict judge_recording(float seconds, std::span<const std::uint8_t> samples,
                                 bool test_payload) {
    if (test_payload) return RecordingVerdict::Send;
    if (seconds < kShortestSeconds || samples.size() < kShortestBytes) return RecordingVerdict::TooShort;
    if (peak_of(samples) < kSilentPeak) return RecordingVerdict::Silent;
    return RecordingVerdict::Send;
}

bool opus_flag(const Settings& settings) { return settings.audio == "opus" && settings.compress; }

}  // namespace tolvek
