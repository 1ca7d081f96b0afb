// Tolvek.exe recording from the virtual microphone, started and finished without the talk key.
#include <gtest/gtest.h>

#include "base/messages.h"
#include "shell/tray_menu.h"
#include "input_helpers.h"
#include "microphone.h"
#include "running_tolvek.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

class Recording : public test::RunningTolvek {
public:
    void SetUp() override {
        RunningTolvek::SetUp();
        if (test::mic_dir().empty()) GTEST_SKIP() << "needs the virtual microphone of the harness";
        Settings s = default_settings();
        // Tap mode: with the talk key up, a hold-mode recording would end at the next poll.
        s.hold = false;
        test::save_enrolled(s);
        start();
    }

    std::optional<test::TrayCall> tooltip(std::size_t from, const std::string& text) {
        return tray.wait_for(from, [&](const test::TrayCall& c) {
            return c.op == NIM_MODIFY && (c.flags & NIF_TIP) && c.tip == text;
        });
    }
};

TEST_F(Recording, SpeechGoesThroughRecordingAndProcessing) {
    const std::size_t before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    ASSERT_TRUE(tooltip(before, "Tolvek · Aufnahme läuft")) << log();
    ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
    const std::size_t recorded = tray.calls().size();
    PostMessageW(window, kMsgFinishRecording, 0, 0);
    EXPECT_TRUE(tooltip(recorded, "Tolvek · Text wird geschrieben"));
    EXPECT_TRUE(tooltip(recorded, "Tolvek · Muster GmbH · Strg + Umschalt antippen und sprechen"));
    EXPECT_EQ(log().find("Aufnahme stumm"), std::string::npos);
}

TEST_F(Recording, SilenceIsRejectedWithAHint) {
    const std::size_t before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    ASSERT_TRUE(tooltip(before, "Tolvek · Aufnahme läuft")) << log();
    test::pump_for(1500ms);
    PostMessageW(window, kMsgFinishRecording, 0, 0);
    const auto balloon = tray.wait_for(before, [](const test::TrayCall& c) { return c.flags == NIF_INFO; });
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->info,
              "Es war nichts zu hören. Bitte prüfen, ob das richtige Mikrofon gewählt und nicht "
              "stumm geschaltet ist.");
    EXPECT_NE(log().find(" Aufnahme stumm\n"), std::string::npos);
    EXPECT_TRUE(tooltip(before, "Tolvek · Muster GmbH · Strg + Umschalt antippen und sprechen"));
}

// "Beenden" while the microphone runs, and again while the text is being fetched: the program
// ends at once, closes the device, removes its icon and writes its last line.
TEST_F(Recording, QuitWhileRecordingAndWhileSending) {
    for (const bool sending : {false, true}) {
        SCOPED_TRACE(sending ? "while sending" : "while recording");
        if (sending) {
            start();
            test::DevService().next({{"path", "/v1/audio/transcriptions"}, {"delay", 30}, {"status", 200},
                                     {"body", {{"text", "zu spät"}}}});
        }
        std::size_t before = tray.calls().size();
        PostMessageW(window, kMsgStartDictation, 0, 0);
        ASSERT_TRUE(tooltip(before, "Tolvek · Aufnahme läuft")) << log();
        if (sending) {
            ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
            before = tray.calls().size();
            PostMessageW(window, kMsgFinishRecording, 0, 0);
            ASSERT_TRUE(tooltip(before, "Tolvek · Text wird geschrieben"));
            // The upload reached the service, which now holds its answer back.
            ASSERT_TRUE(test::pump_until([] { return test::DevService().queued() == 0; }, 10s));
        }
        PostMessageW(window, kMsgMenuCommand, kCmdQuit, 0);
        ASSERT_TRUE(test::pump_until([&] { return !tolvek->running(); }, 5s)) << "the program did not end";
        EXPECT_EQ(tolvek->wait(0), 0u);
        EXPECT_EQ(tray.calls().back().op, static_cast<DWORD>(NIM_DELETE));
        const std::string text = log();
        EXPECT_EQ(text.substr(text.size() - 8), "beendet\n");
        EXPECT_EQ(text.find("zu spät"), std::string::npos);
    }
    // The microphone was let go: a new copy records again at once.
    start();
    const std::size_t before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(tooltip(before, "Tolvek · Aufnahme läuft"))
        << log() << "answers messages: "
        << (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) != 0);
    PostMessageW(window, kMsgMenuCommand, kCmdQuit, 0);
}

// Any program can post the test messages and set the test variables; a plain start of Tolvek
// ignores them all. The same start with the test hooks on obeys them (so each check can fail).
class PlainStart : public Recording {
public:
    void SetUp() override {
        test::DevService().reset();  // no scripted answer of an earlier test is left waiting
        RunningTolvek::SetUp();
        if (test::mic_dir().empty()) GTEST_SKIP() << "needs the virtual microphone of the harness";
        Settings s = default_settings();
        s.hold = false;
        test::save_enrolled(s);
        // A recording limit of 2 s and a request deadline of 1 s, against an answer after 3 s.
        test::set_env("TOLVEK_TEST_LIMIT_S", "2");
        test::set_env("TOLVEK_TEST_DEADLINE_S", "1");
    }
    void TearDown() override {
        Recording::TearDown();
        test::set_env("TOLVEK_TEST_LIMIT_S", std::nullopt);
        test::set_env("TOLVEK_TEST_DEADLINE_S", std::nullopt);
        test::set_env("TOLVEK_TEST_HOOKS", "1");
    }
    bool recording_since(std::size_t from) { return tooltip(from, "Tolvek · Aufnahme läuft").has_value(); }
    bool sending_since(std::size_t from, std::chrono::milliseconds within) {
        return tray.wait_for(from, [](const test::TrayCall& c) { return c.tip == "Tolvek · Text wird geschrieben"; },
                             within)
            .has_value();
    }
    // Presses the talk key until Tolvek shows `tip`, then lets go.
    bool tap_talk_key_until(const std::string& tip) {
        const std::size_t from = tray.calls().size();
        test::keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
        const bool shown = tooltip(from, tip).has_value();
        test::keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
        return shown;
    }
};

TEST_F(PlainStart, TestMessagesAndVariablesNeedATestStart) {
    test::DevService service;
    test::set_env("TOLVEK_TEST_HOOKS", std::nullopt);
    start();
    test::set_env("TOLVEK_TEST_HOOKS", "1");
    test::pump_for(300ms);  // the talk key counts once it was seen released

    std::size_t before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    test::pump_for(1500ms);
    for (std::size_t i = before; i < tray.calls().size(); ++i) {
        EXPECT_NE(tray.calls()[i].tip, "Tolvek · Aufnahme läuft") << "the microphone was started";
    }

    // The talk key records; the finish message does not end it, nor does the shortened limit.
    before = tray.calls().size();
    ASSERT_TRUE(tap_talk_key_until("Tolvek · Aufnahme läuft")) << log();
    PostMessageW(window, kMsgFinishRecording, 0, 0);
    ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
    test::pump_for(1000ms);
    EXPECT_FALSE(sending_since(before, 0ms)) << "ended by the message or the test's limit";
    // The answer takes 3 s: the shortened deadline would have ended the request.
    service.next({{"path", "/v1/audio/transcriptions"}, {"delay", 3}});
    const std::size_t sent = tray.calls().size();
    EXPECT_TRUE(tap_talk_key_until("Tolvek · Text wird geschrieben"));
    EXPECT_TRUE(tooltip(sent, "Tolvek · Muster GmbH · Strg + Umschalt antippen und sprechen"));
    EXPECT_EQ(log().find("Fehler:"), std::string::npos) << "the request ended early: " << log();
    stop();

    // The same with the test hooks on: each of them works. The finish message first (without
    // the limit, which would end the recording by itself).
    test::set_env("TOLVEK_TEST_LIMIT_S", std::nullopt);
    start();
    test::pump_for(300ms);
    before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    ASSERT_TRUE(recording_since(before)) << log();
    ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
    test::pump_for(2500ms);
    EXPECT_FALSE(sending_since(before, 0ms));
    PostMessageW(window, kMsgFinishRecording, 0, 0);
    EXPECT_TRUE(sending_since(before, 5s)) << "the finish message";
    ASSERT_TRUE(tooltip(before, "Tolvek · Muster GmbH · Strg + Umschalt antippen und sprechen"));
    stop();
    test::set_env("TOLVEK_TEST_LIMIT_S", "2");
    start();
    test::pump_for(300ms);
    service.next({{"path", "/v1/audio/transcriptions"}, {"delay", 3}});
    before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    ASSERT_TRUE(recording_since(before));
    ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
    EXPECT_TRUE(sending_since(before, 5s)) << "the 2 s limit";
    const auto error = tray.wait_for(before, [](const test::TrayCall& c) { return c.flags == NIF_INFO; }, 10s);
    EXPECT_TRUE(error.has_value()) << "the 1 s deadline: " << log();
}

}  // namespace
}  // namespace tolvek
