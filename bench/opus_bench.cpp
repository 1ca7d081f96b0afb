// Encoding 598 s of speech: our Ogg Opus stream, the bare libopus loop with the same settings,
// the Ogg muxing alone (what we add on top of libopus), and Debian's opusenc on the same samples.
#include <benchmark/benchmark.h>
#include <opus/opus.h>

#include <cstdlib>
#include <ctime>
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

double cpu_ms() {
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The same encoder settings and frames, packets thrown away: libopus alone.
void plain_opus_encode(const std::vector<opus_int16>& pcm) {
    unsigned char packet[4000];
    int error = 0;
    OpusEncoder* encoder = opus_encoder_create(16000, 1, OPUS_APPLICATION_VOIP, &error);
    opus_encoder_ctl(encoder, OPUS_SET_BITRATE(32000));
    opus_encoder_ctl(encoder, OPUS_SET_VBR(1));
    opus_encoder_ctl(encoder, OPUS_SET_COMPLEXITY(5));
    for (std::size_t f = 0; f < pcm.size() / kOpusFrame; ++f) {
        benchmark::DoNotOptimize(opus_encode(encoder, pcm.data() + f * kOpusFrame, kOpusFrame, packet, 4000));
    }
    opus_encoder_destroy(encoder);
}

// Our Ogg Opus stream beside the bare libopus loop, taking turns in one run, so that a slow
// moment of the machine falls on both alike: CPU time of this thread, medians of the rounds.
void BM_EncodeOggOpusBesideLibopus(benchmark::State& state) {
    const Bytes pcm_bytes = bench::speech_pcm(kSeconds);
    std::vector<opus_int16> pcm(pcm_bytes.size() / 2 + 2 * kOpusFrame, 0);
    for (std::size_t i = 0; i < pcm_bytes.size() / 2; ++i) {
        pcm[i] = static_cast<opus_int16>(pcm_bytes[2 * i] | pcm_bytes[2 * i + 1] << 8);
    }
    std::vector<double> ours, bare;
    for (auto _ : state) {
        double t = cpu_ms();
        auto ogg = encode_ogg_opus(wav());
        if (!ogg) state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(ogg);
        ours.push_back(cpu_ms() - t);
        t = cpu_ms();
        plain_opus_encode(pcm);
        bare.push_back(cpu_ms() - t);
    }
    state.counters["ours_cpu_ms"] = bench::median(ours);
    state.counters["libopus_cpu_ms"] = bench::median(bare);
    state.counters["ratio"] = bench::median(ours) / bench::median(bare);
    state.SetLabel("goal: ratio at most 1.02");
}

// Only the pages around packets encoded beforehand: the cost of our muxing.
void BM_OggMux(benchmark::State& state) {
    const Bytes pcm_bytes = bench::speech_pcm(kSeconds);
    const std::size_t samples = pcm_bytes.size() / 2;
    int error = 0;
    OpusEncoder* encoder = opus_encoder_create(16000, 1, OPUS_APPLICATION_VOIP, &error);
    opus_encoder_ctl(encoder, OPUS_SET_BITRATE(32000));
    opus_int32 lookahead = 0;
    opus_encoder_ctl(encoder, OPUS_GET_LOOKAHEAD(&lookahead));
    std::vector<opus_int16> pcm((samples + lookahead + kOpusFrame - 1) / kOpusFrame * kOpusFrame, 0);
    for (std::size_t i = 0; i < samples; ++i) {
        pcm[i] = static_cast<opus_int16>(pcm_bytes[2 * i] | pcm_bytes[2 * i + 1] << 8);
    }
    std::vector<Bytes> packets;
    unsigned char packet[4000];
    for (std::size_t f = 0; f < pcm.size() / kOpusFrame; ++f) {
        const int n = opus_encode(encoder, pcm.data() + f * kOpusFrame, kOpusFrame, packet, 4000);
        packets.emplace_back(packet, packet + n);
    }
    opus_encoder_destroy(encoder);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mux_ogg_opus(packets, samples, static_cast<std::uint64_t>(lookahead)));
    }
    state.counters["packets"] = static_cast<double>(packets.size());
}

// What is left at the release when the recording was encoded while it ran: the last 100 ms
// (the live encoder's margin and one wake-up), the check of the early samples and the pages.
void BM_LiveOpusFinish(benchmark::State& state) {
    const Bytes pcm = bench::speech_pcm(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        OpusStream stream;
        stream.advance(std::span(pcm).first(pcm.size() - 3200));
        state.ResumeTiming();
        auto ogg = stream.finish(pcm);
        if (!ogg) state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(ogg);
    }
}

// Debian's opusenc on the same samples (raw 16 kHz input, 32 kbit/s, complexity 5, 20 ms).
void BM_Opusenc(benchmark::State& state) {
    const std::string dir = temp_dir();
    const std::string raw = path_join(dir, "tolvek-bench.raw"), out = path_join(dir, "tolvek-bench.opus");
    const Bytes pcm = bench::speech_pcm(kSeconds);
    write_file_flushed(raw, std::string(pcm.begin(), pcm.end()));
    const std::string command = "opusenc --quiet --raw --raw-rate 16000 --raw-chan 1 --bitrate 32 --vbr --comp 5 "
                                "--framesize 20 '" + raw + "' '" + out + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("opusenc failed");
    }
    remove_file(raw);
    remove_file(out);
}

// The whole encodings take seconds each and vary by a few per cent from run to run on a shared
// machine: medians of repeated runs; the muxing alone shows what we add.
BENCHMARK(BM_EncodeOggOpusBesideLibopus)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(7);
BENCHMARK(BM_LiveOpusFinish)->Arg(10)->Arg(598)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggMux)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Opusenc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(4)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tolvek
