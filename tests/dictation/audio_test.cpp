// Capture and the end of a recording in this process, with the real wave-input API of Wine:
// a virtual microphone fed by the harness, or no audio device at all.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <thread>

#include "base/log.h"
#include "shell/main_window.h"
#include "shell/tones.h"
#include "shell/tray.h"
#include "shell/tray_menu.h"
#include "dictation/dictation.h"
#include "net/devservice_client.h"
#include "dictation/capture.h"
#include "net/system_facts.h"
#include "dictation/dictation_cycle.h"
#include "base/dictation_values.h"
#include "e2e/input_helpers.h"
#include "e2e/microphone.h"
#include "e2e/tolvek_process.h"
#include "net/update.h"
#include "environment.h"
#include "unit/test_support.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using test::best_match;
using test::mic_dir;
using test::play;
using test::wait_played;

std::string log_text() { return read_file(test::DictationEnvironment::data->file("tolvek.log")).value_or(""); }

class Microphone : public ::testing::Test {
protected:
    void SetUp() override {
        if (mic_dir().empty()) GTEST_SKIP() << "needs the virtual microphone of the harness";
        lock_app_state()->phase = 0;
        remove_file(test::DictationEnvironment::data->file("tolvek.log"));
    }
};

TEST_F(Microphone, RecordsWhatWasFed) {
    auto started = start_capture();
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<Capture>>(started))
        << std::get<std::string>(started);
    auto capture = std::get<std::shared_ptr<Capture>>(started);
    const auto begin = std::chrono::steady_clock::now();
    const int number = play("speech.raw");
    std::uint32_t loudest_window = 0;
    test::pump_until([&] {
        loudest_window = std::max(loudest_window, capture_peak(*capture, 50));
        return std::chrono::steady_clock::now() - begin >= 3s;
    });
    const CapturedRecording recording = stop_capture(capture);
    const std::span<const std::uint8_t> bytes = recording.samples();
    EXPECT_EQ(recording.wav, wav_bytes(bytes, 16000)) << "the WAV image is made in the capture buffer";
    EXPECT_EQ(recording.opus, nullptr) << "no Opus asked for";
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    EXPECT_EQ(bytes.size() % 2, 0u);
    EXPECT_LE(bytes.size(), static_cast<std::size_t>(elapsed * 32000) + 3200) << "never more than recorded";
    EXPECT_GE(bytes.size(), 80000u) << "about 96,000 bytes for 3 s";
    EXPECT_GT(peak_of(bytes), 1000u);
    EXPECT_GT(loudest_window, 200u) << "the peak query sees the speech while it is recorded";

    const auto fixture = read_file(path_join(mic_dir(), "speech.raw"));
    ASSERT_TRUE(fixture.has_value());
    const auto fed = test::samples_of(fixture->data(), fixture->size());
    // One second of speech from the fixture's middle must appear in the recording.
    const std::vector<std::int16_t> part(fed.begin() + 16000, fed.begin() + 32000);
    EXPECT_GT(best_match(test::samples_of(bytes.data(), bytes.size()), part), 0.95);
    wait_played(number);
    EXPECT_TRUE(microphone_device_name().has_value()) << "the virtual microphone has a name";
}

TEST_F(Microphone, SpeechIsHandedToTheWorker) {
    write_file_flushed(dictionary_path(), "Kestrom\r\nST-Nord\r\n");
    std::optional<WorkerInput> handed;
    start_dictation();
    ASSERT_EQ(lock_app_state()->phase, 1);
    const int number = play("speech.raw");
    ASSERT_TRUE(wait_played(number));
    finish_recording([&](WorkerInput input) { handed = std::move(input); });
    ASSERT_TRUE(handed.has_value());
    EXPECT_EQ(lock_app_state()->phase, 2);
    EXPECT_EQ(lock_app_state()->capture, nullptr);
    EXPECT_EQ(handed->token, "tok");
    EXPECT_EQ(handed->code, "ST-3PVA-8RKE");
    EXPECT_EQ(handed->server, "https://dienst.example");
    EXPECT_EQ(handed->language, "auto");
    EXPECT_EQ(handed->prompt, "Kestrom, ST-Nord");
    EXPECT_FALSE(handed->opus);
    EXPECT_GT(handed->seconds, 3.0f);
    EXPECT_EQ(dictation_values().recording_seconds.load(), whole_seconds(handed->seconds));
    const Bytes& wav = handed->payload;
    ASSERT_GT(wav.size(), 44u + 96000u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(wav[24] | wav[25] << 8, 16000);
    EXPECT_GT(peak_of(std::span(wav).subspan(44)), 1000u);
    EXPECT_EQ(log_text(), "");
    set_phase(0);
    remove_file(dictionary_path());
}

// When the service takes Opus, it is encoded while the user speaks; the worker then finishes
// the stream, which is the one encoded from the whole recording afterwards. A change of the
// setting during the recording: Opus switched off sends WAV, switched on encodes after the
// release.
TEST_F(Microphone, OpusIsEncodedWhileTheUserSpeaks) {
    const Settings before = lock_app_state()->settings;
    struct Case {
        bool at_start, at_finish;
    };
    for (const Case c : {Case {true, true}, Case {true, false}, Case {false, true}}) {
        SCOPED_TRACE(std::to_string(c.at_start) + " " + std::to_string(c.at_finish));
        const auto set_opus = [](bool on) {
            auto app = lock_app_state();
            app->settings.audio = "opus";
            app->settings.compress = on;
        };
        set_opus(c.at_start);
        std::optional<WorkerInput> handed;
        start_dictation();
        ASSERT_EQ(lock_app_state()->phase, 1);
        ASSERT_TRUE(wait_played(play("speech.raw")));
        set_opus(c.at_finish);
        finish_recording([&](WorkerInput input) { handed = std::move(input); });
        ASSERT_TRUE(handed.has_value());
        EXPECT_EQ(handed->opus, c.at_finish);
        EXPECT_EQ(handed->live != nullptr, c.at_start);
        if (c.at_start) {
            EXPECT_GT(handed->live->encoded_frames(), 100u) << "two seconds and more encoded while recording";
            const auto live = handed->live->finish(*wav_samples(handed->payload));
            ASSERT_TRUE(live.has_value());
            EXPECT_EQ(live->bytes, encode_ogg_opus(handed->payload)->bytes);
        }
        set_phase(0);
    }
    lock_app_state()->settings = before;
}

TEST_F(Microphone, SilenceIsRejectedAndCounted) {
    const std::uint32_t silent_before = dictation_values().silent_recordings;
    for (int round = 1; round <= 2; ++round) {
        const std::size_t calls = test::DictationEnvironment::tray->calls().size();
        start_dictation();
        ASSERT_EQ(lock_app_state()->phase, 1);
        test::pump_for(1500ms);
        bool handed = false;
        finish_recording([&](WorkerInput) { handed = true; });
        EXPECT_FALSE(handed);
        EXPECT_EQ(lock_app_state()->phase, 0);
        EXPECT_EQ(dictation_values().silent_recordings.load(), silent_before + round);
        const auto balloon = test::DictationEnvironment::tray->wait_for(
            calls, [](const test::TrayCall& c) { return c.flags == NIF_INFO; }, 2s);
        ASSERT_TRUE(balloon.has_value());
        EXPECT_EQ(balloon->info, kSilentBalloon);
        EXPECT_EQ(balloon->info_flags, static_cast<DWORD>(NIIF_WARNING));
    }
    const std::string log = log_text();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_NE(log.find(" Aufnahme stumm\n"), std::string::npos);
}

// With Opus asked for, the live encoder runs and goes with the recording.
TEST_F(Microphone, TooShortIsDroppedWithoutAWord) {
    const std::size_t calls = test::DictationEnvironment::tray->calls().size();
    const Settings before = lock_app_state()->settings;
    lock_app_state()->settings.audio = "opus";
    start_dictation();
    play("speech.raw");
    test::pump_for(200ms);
    bool handed = false;
    finish_recording([&](WorkerInput) { handed = true; });
    lock_app_state()->settings = before;
    EXPECT_FALSE(handed);
    EXPECT_EQ(lock_app_state()->phase, 0);
    EXPECT_EQ(log_text(), "");
    for (std::size_t i = calls; i < test::DictationEnvironment::tray->calls().size(); ++i) {
        EXPECT_NE(test::DictationEnvironment::tray->calls()[i].flags, static_cast<UINT>(NIF_INFO));
    }
    // A second finish for the same recording finds nothing to do.
    finish_recording([&](WorkerInput) { handed = true; });
    EXPECT_FALSE(handed);
}

// Once a downloaded update was started it is about to close this copy: no recording starts
// (it would be cut off without a word); a balloon says why.
TEST_F(Microphone, NoDictationOnceTheUpdateWasStarted) {
    HWND window;
    {
        auto app = lock_app_state();
        window = app->main_window;
        // Any program stands in for the update; it is started with "--update" and ends at once.
        app->pending_update = std::make_shared<PendingUpdate>(
            PendingUpdate {path_join(test::program_dir(), "wincontrol.exe"), "0.5.25", nullptr});
    }
    apply_pending_update();
    const std::size_t calls = test::DictationEnvironment::tray->calls().size();
    start_dictation();
    EXPECT_EQ(lock_app_state()->phase, 0) << "no recording";
    EXPECT_EQ(lock_app_state()->capture, nullptr);
    const auto balloon = test::DictationEnvironment::tray->wait_for(
        calls, [](const test::TrayCall& c) { return c.flags == NIF_INFO; });
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->info, "Tolvek wird gerade aktualisiert. Bitte gleich noch einmal versuchen.");
    EXPECT_NE(log_text().find(" Update wird eingespielt\n"), std::string::npos);
    lock_app_state()->update_started = false;
    KillTimer(window, kTimerUpdateRetry);
}

TEST_F(Microphone, TestPayloadIsSentWhateverItsLength) {
    const std::string path = test::DictationEnvironment::data->file("kurz.wav");
    const Bytes tiny = wav_bytes(Bytes(3200, 0), 16000);  // 0.1 s of silence
    write_file_flushed(path, std::string(tiny.begin(), tiny.end()));
    test::set_env("TOLVEK_TEST_WAV", path);
    const Settings before = lock_app_state()->settings;
    lock_app_state()->settings.audio = "opus";
    std::optional<WorkerInput> handed;
    start_dictation();
    test::pump_for(600ms);
    finish_recording([&](WorkerInput input) { handed = std::move(input); });
    test::set_env("TOLVEK_TEST_WAV", std::nullopt);
    lock_app_state()->settings = before;
    ASSERT_TRUE(handed.has_value());
    EXPECT_EQ(handed->payload, tiny);
    EXPECT_EQ(handed->live, nullptr) << "what was encoded of the real recording is not the payload's";
    EXPECT_TRUE(handed->opus);
    EXPECT_GT(handed->seconds, 0.5f) << "the length of the real recording";
    EXPECT_LT(handed->seconds, 5.0f);
    set_phase(0);
}

TEST_F(Microphone, WholeDictationTonesRecentListAndHistory) {
    const test::DevService service;
    if (!service.available()) GTEST_SKIP() << "needs the development service";
    service.reset();
    service.config({{"facts", {{"model", "voxtral"}, {"ms", 900}, {"uploadMs", 40}, {"engine", "Kestrom ASR"},
                               {"region", "EU"}}}});
    const HWND editor = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 120,
                                        nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(editor);
    test::pump_for(400ms);  // the foreground tracker notes the editor
    const Settings before = lock_app_state()->settings;
    lock_app_state()->settings.server = service.base();
    lock_app_state()->settings.token.clear();  // the worker enrolls with the stored code first
    test::take_tones();

    start_dictation();
    ASSERT_EQ(lock_app_state()->phase, 1);
    ASSERT_TRUE(wait_played(play("speech.raw")));
    finish_recording();
    EXPECT_EQ(lock_app_state()->phase, 2);
    ASSERT_TRUE(test::pump_until([] { return lock_app_state()->phase == 0; }, 20s));
    wchar_t text[64] {};
    test::pump_until([&] {
        GetWindowTextW(editor, text, 64);
        return std::wstring(text) == L"Hallo Welt ";
    }, 3s);
    EXPECT_EQ(narrow(text), "Hallo Welt ");
    EXPECT_EQ(test::take_tones(), (std::vector<int> {kToneStart, kToneDone}));
    {
        auto app = lock_app_state();
        ASSERT_FALSE(app->recent.empty());
        EXPECT_EQ(app->recent[0].text, "Hallo Welt") << "the list keeps the text without the space";
        EXPECT_NE(app->settings.token, "") << "the renewed token is kept";
    }
    const std::string line = technical_history().lines().at(0);
    EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d\d:\d\d:\d\d   Aufnahme \d+\.\d s · Pegel \d+ · )"
                                                  R"(Wartezeit \d+\.\d s · Text eingefügt\r\n {13}\[EU\] voxtral · WAV \d+ KB · )"
                                                  R"(Server 0\.9 s · Upload 0\.0 s\r\n {13}Kestrom ASR)")))
        << line;
    EXPECT_NE(log_text().find(" Spracherkennung: Kestrom ASR\n"), std::string::npos) << log_text();
    DestroyWindow(editor);
    service.reset();
    lock_app_state()->settings = before;
}

// With tones off only the two limit warnings sound; switching tones on from the menu plays the
// start tone as a preview, switching them off plays nothing.
TEST(Tones, TheSettingAndTheMenuSwitch) {
    const HWND main = lock_app_state()->main_window;
    lock_app_state()->settings.sounds = false;
    test::take_tones();
    for (int tone = 0; tone < 5; ++tone) play_sound(tone);
    EXPECT_EQ(test::take_tones(), (std::vector<int> {kToneWarning1, kToneWarning2}));

    run_menu_command(main, kCmdSounds);
    EXPECT_TRUE(lock_app_state()->settings.sounds);
    EXPECT_EQ(test::take_tones(), std::vector<int> {kToneStart});
    for (int tone = 0; tone < 5; ++tone) play_sound(tone);
    EXPECT_EQ(test::take_tones(), (std::vector<int> {0, 1, 2, 3, 4}));

    run_menu_command(main, kCmdSounds);
    EXPECT_FALSE(lock_app_state()->settings.sounds);
    EXPECT_TRUE(test::take_tones().empty());
}

// The kept recording follows real dictations: a failure keeps what was recorded, a change of
// company hides it, a refused login keeps the later recording in its place, and sending it
// again uploads exactly that one; the success drops it.
TEST_F(Microphone, KeptRecordingFollowsTheDictations) {
    const test::DevService service;
    if (!service.available()) GTEST_SKIP() << "needs the development service";
    service.reset();
    const std::string uploads = path_join(test::DictationEnvironment::data->dir(), "uploads");
    create_directories(uploads);
    service.config({{"upload_dir", test::service_path(uploads)}});
    const Settings before = lock_app_state()->settings;
    const std::string code = before.code;
    const auto dictate = [](std::initializer_list<const char*> fixtures) {
        start_dictation();
        ASSERT_EQ(lock_app_state()->phase, 1);
        for (const char* fixture : fixtures) ASSERT_TRUE(wait_played(play(fixture)));
        finish_recording();
        ASSERT_TRUE(test::pump_until([] { return lock_app_state()->phase == 0; }, 20s));
    };

    // The service cannot be reached: the recording is kept.
    lock_app_state()->settings.server = "http://127.0.0.1:1";
    dictate({"speech.raw"});
    EXPECT_TRUE(kept_recording_available());
    // Another company's code: never offered to it.
    lock_app_state()->settings.code = "ST-CCCC-DDDD";
    EXPECT_FALSE(kept_recording_available());
    lock_app_state()->settings.code = code;

    // A revoked token and a refused login: the longer, later recording is kept.
    lock_app_state()->settings.server = service.base();
    lock_app_state()->settings.token = "tok-widerrufen";
    service.config({{"reject_codes", {code}}});
    dictate({"speech.raw", "silence:2"});
    EXPECT_TRUE(kept_recording_available()) << "a refused login keeps its recording";
    EXPECT_EQ(lock_app_state()->settings.token, "");

    // Accepted again: sending it uploads the later recording, and the success drops it.
    service.config({{"reject_codes", Json::array()}});
    resend_kept_recording();
    ASSERT_TRUE(test::pump_until([] { return lock_app_state()->phase == 0; }, 20s));
    const Json requests = service.requests();
    ASSERT_FALSE(requests.empty());
    const Json& upload = requests.back()["upload"];
    ASSERT_TRUE(upload.contains("saved")) << upload.dump();
    const auto sent = read_file(upload["saved"].get<std::string>());
    ASSERT_TRUE(sent.has_value());
    const auto speech = read_file(path_join(mic_dir(), "speech.raw"));
    ASSERT_TRUE(speech.has_value());
    EXPECT_GT(sent->size(), speech->size() + 32000) << "the first recording went out, not the later one";
    EXPECT_FALSE(kept_recording_available()) << "the success dropped it";
    service.reset();
    lock_app_state()->settings = before;
}

// Dismisses the message box the capture failure shows and keeps its text.
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
        : thread_([this] {
              for (int i = 0; i < 300 && !stop_; ++i) {
                  if (HWND box = FindWindowW(L"#32770", L"Tolvek")) {
                      wchar_t text[1024] {};
                      GetDlgItemTextW(box, 0xFFFF, text, 1024);
                      texts_.push_back(narrow(text));
                      PostMessageW(box, WM_COMMAND, IDOK, 0);
                      for (int k = 0; k < 100 && IsWindow(box); ++k) Sleep(50);
                  }
                  Sleep(50);
              }
          }) {}
    ~MessageBoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> texts() { return texts_; }

private:
    std::atomic<bool> stop_ {false};
    std::vector<std::string> texts_;
    std::thread thread_;
};

TEST(NoMicrophone, FirstFailureInABoxThenInBalloons) {
    if (!mic_dir().empty()) GTEST_SKIP() << "runs without an audio device";
    const std::string error = "Kein Mikrofon gefunden. Bitte ein Mikrofon anschließen.";
    std::vector<std::string> boxes;
    {
        MessageBoxWatcher watcher;
        start_dictation();
        boxes = watcher.texts();
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Die Taste hat ausgelöst, aber die Aufnahme startet nicht.\n\n" + error +
                            "\n\nWenn das nicht hilft: Windows neu starten.");
    EXPECT_EQ(lock_app_state()->phase, 0);
    EXPECT_EQ(lock_app_state()->capture, nullptr);
    EXPECT_EQ(microphone_device_name(), std::nullopt);

    const std::size_t calls = test::DictationEnvironment::tray->calls().size();
    start_dictation();
    ASSERT_EQ(test::DictationEnvironment::tray->calls().size(), calls + 1) << "no message box the second time";
    EXPECT_EQ(test::DictationEnvironment::tray->calls().back().info, error);
    EXPECT_EQ(test::DictationEnvironment::tray->calls().back().info_flags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(lock_app_state()->phase, 0);

    const std::string log = log_text();
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = log.find(" Mikrofon: " + error + "\n", at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 2u);
}

}  // namespace
}  // namespace tolvek
