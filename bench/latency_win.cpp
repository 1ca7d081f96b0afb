// The whole path after the key is released, under Wine: Tolvek's dictation pipeline in this
// process (main window, overlay, real capture started), the recording replaced by 10 s or 598 s
// of speech through TOLVEK_TEST_WAV, the development service answering at once, and the text
// pasted into an editor of this process. Prints, per case, the time from finish_recording until
// the request body was handed over completely, until the answer arrived, and from the answer
// until the text stood in the editor. Writes the uploaded bytes to the folder given, for the
// curl comparison of scripts/bench.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "bench/common.h"
#include "base/messages.h"
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
    }
    const HWND editor = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 120,
                                        nullptr, nullptr, nullptr, nullptr);
    std::printf("%-10s %8s %22s %22s %28s\n", "upload", "audio", "handed over (ms)", "answer (ms)",
                "answer to pasted (ms)");
    for (const std::size_t seconds : {10u, 598u}) {
        const Bytes wav = bench::speech_wav(seconds);
        const std::string wav_file = path_join(out, "speech-" + std::to_string(seconds) + ".wav");
        write_file_flushed(wav_file, std::string(wav.begin(), wav.end()));
        const Bytes ogg = encode_ogg_opus(wav)->bytes;
        write_file_flushed(path_join(out, "speech-" + std::to_string(seconds) + ".opus"),
                           std::string(ogg.begin(), ogg.end()));
        test::set_env("TOLVEK_TEST_WAV", wav_file);
        for (const bool opus : {false, true}) {
            lock_app_state()->settings.audio = opus ? "opus" : "wav";
            for (int round = 0; round < 2; ++round) {  // the first round warms the service up
                SetWindowTextW(editor, L"");
                SetForegroundWindow(editor);
                test::pump_for(std::chrono::milliseconds(400));
                start_dictation();
                test::pump_for(std::chrono::milliseconds(300));
                DictationValues& v = dictation_values();
                const auto start = Clock::now();
                finish_recording();
                std::optional<Clock::time_point> handed, answer, pasted;
                MSG msg;
                while (!pasted && Clock::now() - start < std::chrono::seconds(120)) {
                    if (!handed && v.upload_total > 0 && v.upload_written == v.upload_total) handed = Clock::now();
                    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                        if (msg.message == kMsgTranscription && !answer) answer = Clock::now();
                        TranslateMessage(&msg);
                        DispatchMessageW(&msg);
                    }
                    if (answer && text_of(editor) == "Hallo Welt ") pasted = Clock::now();
                    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
                }
                if (round == 0) continue;
                if (!handed || !answer || !pasted) {
                    std::printf("%-10s %6zu s  did not complete\n", opus ? "Opus" : "WAV", seconds);
                    continue;
                }
                std::printf("%-10s %6zu s %22.1f %22.1f %28.1f\n", opus ? "Opus" : "WAV", seconds,
                            ms_between(start, *handed), ms_between(start, *answer), ms_between(*answer, *pasted));
            }
        }
    }
    test::set_env("TOLVEK_TEST_WAV", std::nullopt);
    return 0;
}
