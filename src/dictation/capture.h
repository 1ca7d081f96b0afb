// Recording the microphone: 16 kHz, 16-bit mono PCM into one buffer for up to 600 s.
// The arithmetic on the buffer is here; the wave-input device is in capture_win.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "dictation/wav.h"
#include "opus/ogg_opus.h"

namespace tolvek {

inline constexpr std::uint32_t kBytesPerMs = 32;
inline constexpr std::size_t kCaptureBufferBytes = 19200000;  // 600 s

// The German sentence for a failed waveInOpen.
std::string capture_open_error(unsigned result);
inline constexpr char kCaptureStartFailed[] = "Die Aufnahme lässt sich nicht starten.";

// The message box around a capture failure shown the first time.
std::string capture_failure_box_text(const std::string& error);

// Largest magnitude of the signed 16-bit samples in [start, end) (even offsets); -32768 counts
// 32768. An empty range gives 0.
std::uint32_t peak_in(std::span<const std::uint8_t> samples, std::size_t start, std::size_t end);
inline std::uint32_t peak_of(std::span<const std::uint8_t> samples) {
    return peak_in(samples, 0, samples.size());
}

// How the driver reported the recording position.
enum class PositionUnit { Bytes, Samples, Milliseconds, Other };
std::uint64_t position_in_bytes(PositionUnit unit, std::uint64_t value);

// Peak of the last window_ms milliseconds before the reported position; only recorded bytes
// (up to the position, within the buffer) are read.
std::uint32_t window_peak(std::span<const std::uint8_t> samples, std::uint64_t position_bytes,
                          std::uint32_t window_ms);

// The recorded length the driver reports, limited to the buffer and rounded down to even.
std::size_t recorded_length(std::size_t buffer_size, std::uint64_t bytes_recorded);

// The memory a recording is written into (Windows build): room for 600 s, committed at once
// but untouched, so a page takes physical memory only when the driver first writes it and a
// short recording costs little. Handing the recording over copies it piece by piece into its
// WAV image and gives each copied piece back at once.
class SampleMemory {
public:
    SampleMemory();  // throws std::bad_alloc when the memory cannot be had
    ~SampleMemory();
    SampleMemory(const SampleMemory&) = delete;
    SampleMemory& operator=(const SampleMemory&) = delete;
    std::span<std::uint8_t> samples() { return {data_, kCaptureBufferBytes}; }
    // The WAV image of the first `length` bytes; the memory holds nothing afterwards.
    Bytes take_wav(std::size_t length);

private:
    std::uint8_t* data_;
};

// The running recording (Windows build). Owned by the application state while it runs.
struct Capture;

// What a finished capture hands over.
struct CapturedRecording {
    // The WAV image of exactly the recorded bytes, made in the capture's own buffer.
    Bytes wav;
    // The Opus stream encoded while recording, when one was asked for and could run.
    std::shared_ptr<OpusStream> opus;
    std::span<const std::uint8_t> samples() const {
        return std::span(wav).subspan(std::min(wav.size(), kWavHeaderBytes));
    }
};

// How far behind the reported position the live encoder stays, in case a driver reports
// bytes it has not yet written (50 ms).
inline constexpr std::size_t kLiveEncodeMargin = 1600;

// Windows build only. With `encode_opus`, a worker encodes Opus while the recording runs.
std::variant<std::shared_ptr<Capture>, std::string> start_capture(bool encode_opus = false);
// Stops the encoder, closes the device and hands over exactly the recorded bytes.
CapturedRecording stop_capture(std::shared_ptr<Capture> capture);
std::uint32_t capture_peak(Capture& capture, std::uint32_t window_ms);

}  // namespace tolvek
