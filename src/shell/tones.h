// The five short tones, synthesised once at start-up as WAV images at 22,050 Hz.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/notices.h"
#include "dictation/wav.h"

namespace tolvek {

inline constexpr int kToneCount = 5;
inline constexpr std::uint32_t kToneRate = 22050;

std::vector<std::int16_t> tone_samples(int index);
std::array<Bytes, kToneCount> synthesize_tones();
// Tones 0 to 2 follow the "sounds" setting; the two limit warnings always sound.
inline bool tone_obeys_sounds(int index) { return index >= 0 && index <= 2; }

}  // namespace tolvek
