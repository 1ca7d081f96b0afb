// The PCM WAV image: a 44-byte header and the 16-bit mono samples unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tolvek {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kWavHeaderBytes = 44;

Bytes wav_bytes(std::span<const std::uint8_t> samples, std::uint32_t rate);
// The WAV image of the first `length` sample bytes of a buffer that holds its samples after
// kWavHeaderBytes of room: the header goes into the room, the samples are not copied.
Bytes wav_in_place(Bytes buffer, std::size_t length, std::uint32_t rate);
// Little-endian sample bytes of 16-bit samples.
Bytes sample_bytes(std::span<const std::int16_t> samples);

}  // namespace tolvek
