// "Taste ändern …" in Tolvek.exe: the new key is pressed in the dialog, saved, and dictates at
// once; a key another program holds brings the old one back.
#include <gtest/gtest.h>

#include "base/messages.h"
#include "input_helpers.h"
#include "running_tolvek.h"
#include "shell/tray_menu.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

class KeyChange : public test::RunningTolvek {
protected:
    // Opens the dialog from the menu, presses the keys there and takes the choice.
    void choose(std::initializer_list<std::pair<WORD, bool>> presses,
                const std::function<void()>& before_taking = [] {}, std::chrono::milliseconds gap = 60ms) {
        PostMessageW(window, kMsgMenuCommand, kCmdChangeKey, 0);
        HWND dialog = nullptr;
        ASSERT_TRUE(test::pump_until([&] { return (dialog = FindWindowW(L"TolvekKeyDialog", nullptr)) != nullptr; }));
        test::pump_for(300ms);
        SetForegroundWindow(dialog);
        for (const auto& press : presses) {
            test::keys({press});
            test::pump_for(gap);
        }
        test::pump_for(200ms);
        before_taking();
        PostMessageW(dialog, WM_COMMAND, 1, 0);
        ASSERT_TRUE(test::pump_until([&] { return !IsWindow(dialog); }));
    }
    bool recording_started(std::size_t from) {
        return tray.wait_for(from, [](const test::TrayCall& c) { return c.tip == "Tolvek · Aufnahme läuft"; }, 3s)
            .has_value();
    }
};

TEST_F(KeyChange, F8IsSavedAndDictatesTheOldKeyNoLonger) {
    start();
    std::size_t calls = tray.calls().size();
    choose({{VK_F8, true}, {VK_F8, false}});
    const auto announced = tray.wait_for(calls, [](const test::TrayCall& c) { return (c.flags & NIF_INFO) != 0; });
    ASSERT_TRUE(announced.has_value());
    EXPECT_EQ(announced->info, "Neue Taste: F8");
    EXPECT_EQ(saved().vk, static_cast<std::uint32_t>(VK_F8));
    EXPECT_EQ(saved().mods, 0u);

    calls = tray.calls().size();
    test::keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
    EXPECT_FALSE(recording_started(calls)) << "the old combination no longer starts a recording";
    test::keys({{VK_SHIFT, false}, {VK_CONTROL, false}});

    calls = tray.calls().size();
    test::keys({{VK_F8, true}});
    EXPECT_TRUE(recording_started(calls)) << log();
    test::pump_for(500ms);
    const std::size_t held = tray.calls().size();
    test::keys({{VK_F8, false}});
    EXPECT_TRUE(tray.wait_for(held, [](const test::TrayCall& c) { return c.tip.find("F8 halten") != std::string::npos; },
                              20s))
        << "released: the recording ended";
}

// While the dialog is open the old key listens no more: holding Strg + Umschalt there (to choose
// it again) starts no recording, although the modifier poll would otherwise see it.
TEST_F(KeyChange, TheOldKeyIsSilentWhileTheDialogIsOpen) {
    start();
    const std::size_t calls = tray.calls().size();
    // Held together for 600 ms: far beyond the 180 ms after which the poll would start a recording.
    choose({{VK_CONTROL, true}, {VK_SHIFT, true}, {VK_SHIFT, false}, {VK_CONTROL, false}}, [] {}, 600ms);
    for (std::size_t i = calls; i < tray.calls().size(); ++i) {
        EXPECT_NE(tray.calls()[i].tip, "Tolvek · Aufnahme läuft") << "a recording started in the dialog";
    }
    const auto announced = tray.wait_for(calls, [](const test::TrayCall& c) { return (c.flags & NIF_INFO) != 0; });
    ASSERT_TRUE(announced.has_value());
    EXPECT_EQ(announced->info, "Neue Taste: Strg + Umschalt");
    test::pump_for(300ms);  // the key counts once it was seen released after being armed
    const std::size_t after = tray.calls().size();
    test::keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
    EXPECT_TRUE(recording_started(after)) << "and listens again afterwards";
    test::keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
}

TEST_F(KeyChange, KeyHeldByAnotherProgramBringsBackTheOldKey) {
    start();
    // Another program takes F7 as its own hot key while the dialog shows it.
    const HWND other = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const std::size_t calls = tray.calls().size();
    choose({{VK_F7, true}, {VK_F7, false}}, [&] { ASSERT_TRUE(RegisterHotKey(other, 7, MOD_NOREPEAT, VK_F7)); });
    const auto refused = tray.wait_for(calls, [](const test::TrayCall& c) { return (c.flags & NIF_INFO) != 0; });
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->info,
              "F7 ist schon von einem anderen Programm belegt. Bitte über das Symbol unten rechts eine andere Taste wählen.");
    test::pump_for(300ms);
    EXPECT_EQ(saved().vk, 0u);
    EXPECT_EQ(saved().mods, 6u);

    // The old key works again.
    const std::size_t before = tray.calls().size();
    test::keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
    EXPECT_TRUE(recording_started(before)) << log();
    test::keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
    UnregisterHotKey(other, 7);
    DestroyWindow(other);
}

}  // namespace
}  // namespace tolvek
