// The PCM WAV image: a 44-byte header and the 16-bit mono samples unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tolvek {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kWavHeaderBytes = 44;

Bytes wav_bytes(std::span<const std::uint8_t> samples, std::uint32_t rate);
// The same image built piece by piece without zero-filling it first: after each piece is copied,
// `copied` learns how many sample bytes are done, so that the source can let go of them. The
// memory of the source and the image together stay near the length of the recording.
inline constexpr std::size_t kWavPiece = 1 << 20;
Bytes wav_by_pieces(std::span<const std::uint8_t> samples, std::uint32_t rate,
                    const std::function<void(std::size_t copied)>& copied);
// Little-endian sample bytes of 16-bit samples.
Bytes sample_bytes(std::span<const std::int16_t> samples);

}  // namespace tolvek
