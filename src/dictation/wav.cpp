#include "dictation/wav.h"

#include <algorithm>

namespace tolvek {
namespace {

void put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
void put_tag(std::uint8_t* at, const char (&tag)[5]) { std::copy(tag, tag + 4, at); }

void put_header(std::uint8_t* h, std::uint32_t length, std::uint32_t rate) {
    put_tag(h, "RIFF");
    put32(h + 4, 36 + length);
    put_tag(h + 8, "WAVE");
    put_tag(h + 12, "fmt ");
    put32(h + 16, 16);
    put16(h + 20, 1);  // PCM
    put16(h + 22, 1);  // mono
    put32(h + 24, rate);
    put32(h + 28, rate * 2);
    put16(h + 32, 2);
    put16(h + 34, 16);
    put_tag(h + 36, "data");
    put32(h + 40, length);
}

}  // namespace

Bytes wav_bytes(std::span<const std::uint8_t> samples, std::uint32_t rate) {
    Bytes out(kWavHeaderBytes + samples.size());
    put_header(out.data(), static_cast<std::uint32_t>(samples.size()), rate);
    std::copy(samples.begin(), samples.end(), out.begin() + kWavHeaderBytes);
    return out;
}

Bytes wav_by_pieces(std::span<const std::uint8_t> samples, std::uint32_t rate,
                    const std::function<void(std::size_t copied)>& copied) {
    Bytes out;
    out.reserve(kWavHeaderBytes + samples.size());  // reserved, not touched
    out.resize(kWavHeaderBytes);
    put_header(out.data(), static_cast<std::uint32_t>(samples.size()), rate);
    for (std::size_t done = 0; done < samples.size();) {
        const std::size_t n = std::min(kWavPiece, samples.size() - done);
        out.insert(out.end(), samples.begin() + static_cast<std::ptrdiff_t>(done),
                   samples.begin() + static_cast<std::ptrdiff_t>(done + n));
        done += n;
        if (copied) copied(done);
    }
    return out;
}

Bytes sample_bytes(std::span<const std::int16_t> samples) {
    Bytes out(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        put16(out.data() + 2 * i, static_cast<std::uint16_t>(samples[i]));
    }
    return out;
}

}  // namespace tolvek
