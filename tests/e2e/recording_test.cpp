// Tolvek.exe recording from the virtual microphone, started and finished without the talk key.
#include <gtest/gtest.h>

#include "base/messages.h"
#include "shell/tray_menu.h"
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
    EXPECT_TRUE(tooltip(before, "Tolvek · Aufnahme läuft")) << log();
    PostMessageW(window, kMsgMenuCommand, kCmdQuit, 0);
}

// Any program can post the test messages; a plain start of Tolvek ignores them.
class PlainStart : public test::RunningTolvek {};

TEST_F(PlainStart, TestMessagesNeedATestStart) {
    Settings s = default_settings();
    s.hold = false;
    test::save_enrolled(s);
    test::set_env("TOLVEK_TEST_HOOKS", std::nullopt);
    start();
    test::set_env("TOLVEK_TEST_HOOKS", "1");
    const std::size_t before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    test::pump_for(1500ms);
    for (std::size_t i = before; i < tray.calls().size(); ++i) {
        EXPECT_NE(tray.calls()[i].tip, "Tolvek · Aufnahme läuft") << "the microphone was started";
    }
}

}  // namespace
}  // namespace tolvek
