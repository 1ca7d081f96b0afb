#include "shell/tones.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tolvek {
namespace {

struct Segment {
    double frequency;
    int milliseconds;
};

struct ToneRecipe {
    std::vector<Segment> segments;
    double volume;
};

const ToneRecipe& recipe(int index) {
    static const ToneRecipe kRecipes[kToneCount] = {
        {{{784, 70}, {1046.5, 90}}, 0.16},
        {{{1046.5, 70}, {784, 110}}, 0.16},
        {{{330, 140}}, 0.12},
        {{{1318.5, 70}, {0, 90}, {1318.5, 70}}, 0.14},
        {{{1318.5, 90}}, 0.14},
    };
    return kRecipes[index];
}

}  // namespace

std::vector<std::int16_t> tone_samples(int index) {
    std::vector<std::int16_t> out;
    if (index < 0 || index >= kToneCount) return out;
    const ToneRecipe& r = recipe(index);
    for (const Segment& s : r.segments) {
        const int n = s.milliseconds * static_cast<int>(kToneRate) / 1000;
        for (int j = 0; j < n; ++j) {
            const double t = static_cast<double>(j) / kToneRate;
            const double envelope = std::pow(1.0 - static_cast<double>(j) / n, 1.6) *
                                    std::min(static_cast<double>(j) / 60.0, 1.0);
            const double value = std::sin(2 * std::numbers::pi * s.frequency * t) * envelope *
                                 r.volume * 32767;
            out.push_back(static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0)));
        }
    }
    return out;
}

std::array<Bytes, kToneCount> synthesize_tones() {
    std::array<Bytes, kToneCount> out;
    for (int i = 0; i < kToneCount; ++i) out[i] = wav_bytes(sample_bytes(tone_samples(i)), kToneRate);
    return out;
}

}  // namespace tolvek
