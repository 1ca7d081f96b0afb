// The whole path after the key is released, under Wine: Tolvek's dictation pipeline in this
// process (main window, overlay, the development service answering at once, the text pasted
// into an editor of this process). Each recording of 10 s, 60 s and 598 s is laid into a buffer
// exactly as the capture leaves it; for Opus the live encoder has encoded it up to the part a
// real recording leaves at the release (the encoder runs 100 times faster than speech, so it
// keeps up; what is left is its 50 ms margin and up to one 50 ms wake-up). Prints per case the
// time from the release until the request body was handed over completely, until the answer
// arrived, and from the answer until the text stood in the editor (medians of 21 rounds after a
// warm-up, 11 for 598 s; the kinds take turns round by round); and the highest peak working set
// above the idle process, sampled every 2 ms. Writes the uploaded bytes to the folder given, for
// the curl comparison of scripts/bench.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench/common.h"
#include "base/messages.h"
#include "dictation/capture.h"
#include "dictation/dictation_cycle.h"
#include "base/dictation_values.h"
#include "dictation/recording.h"
#include "dictation/environment.h"
#include "base/app_state.h"
#include "net/devservice_client.h"
#include "net/hello.h"
#include "opus/ogg_opus.h"
#include "util/win_text.h"

using namespace tolvek;
using Clock = std::chrono::steady_clock;

namespace {

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

std::string text_of(HWND editor) {
    wchar_t text[64] {};
    GetWindowTextW(editor, text, 64);
    return narrow(text);
}

std::size_t working_set() {
    PROCESS_MEMORY_COUNTERS counters {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

// The largest working set seen while it runs, and the working set before: taken once the
// sampling thread runs, so that its own stack (under Wine ~1 MB for any thread) is not
// counted as the dictation's.
class PeakSampler {
public:
    PeakSampler() : thread_([this] {
        while (!stop_) {
            peak_ = std::max(peak_.load(), working_set());
            running_ = true;
            Sleep(2);
        }
    }) {
        while (!running_) Sleep(1);
        idle_ = working_set();
        peak_ = idle_;
    }
    std::size_t idle() const { return idle_; }
    std::size_t stop() {
        stop_ = true;
        thread_.join();
        return peak_;
    }

private:
    std::atomic<bool> stop_ {false}, running_ {false};
    std::atomic<std::size_t> peak_ {0};
    std::size_t idle_ = 0;
    std::thread thread_;
};

enum class Kind { Wav, LiveOpus, OpusAfterRelease };

// The buffer as stop_capture hands it over after `seconds` of speech, with the Opus stream the
// live encoder would have made by the release.
CapturedRecording recorded(const Bytes& pcm, Kind kind) {
    SampleMemory memory;
    std::copy(pcm.begin(), pcm.end(), memory.samples().begin());
    CapturedRecording recording;
    recording.wav = memory.take_wav(pcm.size());
    if (kind == Kind::LiveOpus) {
        recording.opus = std::make_shared<OpusStream>();
        const std::size_t behind = kLiveEncodeMargin + kLiveOpusWakeMs * kBytesPerMs;  // margin and one wake-up
        recording.opus->advance(recording.samples().first(pcm.size() > behind ? pcm.size() - behind : 0));
    }
    return recording;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tolvek_latency OUTPUT_FOLDER\n", stderr);
        return 64;
    }
    const std::string out = argv[1];
    test::DictationEnvironment environment;
    environment.SetUp();
    const test::DevService service;
    if (!service.available()) return 1;
    service.config({{"inspect", false}});
    const auto enrolled = enroll(service.base(), "ST-3PVA-8RKE");
    if (!std::holds_alternative<Enrollment>(enrolled)) return 1;
    {
        auto app = lock_app_state();
        app->settings.server = service.base();
        app->settings.token = std::get<Enrollment>(enrolled).token;
        app->settings.hold = false;
        app->settings.sounds = false;
        app->settings.compress = true;
    }
    const HWND editor = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 120,
                                        nullptr, nullptr, nullptr, nullptr);
    std::printf("%-20s %6s %18s %13s %22s %22s\n", "upload", "audio", "handed over (ms)", "answer (ms)",
                "answer to pasted (ms)", "peak above idle (MB)");
    for (const std::size_t seconds : {10u, 60u, 598u}) {
        const Bytes pcm = bench::speech_pcm(seconds);
        const Bytes wav = wav_bytes(pcm, 16000);
        write_file_flushed(path_join(out, "speech-" + std::to_string(seconds) + ".wav"),
                           std::string(wav.begin(), wav.end()));
        const Bytes ogg = encode_ogg_opus(wav)->bytes;
        write_file_flushed(path_join(out, "speech-" + std::to_string(seconds) + ".opus"),
                           std::string(ogg.begin(), ogg.end()));
        // The kinds take turns round by round, so that a slow moment of the machine falls on all
        // of them alike; the first round of each warms the service up.
        const int rounds = seconds < 100 ? 22 : 12;
        std::vector<double> handed_times[3], answer_times[3], pasted_times[3];
        double peak_mb[3] {};
        int failed[3] {};
        for (int round = 0; round < rounds; ++round) {
            for (const Kind kind : {Kind::Wav, Kind::LiveOpus, Kind::OpusAfterRelease}) {
                const int k = static_cast<int>(kind);
                lock_app_state()->settings.audio = kind == Kind::Wav ? "wav" : "opus";
                SetWindowTextW(editor, L"");
                SetForegroundWindow(editor);
                test::pump_for(std::chrono::milliseconds(400));
                lock_app_state()->phase = 1;
                PeakSampler sampler;
                const std::size_t idle = sampler.idle();
                CapturedRecording recording = recorded(pcm, kind);
                DictationValues& v = dictation_values();
                const auto start = Clock::now();
                finish_captured(std::move(recording), static_cast<float>(seconds), start_dictation_worker);
                std::optional<Clock::time_point> answer, pasted;
                MSG msg;
                while (!pasted && Clock::now() - start < std::chrono::seconds(120)) {
                    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                        if (msg.message == kMsgTranscription && !answer) answer = Clock::now();
                        TranslateMessage(&msg);
                        DispatchMessageW(&msg);
                    }
                    if (answer && text_of(editor) == "Hallo Welt ") pasted = Clock::now();
                    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
                }
                const std::size_t peak = sampler.stop();
                // The worker notes when the body went out whole; polling for it from here missed
                // that moment on a busy machine.
                const std::optional<Clock::time_point> handed = v.upload_end.get();
                if (round == 0) continue;
                if (!handed || !answer || !pasted) {
                    // Counted and told; the other rounds still give their figures.
                    ++failed[k];
                    const std::string log = read_file(path_join(data_dir(), "tolvek.log")).value_or("");
                    const std::size_t from = log.rfind('\n', log.size() > 2 ? log.size() - 2 : 0);
                    std::printf("  %s, %zu s, round %d: did not complete (handed over %d, answer %d, pasted %d; "
                                "editor \"%s\"); last log line: %s", kind == Kind::Wav ? "WAV" : "Opus", seconds,
                                round, handed.has_value(), answer.has_value(), pasted.has_value(),
                                text_of(editor).c_str(), log.substr(from == std::string::npos ? 0 : from + 1).c_str());
                    continue;
                }
                handed_times[k].push_back(ms_between(start, *handed));
                answer_times[k].push_back(ms_between(start, *answer));
                pasted_times[k].push_back(ms_between(*answer, *pasted));
                peak_mb[k] = std::max(peak_mb[k], (peak > idle ? peak - idle : 0) / 1e6);
            }
        }
        double handed_ms[3] {};
        for (const Kind kind : {Kind::Wav, Kind::LiveOpus, Kind::OpusAfterRelease}) {
            const int k = static_cast<int>(kind);
            const char* name = kind == Kind::Wav ? "WAV" : kind == Kind::LiveOpus ? "Opus" : "Opus, after release";
            if (handed_times[k].empty()) {
                std::printf("%-20s %4zu s   no round completed (%d failed)\n", name, seconds, failed[k]);
                continue;
            }
            handed_ms[k] = bench::median(handed_times[k]);
            std::printf("%-20s %4zu s %18.1f %13.1f %22.1f %22.1f", name, seconds, handed_ms[k],
                        bench::median(answer_times[k]), bench::median(pasted_times[k]), peak_mb[k]);
            if (failed[k] > 0) std::printf("   (%d of %d rounds failed)", failed[k], rounds - 1);
            std::printf("\n");
        }
        if (handed_ms[0] > 0) {
            // What a recording of this length may cost above idle: 2 MB and 32 kB per second.
            const double goal_mb = 2.0 + 0.032 * static_cast<double>(seconds);
            std::printf("  %zu s: handed over, Opus / WAV = %.2f (goal at most 1.20; encoded after the release it "
                        "was %.2f); peak above idle WAV %.1f MB, Opus %.1f MB (goal at most %.1f; ratio %.2f, "
                        "%.2f)\n",
                        seconds, handed_ms[1] / handed_ms[0], handed_ms[2] / handed_ms[0], peak_mb[0], peak_mb[1],
                        goal_mb, peak_mb[0] / goal_mb, peak_mb[1] / goal_mb);
        }
    }
    return 0;
}
