#include "dictation/capture.h"

#include <algorithm>

namespace tolvek {

std::string capture_open_error(unsigned result) {
    switch (result) {
    case 2:  // MMSYSERR_BADDEVICEID
    case 6:  // MMSYSERR_NODRIVER
        return "Kein Mikrofon gefunden. Bitte ein Mikrofon anschließen.";
    case 4:  // MMSYSERR_ALLOCATED
        return "Das Mikrofon ist gerade belegt.";
    default:
        return "Mikrofon lässt sich nicht öffnen (Fehler " + std::to_string(result) +
               "). Bitte in den Windows-Einstellungen unter Datenschutz den Mikrofonzugriff für "
               "Desktop-Apps erlauben.";
    }
}

std::string capture_failure_box_text(const std::string& error) {
    return "Die Taste hat ausgelöst, aber die Aufnahme startet nicht.\n\n" + error +
           "\n\nWenn das nicht hilft: Windows neu starten.";
}

std::uint32_t peak_in(std::span<const std::uint8_t> samples, std::size_t start, std::size_t end) {
    end = std::min(end, samples.size()) & ~static_cast<std::size_t>(1);
    std::uint32_t peak = 0;
    for (std::size_t i = start & ~static_cast<std::size_t>(1); i < end; i += 2) {
        const auto v = static_cast<std::int16_t>(samples[i] | samples[i + 1] << 8);
        peak = std::max(peak, static_cast<std::uint32_t>(v < 0 ? -static_cast<std::int32_t>(v) : v));
    }
    return peak;
}

std::uint64_t position_in_bytes(PositionUnit unit, std::uint64_t value) {
    switch (unit) {
    case PositionUnit::Bytes: return value;
    case PositionUnit::Samples: return value * 2;
    case PositionUnit::Milliseconds: return value * kBytesPerMs;
    default: return 0;
    }
}

std::uint32_t window_peak(std::span<const std::uint8_t> samples, std::uint64_t position_bytes,
                          std::uint32_t window_ms) {
    const std::uint64_t end =
        std::min<std::uint64_t>(position_bytes, samples.size()) & ~static_cast<std::uint64_t>(1);
    const std::uint64_t window = static_cast<std::uint64_t>(window_ms) * kBytesPerMs;
    const std::uint64_t start = end < window ? 0 : end - window;
    return peak_in(samples, static_cast<std::size_t>(start), static_cast<std::size_t>(end));
}

std::size_t recorded_length(std::size_t buffer_size, std::uint64_t bytes_recorded) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(buffer_size, bytes_recorded)) &
           ~static_cast<std::size_t>(1);
}

}  // namespace tolvek
