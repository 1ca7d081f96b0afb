// Tolvek.exe's tray icon, balloons and menu as the notification area sees them.
#include <gtest/gtest.h>

#include "shell/tray_menu.h"
#include "net/devservice_client.h"
#include "message_boxes.h"
#include "running_tolvek.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

using Tray = test::RunningTolvek;

TEST_F(Tray, IconWithIdleTooltip) {
    start();
    const auto& add = tray.calls().front();
    EXPECT_EQ(add.op, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.owner, window);
    EXPECT_EQ(add.id, 1u);
    EXPECT_EQ(add.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP));
    EXPECT_EQ(add.callback, 0x8001u);
    EXPECT_EQ(add.tip, "Tolvek · Muster GmbH · Strg + Umschalt halten und sprechen");
    EXPECT_EQ(tray.calls()[1].tip, add.tip);
}

// The store edition does not touch the registry; it asks once, at the next start that is not
// quiet, and "Nein" leaves a hint for later.
TEST_F(Tray, StoreEditionAsksOnce) {
    Settings s = saved();
    s.store = true;
    s.tray_ask = true;
    save_settings(s);
    std::vector<std::string> boxes;
    {
        test::MessageBoxAnswerer answerer(IDNO);
        start();
        const auto later = tray.wait_for(0, [](const test::TrayCall& c) { return c.info_title == "Fuchs immer anzeigen"; },
                                         20s);
        ASSERT_TRUE(later.has_value());
        EXPECT_EQ(later->info, "Später jederzeit: Einstellungen → Personalisierung → Taskleiste → bei den Symbolen "
                               "der Taskleiste Tolvek einschalten. Oder den Fuchs beim Pfeil ^ in die Taskleiste "
                               "ziehen.");
        boxes = answerer.texts();
        stop();
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Fuchs immer in der Taskleiste zeigen?\n\nWindows versteckt neue Symbole sonst hinter dem "
                        "Pfeil ^. Mit „Ja“ öffnen sich die Taskleisten-Einstellungen, dort Tolvek einschalten.");
    EXPECT_FALSE(saved().tray_ask);
    EXPECT_EQ(log().find("Symbol in der Taskleiste angeheftet"), std::string::npos);

    test::MessageBoxAnswerer answerer(IDNO);
    start();
    test::pump_for(1500ms);
    EXPECT_TRUE(answerer.texts().empty()) << "asked only once";
}

TEST_F(Tray, PlainSecondStartShowsRunningBalloon) {
    start();
    const std::size_t before = tray.calls().size();
    EXPECT_EQ(hand_off(0x1234, L"C"), TRUE) << "a foreign hand-off is accepted";
    EXPECT_EQ(hand_off(0xF1C0, L"C", false), TRUE) << "as is one without data";
    test::pump_for(500ms);
    EXPECT_EQ(tray.calls().size(), before) << "and both are ignored";

    EXPECT_EQ(hand_off(0xF1C0, L"C"), TRUE);
    const auto balloon =
        tray.wait_for(before, [](const test::TrayCall& c) { return c.flags == NIF_INFO; });
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->info_title, "Tolvek läuft bereits");
    EXPECT_EQ(balloon->info,
              "Das Fuchs-Symbol unten rechts öffnet das Menü. Diktieren mit der Taste, wie gewohnt.");
    EXPECT_EQ(balloon->info_flags, static_cast<DWORD>(NIIF_INFO));

    // A link with the code already in use is only announced.
    const std::size_t linked = tray.calls().size();
    hand_off(0xF1C0, L"Ltolvek://join?code=st-3pva-8rke");
    const auto known = tray.wait_for(linked, [](const test::TrayCall& c) { return c.flags == NIF_INFO; });
    ASSERT_TRUE(known.has_value());
    EXPECT_EQ(known->info, "Tolvek ist bereits mit Muster GmbH verbunden.");
    test::pump_for(500ms);  // the icon is refreshed after a link

    const std::size_t after = tray.calls().size();
    hand_off(0xF1C0, L"Cohne Code");
    test::pump_for(500ms);
    EXPECT_EQ(tray.calls().size(), after) << "a text without a code is dropped";
}

TEST_F(Tray, MenuTogglesAreSavedAtOnce) {
    start();
    PostMessageW(window, kMsgMenuCommand, kCmdSounds, 0);
    ASSERT_TRUE(test::pump_until([&] { return !saved().sounds; }));
    PostMessageW(window, kMsgMenuCommand, kCmdTap, 0);
    ASSERT_TRUE(test::pump_until([&] { return !saved().hold; }));
    const auto tip = tray.wait_for(0, [](const test::TrayCall& c) {
        return c.tip == "Tolvek · Muster GmbH · Strg + Umschalt antippen und sprechen";
    });
    EXPECT_TRUE(tip.has_value());
    PostMessageW(window, kMsgMenuCommand, kCmdAutoUpdate, 0);
    ASSERT_TRUE(test::pump_until([&] { return !saved().auto_update; }));
    EXPECT_FALSE(saved().sounds);
}

TEST_F(Tray, AutostartWritesTheRunValue) {
    start();
    const auto run_value = []() -> std::optional<std::wstring> {
        wchar_t buffer[1024] {};
        DWORD size = sizeof buffer;
        if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                         L"Tolvek", RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::wstring(buffer);
    };
    ASSERT_FALSE(run_value().has_value());
    PostMessageW(window, kMsgMenuCommand, kCmdAutostart, 0);
    ASSERT_TRUE(test::pump_until([&] { return run_value().has_value(); }));
    const std::wstring expected = L"\"" + wide(path_join(install_dir(), "Tolvek.exe")) + L"\"";
    EXPECT_EQ(*run_value(), expected);
    PostMessageW(window, kMsgMenuCommand, kCmdAutostart, 0);
    EXPECT_TRUE(test::pump_until([&] { return !run_value().has_value(); }));
}

TEST_F(Tray, MenuOpensOnClickAndQuitRemovesTheIcon) {
    start();
    // A mouse move over the icon opens nothing.
    PostMessageW(window, 0x8001, 1, WM_MOUSEMOVE);
    test::pump_for(300ms);
    EXPECT_EQ(FindWindowW(L"#32768", nullptr), nullptr);

    PostMessageW(window, 0x8001, 1, WM_RBUTTONUP);
    HWND popup = nullptr;
    ASSERT_TRUE(test::pump_until([&] { return (popup = FindWindowW(L"#32768", nullptr)) != nullptr; }));
    // Up from no selection picks the last item, "Beenden".
    PostMessageW(window, WM_KEYDOWN, VK_UP, 0);
    PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(test::pump_until([&] { return !tolvek->running(); }));
    EXPECT_EQ(tolvek->wait(0), 0u);
    EXPECT_EQ(tray.calls().back().op, static_cast<DWORD>(NIM_DELETE));
    const std::string log = read_file(data.file("tolvek.log")).value_or("");
    EXPECT_EQ(log.substr(log.size() - 8), "beendet\n");
}

TEST_F(Tray, CodeOnTheCommandLineEnrolsAtStart) {
    Settings fresh = default_settings();
    fresh.server = test::DevService().base();
    save_settings(fresh);
    start("--code st-3pva-8rke --quiet");
    const auto balloon = tray.wait_for(0, [](const test::TrayCall& c) { return c.flags == NIF_INFO; });
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->info, "Angemeldet für Muster GmbH.");
    const Settings s = saved();
    EXPECT_EQ(s.code, "ST-3PVA-8RKE");
    EXPECT_FALSE(s.token.empty());
    EXPECT_EQ(s.firm, "Muster GmbH");
    EXPECT_EQ(s.audio, "wav");
    const std::string file = *read_file(data.file("config.json"));
    EXPECT_EQ(file.find(s.token), std::string::npos) << "the token is stored protected";
    const std::string text = log();
    EXPECT_NE(text.find(" angemeldet\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" Firmen-Code übernommen\n"), std::string::npos) << text;
}

TEST_F(Tray, StartNoticesAfterAnUpdate) {
    struct Case {
        const char* name;
        std::string config;
        std::string args;
        std::optional<std::pair<std::string, std::string>> balloon;
    };
    const std::string key_notice =
        "Zum Diktieren jetzt Strg + Umschalt gedrückt halten. Tolvek ist auf Version 0.5.24 "
        "aktualisiert. Ändern über das Fuchs-Symbol unten rechts.";
    const Case cases[] = {
        {"old key migrated", R"({"vk":0,"mods":10,"hotkey_rev":0})", "",
         std::pair {std::string("Tolvek: neue Taste"), key_notice}},
        {"old key migrated and updated", R"({"vk":0,"mods":10,"hotkey_rev":1})", "--updated",
         std::pair {std::string("Tolvek: neue Taste"), key_notice}},
        {"updated", R"({"hotkey_rev":2})", "--updated",
         std::pair {std::string("Tolvek"), std::string("Tolvek wurde auf Version 0.5.24 aktualisiert.")}},
        {"first start after migration: only the ready notice", R"({"vk":0,"mods":10,"hotkey_rev":0})",
         "--first",
         std::pair {std::string("Tolvek ist bereit — Muster GmbH"),
                    std::string("Strg + Umschalt gedrückt halten, sprechen, loslassen. Der Text "
                                "erscheint dort, wo der Cursor steht. Einstellungen über das "
                                "Fuchs-Symbol unten rechts.")}},
        {"plain start", R"({"hotkey_rev":2})", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::save_enrolled(parse_settings(c.config).settings);
        const std::size_t before = tray.calls().size();
        start(c.args);
        test::pump_for(500ms);
        std::vector<test::TrayCall> balloons;
        for (std::size_t i = before; i < tray.calls().size(); ++i) {
            if (tray.calls()[i].flags == NIF_INFO) balloons.push_back(tray.calls()[i]);
        }
        if (c.balloon) {
            ASSERT_EQ(balloons.size(), 1u);
            EXPECT_EQ(balloons[0].info_title, c.balloon->first);
            EXPECT_EQ(balloons[0].info, c.balloon->second);
        } else {
            EXPECT_TRUE(balloons.empty());
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(test::pump_until([&] { return !tolvek->running(); }));
    }
}

}  // namespace
}  // namespace tolvek
