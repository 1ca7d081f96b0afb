// The PCM WAV image: a 44-byte header and the 16-bit mono samples unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tolvek {

using Bytes = std::vector<std::uint8_t>;

Bytes wav_bytes(std::span<const std::uint8_t> samples, std::uint32_t rate);
// Little-endian sample bytes of 16-bit samples.
Bytes sample_bytes(std::span<const std::int16_t> samples);

}  // namespace tolvek
