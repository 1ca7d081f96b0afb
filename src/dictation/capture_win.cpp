#include <windows.h>
#include <mmsystem.h>

#include <new>
#include <system_error>
#include <utility>

#include "dictation/capture.h"

namespace tolvek {

SampleMemory::SampleMemory()
    : data_(static_cast<std::uint8_t*>(
          VirtualAlloc(nullptr, kCaptureBufferBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {
    if (!data_) throw std::bad_alloc();
}

SampleMemory::~SampleMemory() { VirtualFree(data_, 0, MEM_RELEASE); }

Bytes SampleMemory::take_wav(std::size_t length) {
    SYSTEM_INFO info {};
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize;
    std::size_t given_back = 0;
    Bytes wav = wav_by_pieces(samples().first(std::min(length, kCaptureBufferBytes)), 16000, [&](std::size_t copied) {
        const std::size_t whole = copied / page * page;
        if (whole > given_back) {
            VirtualFree(data_ + given_back, whole - given_back, MEM_DECOMMIT);
            given_back = whole;
        }
    });
    VirtualFree(data_, kCaptureBufferBytes, MEM_DECOMMIT);
    return wav;
}

struct Capture {
    SampleMemory memory;
    std::unique_ptr<WAVEHDR> header;
    HWAVEIN device = nullptr;
    bool prepared = false;
    std::unique_ptr<LiveOpus> live;
    std::shared_ptr<OpusStream> opus;

    std::span<std::uint8_t> samples() { return memory.samples(); }
    std::uint64_t position_bytes() {
        MMTIME time {};
        time.wType = TIME_BYTES;
        if (waveInGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
        PositionUnit unit = PositionUnit::Other;
        std::uint64_t value = 0;
        switch (time.wType) {
        case TIME_BYTES: unit = PositionUnit::Bytes, value = time.u.cb; break;
        case TIME_SAMPLES: unit = PositionUnit::Samples, value = time.u.sample; break;
        case TIME_MS: unit = PositionUnit::Milliseconds, value = time.u.ms; break;
        default: break;
        }
        return position_in_bytes(unit, value);
    }

    Capture() = default;
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    // Only after the device let go of the buffer may it be freed.
    ~Capture() { close(); }

    std::uint64_t close() {
        // The encoder reads the buffer and asks the device for its position: it ends first.
        if (live) opus = std::exchange(live, nullptr)->stop();
        if (!device) return 0;
        waveInReset(device);
        std::uint64_t recorded = 0;
        if (prepared) {
            recorded = header->dwBytesRecorded;
            waveInUnprepareHeader(device, header.get(), sizeof(WAVEHDR));
            prepared = false;
        }
        waveInClose(device);
        device = nullptr;
        return recorded;
    }
};

std::variant<std::shared_ptr<Capture>, std::string> start_capture(bool encode_opus) {
    // The buffer comes first: when memory runs out (an internal fault that ends the program)
    // no device is open yet. From the open on, the capture owns the device and closes it on
    // every way out.
    auto capture = std::make_shared<Capture>();
    capture->header = std::make_unique<WAVEHDR>();
    capture->header->lpData = reinterpret_cast<LPSTR>(capture->samples().data());
    capture->header->dwBufferLength = static_cast<DWORD>(kCaptureBufferBytes);

    WAVEFORMATEX format {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 16000;
    format.nAvgBytesPerSec = 32000;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    // An endpoint that another program has just let go of can refuse the start for a moment
    // (seen on a loaded machine): the whole sequence is tried up to three times, 100 ms apart,
    // before the user hears of it. A refused open (no device, no permission) is final.
    constexpr int kStartTries = 3;
    for (int attempt = 1;; ++attempt) {
        const MMRESULT opened = waveInOpen(&capture->device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
        if (opened != MMSYSERR_NOERROR) {
            capture->device = nullptr;
            return capture_open_error(opened);
        }
        capture->header->dwFlags = 0;
        capture->header->dwBytesRecorded = 0;
        capture->prepared =
            waveInPrepareHeader(capture->device, capture->header.get(), sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
        if (capture->prepared &&
            waveInAddBuffer(capture->device, capture->header.get(), sizeof(WAVEHDR)) == MMSYSERR_NOERROR &&
            waveInStart(capture->device) == MMSYSERR_NOERROR) {
            break;
        }
        capture->close();
        if (attempt == kStartTries) return std::string(kCaptureStartFailed);
        Sleep(100);
    }
    if (encode_opus) {
        Capture* running = capture.get();
        try {
            capture->live = std::make_unique<LiveOpus>([running]() -> std::span<const std::uint8_t> {
                const std::uint64_t position = running->position_bytes();
                const std::uint64_t safe = position > kLiveEncodeMargin ? position - kLiveEncodeMargin : 0;
                return running->samples().first(recorded_length(kCaptureBufferBytes, safe));
            });
        } catch (const std::system_error&) {
            // No thread for it: the stream is encoded after the release as before.
        }
    }
    return capture;
}

CapturedRecording stop_capture(std::shared_ptr<Capture> capture) {
    if (!capture) return {};
    const std::uint64_t recorded = capture->close();
    CapturedRecording result;
    result.wav = capture->memory.take_wav(recorded_length(kCaptureBufferBytes, recorded));
    result.opus = std::move(capture->opus);
    return result;
}

std::uint32_t capture_peak(Capture& capture, std::uint32_t window_ms) {
    if (!capture.device) return 0;
    return window_peak(capture.samples(), capture.position_bytes(), window_ms);
}

}  // namespace tolvek
