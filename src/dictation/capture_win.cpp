#include <windows.h>
#include <mmsystem.h>

#include "dictation/capture.h"
#include "util/win_text.h"

namespace tolvek {

struct Capture {
    std::vector<std::uint8_t> samples;
    std::unique_ptr<WAVEHDR> header;
    HWAVEIN device = nullptr;

    Capture() = default;
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    // Only after the device let go of the buffer may it be freed.
    ~Capture() { close(); }

    std::uint64_t close() {
        if (!device) return 0;
        waveInReset(device);
        const std::uint64_t recorded = header->dwBytesRecorded;
        waveInUnprepareHeader(device, header.get(), sizeof(WAVEHDR));
        waveInClose(device);
        device = nullptr;
        return recorded;
    }
};

std::variant<std::shared_ptr<Capture>, std::string> start_capture() {
    WAVEFORMATEX format {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 16000;
    format.nAvgBytesPerSec = 32000;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    HWAVEIN device = nullptr;
    const MMRESULT opened = waveInOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (opened != MMSYSERR_NOERROR) return capture_open_error(opened);

    auto capture = std::make_shared<Capture>();
    capture->samples.assign(kCaptureBufferBytes, 0);
    capture->header = std::make_unique<WAVEHDR>();
    capture->header->lpData = reinterpret_cast<LPSTR>(capture->samples.data());
    capture->header->dwBufferLength = static_cast<DWORD>(capture->samples.size());
    if (waveInPrepareHeader(device, capture->header.get(), sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        waveInClose(device);
        return std::string(kCaptureStartFailed);
    }
    capture->device = device;
    if (waveInAddBuffer(device, capture->header.get(), sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
        waveInStart(device) != MMSYSERR_NOERROR) {
        capture->close();
        return std::string(kCaptureStartFailed);
    }
    return capture;
}

std::vector<std::uint8_t> stop_capture(std::shared_ptr<Capture> capture) {
    if (!capture) return {};
    const std::uint64_t recorded = capture->close();
    std::vector<std::uint8_t> bytes = std::move(capture->samples);
    bytes.resize(recorded_length(bytes.size(), recorded));
    return bytes;
}

std::uint32_t capture_peak(Capture& capture, std::uint32_t window_ms) {
    if (!capture.device) return 0;
    MMTIME time {};
    time.wType = TIME_BYTES;
    if (waveInGetPosition(capture.device, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
    PositionUnit unit = PositionUnit::Other;
    std::uint64_t value = 0;
    switch (time.wType) {
    case TIME_BYTES: unit = PositionUnit::Bytes, value = time.u.cb; break;
    case TIME_SAMPLES: unit = PositionUnit::Samples, value = time.u.sample; break;
    case TIME_MS: unit = PositionUnit::Milliseconds, value = time.u.ms; break;
    default: break;
    }
    return window_peak(capture.samples, position_in_bytes(unit, value), window_ms);
}

}  // namespace tolvek
