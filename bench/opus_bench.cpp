// Encoding 598 s of speech: our Ogg Opus stream, the bare libopus loop with the same settings
// (what the Ogg muxing costs on top), and Debian's opusenc on the same samples.
#include <benchmark/benchmark.h>
#include <opus/opus.h>

#include <cstdlib>
#include <vector>

#include "bench/common.h"
#include "opus/ogg_opus.h"

namespace tolvek {
namespace {

constexpr std::size_t kSeconds = 598;

const Bytes& wav() {
    static const Bytes w = bench::speech_wav(kSeconds);
    return w;
}

void BM_EncodeOggOpus(benchmark::State& state) {
    for (auto _ : state) {
        auto ogg = encode_ogg_opus(wav());
        if (!ogg) state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(ogg);
    }
    state.counters["audio_s"] = kSeconds;
}

// The same encoder settings and frames, packets thrown away: libopus alone.
void BM_PlainOpusEncode(benchmark::State& state) {
    const Bytes pcm_bytes = bench::speech_pcm(kSeconds);
    std::vector<opus_int16> pcm(pcm_bytes.size() / 2 + 2 * kOpusFrame, 0);
    for (std::size_t i = 0; i < pcm_bytes.size() / 2; ++i) {
        pcm[i] = static_cast<opus_int16>(pcm_bytes[2 * i] | pcm_bytes[2 * i + 1] << 8);
    }
    const std::size_t frames = pcm.size() / kOpusFrame;
    unsigned char packet[4000];
    for (auto _ : state) {
        int error = 0;
        OpusEncoder* encoder = opus_encoder_create(16000, 1, OPUS_APPLICATION_VOIP, &error);
        opus_encoder_ctl(encoder, OPUS_SET_BITRATE(32000));
        opus_encoder_ctl(encoder, OPUS_SET_VBR(1));
        opus_encoder_ctl(encoder, OPUS_SET_COMPLEXITY(5));
        for (std::size_t f = 0; f < frames; ++f) {
            benchmark::DoNotOptimize(opus_encode(encoder, pcm.data() + f * kOpusFrame, kOpusFrame, packet, 4000));
        }
        opus_encoder_destroy(encoder);
    }
}

// Debian's opusenc on the same samples (raw 16 kHz input, 32 kbit/s, complexity 5, 20 ms).
void BM_Opusenc(benchmark::State& state) {
    const std::string dir = temp_dir();
    const std::string raw = path_join(dir, "tolvek-bench.raw"), out = path_join(dir, "tolvek-bench.opus");
    const Bytes pcm = bench::speech_pcm(kSeconds);
    write_file_flushed(raw, std::string(pcm.begin(), pcm.end()));
    const std::string command = "opusenc --quiet --raw --raw-rate 16000 --raw-chan 1 --bitrate 32 --vbr --comp 5 "
                                "--framesize 20 " + raw + " " + out;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("opusenc failed");
    }
    remove_file(raw);
    remove_file(out);
}

BENCHMARK(BM_EncodeOggOpus)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PlainOpusEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Opusenc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace tolvek
