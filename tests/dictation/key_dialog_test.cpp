// The key-choice dialog with keys injected by SendInput, as a keyboard would deliver them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dictation/key_names.h"
#include "e2e/input_helpers.h"
#include "accessibility.h"
#include "environment.h"
#include "pictures.h"
#include "util/win_text.h"
#include "windows/dialog_frame.h"
#include "windows/dialogs.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

constexpr char kTyping[] =
    "Diese Taste brauchen Sie zum Schreiben. Bitte mit Strg oder Alt kombinieren oder eine F-Taste wählen.";
constexpr char kTaken[] = "Übernehmen speichert die neue Taste. Oder eine andere drücken.";
constexpr char kWindowsKeys[] =
    "Alt + F4 und Alt + Leertaste braucht Windows für jedes Fenster. Bitte eine andere Kombination wählen.";
constexpr char kAltGr[] = "Strg + Alt allein löst auch AltGr aus. Bitte eine andere Kombination wählen.";

enum class Ending { Accept, Enter, Escape };

struct Case {
    const char* name;
    std::vector<std::pair<WORD, bool>> presses;
    Ending ending;
    std::optional<TalkKey> result;
    std::string status;  // the status line before the ending
    bool enabled;        // "Übernehmen" before the ending
};

std::string text_of(HWND window, int id) {
    wchar_t t[256] {};
    GetDlgItemTextW(window, id, t, 256);
    return narrow(t);
}

HWND wait_for_dialog() {
    HWND dialog = nullptr;
    for (int i = 0; i < 200; ++i, Sleep(25)) {
        dialog = FindWindowW(L"TolvekKeyDialog", nullptr);
        if (dialog && IsWindowVisible(dialog)) return dialog;
    }
    return nullptr;
}

// Opens the dialog here and plays the case from a second thread, which also notes what the
// dialog showed before its ending.
std::optional<TalkKey> play(const Case& c, std::string& status, bool& enabled,
                            const std::function<void(HWND)>& look = nullptr) {
    std::thread player([&] {
        const HWND dialog = wait_for_dialog();
        if (!dialog) return;
        Sleep(150);
        for (const auto& press : c.presses) {
            test::keys({press});
            Sleep(60);
        }
        Sleep(200);
        status = text_of(dialog, kIdStatus);
        enabled = IsWindowEnabled(GetDlgItem(dialog, kIdPrimary));
        if (look) look(dialog);
        // A key sent after the dialog closed would reach the next one: wait for the window to go.
        const auto gone = [&] {
            for (int i = 0; i < 60 && IsWindow(dialog); ++i) Sleep(50);
            return !IsWindow(dialog);
        };
        if (c.ending == Ending::Accept) {
            PostMessageW(dialog, WM_COMMAND, kIdPrimary, 0);
            if (!gone()) test::keys({{VK_ESCAPE, true}, {VK_ESCAPE, false}});
        } else {
            const WORD key = c.ending == Ending::Enter ? VK_RETURN : VK_ESCAPE;
            test::keys({{key, true}, {key, false}});
            if (!gone()) PostMessageW(dialog, WM_CLOSE, 0, 0);
        }
        gone();
    });
    const auto result = choose_key("Strg + Umschalt");
    player.join();
    return result;
}

bool operator==(const std::optional<TalkKey>& a, const std::optional<TalkKey>& b) {
    if (!a || !b) return a.has_value() == b.has_value();
    return a->vk == b->vk && a->mods == b->mods;
}

TEST(KeyDialog, WhatIsCapturedAndWhatIsRefused) {
    const WORD ctrl = VK_CONTROL, shift = VK_SHIFT, alt = VK_MENU, win = VK_LWIN;
    const Case cases[] = {
        {"F8", {{VK_F8, true}, {VK_F8, false}}, Ending::Accept, TalkKey {VK_F8, 0}, kTaken, true},
        {"A", {{'A', true}, {'A', false}}, Ending::Accept, std::nullopt, kTyping, false},
        {"Strg + A", {{ctrl, true}, {'A', true}, {'A', false}, {ctrl, false}}, Ending::Accept,
         TalkKey {'A', kModCtrl}, kTaken, true},
        {"Umschalt + A", {{shift, true}, {'A', true}, {'A', false}, {shift, false}}, Ending::Accept, std::nullopt,
         kTyping, false},
        {"Win + A", {{win, true}, {'A', true}, {'A', false}, {win, false}}, Ending::Accept, TalkKey {'A', kModWin},
         kTaken, true},
        {"Strg + Umschalt", {{ctrl, true}, {shift, true}, {shift, false}, {ctrl, false}}, Ending::Accept,
         TalkKey {0, kModCtrl | kModShift}, kTaken, true},
        {"Strg + Alt", {{ctrl, true}, {alt, true}, {alt, false}, {ctrl, false}}, Ending::Accept, std::nullopt, kAltGr,
         false},
        {"Strg alone", {{ctrl, true}, {ctrl, false}}, Ending::Accept, std::nullopt, "Aktuell: Strg + Umschalt", false},
        {"Strg, A, release", {{ctrl, true}, {'A', true}, {ctrl, false}, {'A', false}}, Ending::Accept,
         TalkKey {'A', kModCtrl}, kTaken, true},
        {"Enter before a capture", {}, Ending::Enter, std::nullopt, "Aktuell: Strg + Umschalt", false},
        {"Enter after a capture", {{VK_F9, true}, {VK_F9, false}}, Ending::Enter, TalkKey {VK_F9, 0}, kTaken, true},
        {"Strg + Enter", {{ctrl, true}, {VK_RETURN, true}, {VK_RETURN, false}, {ctrl, false}}, Ending::Accept,
         TalkKey {VK_RETURN, kModCtrl}, kTaken, true},
        {"Escape after a capture", {{VK_F8, true}, {VK_F8, false}}, Ending::Escape, std::nullopt, kTaken, true},
        // Closing a window and opening its window menu stay Windows' own.
        {"Alt + F4", {{alt, true}, {VK_F4, true}, {VK_F4, false}, {alt, false}}, Ending::Accept, std::nullopt,
         kWindowsKeys, false},
        {"Alt + Umschalt + F4", {{alt, true}, {shift, true}, {VK_F4, true}, {VK_F4, false}, {shift, false}, {alt, false}},
         Ending::Accept, std::nullopt, kWindowsKeys, false},
        {"Alt + Leertaste", {{alt, true}, {VK_SPACE, true}, {VK_SPACE, false}, {alt, false}}, Ending::Accept,
         std::nullopt, kWindowsKeys, false},
        {"Strg + F4", {{ctrl, true}, {VK_F4, true}, {VK_F4, false}, {ctrl, false}}, Ending::Accept,
         TalkKey {VK_F4, kModCtrl}, kTaken, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string status;
        bool enabled = false;
        const auto result = play(c, status, enabled);
        EXPECT_TRUE(result == c.result) << (result ? key_name(result->vk, result->mods) : "nothing");
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(enabled, c.enabled);
        EXPECT_EQ(FindWindowW(L"TolvekKeyDialog", nullptr), nullptr) << "the dialog closed";
    }
}

TEST(KeyDialog, EnterWithNothingCapturedIsATypingKey) {
    // Enter first, then a look at the status line, then Escape.
    const Case c {"Enter", {{VK_RETURN, true}, {VK_RETURN, false}}, Ending::Escape, std::nullopt, kTyping, false};
    std::string status;
    bool enabled = true;
    EXPECT_TRUE(play(c, status, enabled) == std::nullopt);
    EXPECT_EQ(status, kTyping);
    EXPECT_FALSE(enabled);
}

// The keycaps: grey names while modifiers are held, dark caps for a captured choice, and a
// name too long for the view cut so that the caps stay inside it.
TEST(KeyDialog, KeycapsPictures) {
    const Case live {"live", {{VK_CONTROL, true}, {VK_SHIFT, true}}, Ending::Escape, std::nullopt, "", false};
    std::string status;
    bool enabled = false;
    play(live, status, enabled, [](HWND dialog) { test::expect_looks_like(GetDlgItem(dialog, kIdKeycaps), "keycaps-live"); });
    test::keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
    const Case captured {"captured", {{VK_CONTROL, true}, {VK_F8, true}, {VK_F8, false}, {VK_CONTROL, false}},
                         Ending::Escape, std::nullopt, "", false};
    play(captured, status, enabled,
         [](HWND dialog) { test::expect_looks_like(GetDlgItem(dialog, kIdKeycaps), "keycaps-captured"); });
    const Case all {"all modifiers",
                    {{VK_CONTROL, true}, {VK_MENU, true}, {VK_SHIFT, true}, {VK_LWIN, true}, {VK_SCROLL, true},
                     {VK_SCROLL, false}, {VK_LWIN, false}, {VK_SHIFT, false}, {VK_MENU, false}, {VK_CONTROL, false}},
                    Ending::Escape, std::nullopt, "", false};
    play(all, status, enabled, [](HWND dialog) {
        const HWND caps = GetDlgItem(dialog, kIdKeycaps);
        test::expect_looks_like(caps, "keycaps-long");
        // Beside the row, at its height, only the view's grey: no cap runs off the edges.
        const test::Picture p = test::screenshot(caps);
        const int inset = MulDiv(4, static_cast<int>(GetDpiForSystem()), 96);
        for (const int x : {inset, p.width - 1 - inset}) {
            const std::size_t at = (static_cast<std::size_t>(p.height / 2) * p.width + x) * 3;
            EXPECT_EQ((std::vector<int> {p.rgb[at], p.rgb[at + 1], p.rgb[at + 2]}), (std::vector<int> {244, 245, 247}))
                << "x " << x;
        }
    });
}

// A screen reader reads the keycaps as the key's name, and the hint before a key was pressed.
TEST(KeyDialog, KeycapsReadAsTheKeyName) {
    const auto name_of = [](HWND caps) { return test::read_out(caps).name; };
    std::string before, after;
    const Case c {"Strg + F8", {{VK_CONTROL, true}, {VK_F8, true}, {VK_F8, false}, {VK_CONTROL, false}},
                  Ending::Escape, std::nullopt, "", false};
    std::string status;
    bool enabled = false;
    std::thread early([&] {
        const HWND dialog = wait_for_dialog();
        if (dialog) before = name_of(GetDlgItem(dialog, kIdKeycaps));
    });
    play(c, status, enabled, [&](HWND dialog) { after = name_of(GetDlgItem(dialog, kIdKeycaps)); });
    early.join();
    EXPECT_EQ(before, "Taste drücken …");
    EXPECT_EQ(after, "Strg + F8");
}

}  // namespace
}  // namespace tolvek
