// Tolvek.exe recording from the virtual microphone, started and finished without the talk key.
#include <gtest/gtest.h>

#include "base/messages.h"
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

}  // namespace
}  // namespace tolvek
