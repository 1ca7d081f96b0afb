// Whole dictations with Tolvek.exe: the talk key from the keyboard, speech from the virtual
// microphone, the development service, and the text in another program's editor.
#include <gtest/gtest.h>

#include "dictation/wav.h"
#include "input_helpers.h"
#include "microphone.h"
#include "net/hello.h"
#include "net/http.h"
#include "running_tolvek.h"
#include "net/devservice_client.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using test::best_match;
using test::keys;

class Dictation : public test::RunningTolvek {
public:
    static void SetUpTestSuite() {
        editor_window = CreateWindowExW(0, L"STATIC", L"Editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        40, 40, 500, 200, nullptr, nullptr, nullptr, nullptr);
        editor = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 480,
                                 160, editor_window, nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(editor_window); }

    void SetUp() override {
        RunningTolvek::SetUp();
        if (test::mic_dir().empty() || !service.available()) {
            GTEST_SKIP() << "needs the virtual microphone and the development service";
        }
        service.reset();
        service.config({{"upload_dir", uploads_dir()}});
        SetWindowTextW(editor, L"");
        SetForegroundWindow(editor_window);
        SetFocus(editor);
        test::pump_for(100ms);
    }

    // Tolvek enrolled at the development service, which asks for the given upload format (the
    // start-up hello brings it again).
    void start_enrolled(const std::string& audio = "wav") {
        service.config({{"audio", audio}});
        const auto enrolled = enroll(service.base(), "ST-3PVA-8RKE");
        ASSERT_TRUE(std::holds_alternative<Enrollment>(enrolled));
        Settings s = default_settings();
        s.server = service.base();
        s.token = std::get<Enrollment>(enrolled).token;
        s.code = "ST-3PVA-8RKE";
        s.firm = "Muster GmbH";
        s.audio = audio;
        save_settings(s);
        start();
        // The talk key counts only once it was seen released after the engine was armed.
        test::pump_for(300ms);
    }

    // Holds Strg + Umschalt while the fixture plays, then lets go.
    void dictate() {
        const std::size_t before = tray.calls().size();
        keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
        ASSERT_TRUE(tray.wait_for(before, [](const test::TrayCall& c) {
            return c.tip == "Tolvek · Aufnahme läuft";
        }, 5s)) << "the talk key started a recording";
        ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
        keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
    }

    std::string editor_text() const {
        wchar_t buffer[1024] {};
        GetWindowTextW(editor, buffer, 1024);
        return narrow(buffer);
    }

    Json transcription_requests() const {
        Json out = Json::array();
        for (const auto& r : service.requests()) {
            if (r["path"] == "/v1/audio/transcriptions") out.push_back(r);
        }
        return out;
    }

    static std::string uploads_dir() {
        const std::string dir = path_join(test::mic_dir(), "uploads");
        create_directories(dir);
        // The service is a Linux process: it gets the folder as Linux sees it.
        std::string unix_path = dir.substr(2);
        for (char& c : unix_path) if (c == '\\') c = '/';
        return unix_path;
    }

    test::DevService service;
    static HWND editor_window;
    static HWND editor;
};
HWND Dictation::editor_window = nullptr;
HWND Dictation::editor = nullptr;

TEST_F(Dictation, HoldTheDefaultKeyAndTheTextArrives) {
    start_enrolled();
    dictate();
    ASSERT_TRUE(test::pump_until([&] { return editor_text() == "Hallo Welt "; }, 20s)) << editor_text();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0]["upload"]["kind"], "wav");
    EXPECT_EQ(up[0]["upload"]["valid"], true);
    EXPECT_FALSE(test::has_header(up[0], "X-Tolvek-Dauer"));
    // The uploaded samples are the speech that was fed.
    const auto wav = read_file(up[0]["upload"]["saved"].get<std::string>());
    ASSERT_TRUE(wav.has_value());
    const auto fixture = read_file(path_join(test::mic_dir(), "speech.raw"));
    const auto fed = test::samples_of(fixture->data(), fixture->size());
    const std::vector<std::int16_t> part(fed.begin() + 16000, fed.begin() + 32000);
    EXPECT_GT(best_match(test::samples_of(wav->data(), wav->size(), 44), part), 0.95);

    const std::string text = log();
    EXPECT_EQ(text.find("Fehler"), std::string::npos) << text;
    EXPECT_EQ(text.find("Hallo Welt"), std::string::npos) << "no dictated text in the log";
    EXPECT_TRUE(tray.wait_for(0, [](const test::TrayCall& c) {
        return c.tip == "Tolvek · Text wird geschrieben";
    }, 1s));
}

TEST_F(Dictation, OpusWhenTheServiceAsksForIt) {
    start_enrolled("opus");
    dictate();
    ASSERT_TRUE(test::pump_until([&] { return editor_text() == "Hallo Welt "; }, 20s)) << editor_text();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0]["upload"]["kind"], "opus");
    EXPECT_EQ(up[0]["upload"]["valid"], true) << up[0]["upload"].dump();
    EXPECT_TRUE(test::has_header(up[0], "X-Tolvek-Dauer"));
    EXPECT_GT(up[0]["upload"]["samples"].get<int>(), 16000 * 4);
}

TEST_F(Dictation, RefusedOpusIsRepeatedAsWav) {
    service.config({{"reject_opus", true}});
    start_enrolled("opus");
    dictate();
    ASSERT_TRUE(test::pump_until([&] { return editor_text() == "Hallo Welt "; }, 20s)) << editor_text();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 2u);
    EXPECT_EQ(up[1]["upload"]["kind"], "wav");
    EXPECT_NE(log().find(" Opus abgelehnt (Opus wird nicht unterstützt), sende WAV\n"), std::string::npos);
}

TEST_F(Dictation, NothingUnderstood) {
    service.config({{"text", ""}});
    start_enrolled();
    const std::size_t before = tray.calls().size();
    dictate();
    const auto balloon = tray.wait_for(before, [](const test::TrayCall& c) { return c.flags == NIF_INFO; }, 20s);
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->info, "Es wurde nichts verstanden. Bitte noch einmal versuchen.");
    test::pump_for(300ms);
    EXPECT_EQ(editor_text(), "");
}

}  // namespace
}  // namespace tolvek
