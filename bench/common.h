// Speech of any length for the benchmarks (the German fixture, repeated), and the median.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "dictation/wav.h"
#include "util/platform.h"

namespace tolvek::bench {

inline Bytes speech_pcm(std::size_t seconds) {
    const auto fixture = read_file(TOLVEK_SPEECH_FIXTURE);
    Bytes pcm;
    if (!fixture || fixture->empty()) return pcm;
    pcm.reserve(seconds * 32000);
    while (pcm.size() < seconds * 32000) {
        const std::size_t take = std::min(fixture->size(), seconds * 32000 - pcm.size());
        pcm.insert(pcm.end(), fixture->begin(), fixture->begin() + static_cast<std::ptrdiff_t>(take));
    }
    return pcm;
}

inline Bytes speech_wav(std::size_t seconds) { return wav_bytes(speech_pcm(seconds), 16000); }

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace tolvek::bench
