// The program's own latency after the key is released, for the worker path, against the
// development service answering at once (started by scripts/bench): time until the request
// body is handed over completely and until the result is ready, for WAV and Opus uploads of
// 10 s and 598 s; and curl -F uploading the same bytes in the same run.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench/common.h"
#include "dictation/dictation.h"
#include "base/dictation_values.h"
#include "net/hello.h"
#include "opus/ogg_opus.h"
#include "util/platform.h"

namespace tolvek {
namespace {

using Clock = std::chrono::steady_clock;

std::string service() { return get_env("TOLVEK_TEST_SERVICE").value_or(""); }

const std::string& token() {
    static const std::string t = [] {
        const auto enrolled = enroll(service(), "ST-3PVA-8RKE");
        return std::holds_alternative<Enrollment>(enrolled) ? std::get<Enrollment>(enrolled).token : std::string();
    }();
    return t;
}

// Seconds from `start` until the worker has handed the whole body to the connection.
class HandOverWatch {
public:
    explicit HandOverWatch(Clock::time_point start) : start_(start) {
        thread_ = std::thread([this] {
            DictationValues& v = dictation_values();
            while (!stop_) {
                const std::uint64_t total = v.upload_total, written = v.upload_written;
                if (total > 0 && written == total) {
                    seconds_ = std::chrono::duration<double>(Clock::now() - start_).count();
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
    }
    double stop() {
        stop_ = true;
        thread_.join();
        return seconds_;
    }

private:
    Clock::time_point start_;
    std::atomic<bool> stop_ {false};
    std::atomic<double> seconds_ {0};
    std::thread thread_;
};

void BM_Worker(benchmark::State& state, bool opus) {
    const std::size_t seconds = static_cast<std::size_t>(state.range(0));
    if (service().empty() || token().empty()) return state.SkipWithError("needs the development service");
    WorkerInput input;
    input.server = service();
    input.token = token();
    input.code = "ST-3PVA-8RKE";
    input.payload = bench::speech_wav(seconds);
    input.seconds = static_cast<float>(seconds);
    input.opus = opus;
    run_dictation(input);  // warm-up: the service's first large request is slow
    double handed = 0;
    for (auto _ : state) {
        dictation_values().upload_total = 0;
        dictation_values().upload_written = 0;
        const auto start = Clock::now();
        HandOverWatch watch(start);
        const DictationResult result = run_dictation(input);
        const double total = std::chrono::duration<double>(Clock::now() - start).count();
        handed += watch.stop();
        if (result.is_error || result.text.empty()) state.SkipWithError(("no text: " + result.text).c_str());
        state.SetIterationTime(total);
    }
    state.counters["handed_over_ms"] = benchmark::Counter(handed * 1000, benchmark::Counter::kAvgIterations);
}

// curl -F with the same bytes the program sends; the time until its answer is complete.
void BM_Curl(benchmark::State& state, bool opus) {
    const std::size_t seconds = static_cast<std::size_t>(state.range(0));
    if (service().empty() || token().empty()) return state.SkipWithError("needs the development service");
    const Bytes wav = bench::speech_wav(seconds);
    const Bytes bytes = opus ? encode_ogg_opus(wav)->bytes : wav;
    const std::string file = path_join(temp_dir(), opus ? "tolvek-bench.opus" : "tolvek-bench.wav");
    write_file_flushed(file, std::string(bytes.begin(), bytes.end()));
    const std::string part = opus ? ";type=audio/ogg;filename=diktat.opus" : ";type=audio/wav;filename=audio.wav";
    const std::string command = "curl -s -o /dev/null -w '%{time_total}' -H 'Authorization: Bearer " + token() +
                                "' -F 'file=@" + file + part + "' -F model=whisper-1 -F language=auto " + service() +
                                "/v1/audio/transcriptions";
    std::system((command + " >/dev/null").c_str());  // warm-up, as for the worker
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        double total = 0;
        if (!pipe || std::fscanf(pipe, "%lf", &total) != 1) state.SkipWithError("curl failed");
        if (pipe) pclose(pipe);
        state.SetIterationTime(total);
    }
    remove_file(file);
}

BENCHMARK_CAPTURE(BM_Worker, wav, false)->Arg(10)->Arg(598)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Curl, wav, false)->Arg(10)->Arg(598)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Worker, opus, true)->Arg(10)->Arg(598)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Curl, opus, true)->Arg(10)->Arg(598)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tolvek
