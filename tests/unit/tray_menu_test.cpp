#include <gtest/gtest.h>

#include "build_config.h"
#include "shell/tray_menu.h"
#include "net/update.h"

namespace tolvek {
namespace {

TEST(TrayTooltip, PerPhase) {
    Settings s = default_settings();
    EXPECT_EQ(tray_tooltip(0, s), "Tolvek · Strg + Umschalt halten und sprechen");
    s.firm = "Müller & Co";
    s.hold = false;
    s.vk = 119;
    s.mods = 2;
    EXPECT_EQ(tray_tooltip(0, s), "Tolvek · Müller & Co · Strg + F8 antippen und sprechen");
    EXPECT_EQ(tray_tooltip(1, s), "Tolvek · Aufnahme läuft");
    EXPECT_EQ(tray_tooltip(2, s), "Tolvek · Text wird geschrieben");
}

TEST(TrayText, CutsAndEscapes) {
    EXPECT_EQ(escape_ampersands("A&B && C"), "A&&B &&&& C");
    EXPECT_EQ(cut_utf16("Grüße", 3), u"Grü");
    EXPECT_EQ(cut_utf16("ab🦊", 3), u"ab") << "half a surrogate pair is dropped";
    EXPECT_EQ(cut_utf16("ab", 127), u"ab");
    const std::string seventy(70, 'x');
    EXPECT_EQ(shorten_dictation(seventy), seventy);
    EXPECT_EQ(shorten_dictation(seventy + "y"), seventy + "…");
    std::string umlauts;
    for (int i = 0; i < 80; ++i) umlauts += "ä";
    std::string expected;
    for (int i = 0; i < 70; ++i) expected += "ä";
    EXPECT_EQ(shorten_dictation(umlauts), expected + "…") << "counted in characters, not bytes";
}

TEST(Version, IsNewer) {
    for (const char* v : {"0.5.25", "0.6", "1", "v0.6", "0.5.24.1", "0.10"}) {
        EXPECT_TRUE(is_newer(v)) << v;
    }
    for (const char* v : {"0.5.24", "0.5.24.0", "0.5.24-beta", "0.5.3", "", "abc", "0.4.99",
                          // A run too long for 32 bits counts as 0.
                          "0.5.99999999999", "0.5.4294967296", "99999999999999999999999"}) {
        EXPECT_FALSE(is_newer(v)) << v;
    }
    EXPECT_TRUE(is_newer("0.5.4294967295")) << "the largest 32-bit number is still a number";
    EXPECT_TRUE(is_newer_than("1.0", "0.99999999999"));
}

TEST(Update, FileNamesContentAndSigners) {
    EXPECT_EQ(update_file_name("0.5.25"), "Tolvek-update-0.5.25.exe");
    EXPECT_EQ(update_file_name("0.6 beta/../x\\y"), "Tolvek-update-0.6beta..xy.exe");
    EXPECT_EQ(update_file_name("1.0-rc 2"), "Tolvek-update-1.0rc2.exe");

    const std::string program = "MZ" + std::string(99998, 'x');
    EXPECT_EQ(update_content_error(program, false), std::nullopt) << "100,000 bytes with MZ";
    const std::string refused = "Update abgelehnt: unerwarteter Dateiinhalt.";
    EXPECT_EQ(update_content_error(program.substr(0, 99999), false), refused);
    EXPECT_EQ(update_content_error("ZM" + program.substr(2), false), refused);
    EXPECT_EQ(update_content_error("<html>" + program, false), refused);
    EXPECT_EQ(update_content_error(program, true), refused) << "an answer beyond the limit";

    for (const char* name : {"Tolvek-update-0.5.25.exe", "Orvane-update-3.exe", "Tolvek-entfernt-4711.exe"}) {
        EXPECT_TRUE(is_leftover_file_name(name)) << name;
    }
    for (const char* name : {"Tolvek-update-0.5.25.txt", "tolvek-update-0.5.25.exe", "Tolvek-update-0.5.25.EXE",
                             "Tolvek.exe", "xTolvek-update-1.exe"}) {
        EXPECT_FALSE(is_leftover_file_name(name)) << name;
    }
}

Signature signer(Signature::Kind kind, std::string name = "", std::string subject = "") {
    Signature s;
    s.kind = kind;
    s.name = std::move(name);
    s.subject = std::move(subject);
    s.problem = kind == Signature::Invalid ? "WinVerifyTrust 0x800B0101" : "";
    return s;
}

TEST(Update, SamePublisherIsTheWholeSubjectAndFailsClosed) {
    const Signature none = signer(Signature::None);
    const Signature broken = signer(Signature::Invalid);
    const Signature kestrom = signer(Signature::Valid, "Kestrom", "CN=Kestrom, O=Kestrom GmbH, L=Kiel, C=DE");
    const Signature renewed = kestrom;  // a new key under the same name
    const Signature alike = signer(Signature::Valid, "Kestrom", "CN=Kestrom, O=Kestrom Ltd, L=Kiel, C=DE");
    const Signature other = signer(Signature::Valid, "Fremd GmbH", "CN=Fremd GmbH, C=DE");
    const std::string not_signed = "Update abgelehnt: Datei ist nicht gültig signiert.";
    const std::string own_unverified =
        "Update abgelehnt: Die Signatur des laufenden Programms lässt sich nicht prüfen (WinVerifyTrust 0x800B0101).";
    const struct {
        const char* name;
        const Signature& own;
        const Signature& offered;
        std::optional<std::string> error;
    } cases[] = {
        {"unsigned program takes an unsigned file", none, none, std::nullopt},
        {"unsigned program takes a signed file", none, other, std::nullopt},
        {"same subject", kestrom, renewed, std::nullopt},
        {"signed program, unsigned file", kestrom, none, not_signed},
        {"signed program, broken signature", kestrom, broken, not_signed},
        {"another publisher", kestrom, other, "Update abgelehnt: anderer Herausgeber (Fremd GmbH)."},
        {"same common name, another organisation", kestrom, alike,
         "Update abgelehnt: anderer Herausgeber (CN=Kestrom, O=Kestrom Ltd, L=Kiel, C=DE)."},
        // A signature that is there but does not verify is never taken for "unsigned".
        {"own signature unverified, unsigned file", broken, none, own_unverified},
        {"own signature unverified, signed file", broken, kestrom, own_unverified},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(update_signature_error(c.own, c.offered), c.error);
    }
}

TEST(Update, TheFileMustBeTheAnnouncedNewerVersion) {
    const struct {
        std::optional<std::string> file;
        const char* announced;
        std::optional<std::string> error;
    } cases[] = {
        {"0.5.25", "0.5.25", std::nullopt},
        {"0.5.25", "0.5.25.0", std::nullopt},
        {"0.6.0.1", "v0.6.0.1", std::nullopt},
        {"0.5.24", "0.5.25", "Update abgelehnt: Die Datei trägt Version 0.5.24, angekündigt war 0.5.25."},
        {"0.5.23", "0.5.25", "Update abgelehnt: Die Datei trägt Version 0.5.23, angekündigt war 0.5.25."},
        {"0.5.26", "0.5.25", "Update abgelehnt: Die Datei trägt Version 0.5.26, angekündigt war 0.5.25."},
        {"0.5.24", "0.5.24", "Update abgelehnt: Version 0.5.24 ist nicht neuer als die laufende Version 0.5.24."},
        {"0.5.23", "0.5.23", "Update abgelehnt: Version 0.5.23 ist nicht neuer als die laufende Version 0.5.24."},
        {std::nullopt, "0.5.25", "Update abgelehnt: Die Datei nennt keine Version (angekündigt: 0.5.25)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.value_or("(none)") + " / " + c.announced);
        EXPECT_EQ(update_version_error(c.file, c.announced, "0.5.24"), c.error);
    }
}

HelloOutcome outcome(std::optional<std::string> version, bool manual) {
    HelloOutcome o;
    o.offered_version = std::move(version);
    o.manual = manual;
    return o;
}

TEST(HelloDecision, BalloonsAndDownloads) {
    const std::string current = std::string("Tolvek ist aktuell (Version ") + kVersion + ").";
    const Balloon loading {"Tolvek", "Version 0.6.0 wird geladen …", false};
    struct Case {
        const char* name;
        HelloOutcome o;
        bool auto_update;
        std::optional<std::string> announced;
        std::optional<Balloon> balloon;
        bool download;
        std::optional<std::string> announce;
    };
    HelloOutcome logged_out = outcome("0.6.0", true);
    logged_out.logged_out = true;
    HelloOutcome unreachable = outcome(std::nullopt, true);
    unreachable.unreachable = true;
    const std::vector<Case> cases = {
        {"automatic, same version", outcome(kVersion, false), true, {}, {}, false, {}},
        {"automatic, no version", outcome(std::nullopt, false), true, {}, {}, false, {}},
        {"manual, same version", outcome(kVersion, true), true, {},
         Balloon {"Tolvek", current, false}, false, {}},
        {"manual, older version", outcome("0.5.3", true), true, {},
         Balloon {"Tolvek", current, false}, false, {}},
        {"automatic, newer, not announced", outcome("0.6.0", false), true, {}, {}, true, "0.6.0"},
        {"automatic, newer, announced", outcome("0.6.0", false), true, "0.6.0", {}, false, {}},
        {"automatic, newer, other announced", outcome("0.6.0", false), true, "0.5.30", {}, true,
         "0.6.0"},
        {"automatic, newer, auto_update off", outcome("0.6.0", false), false, {}, {}, false, {}},
        {"manual, newer, not announced", outcome("0.6.0", true), false, {}, loading, true, "0.6.0"},
        {"manual, newer, announced", outcome("0.6.0", true), true, "0.6.0", loading, true, {}},
        {"logged out", logged_out, true, {}, {}, false, {}},
        {"unreachable", unreachable, true, {},
         Balloon {"Tolvek", "Keine Verbindung zum Server. Bitte später erneut versuchen.", true},
         false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HelloDecision d = decide_hello(c.o, c.auto_update, c.announced);
        EXPECT_EQ(d.balloon, c.balloon);
        EXPECT_EQ(d.download, c.download);
        EXPECT_EQ(d.announced_version, c.announce);
    }
}

// "Letzte Aufnahme erneut senden" stands right above the recent dictations while a failed
// recording is kept, greyed while a dictation runs, and is absent otherwise.
TEST(Menu, ResendItemOnlyWhileARecordingIsKept) {
    MenuState state;
    state.settings = default_settings();
    const auto texts = [](const std::vector<MenuItem>& menu) {
        std::vector<std::string> out;
        for (const auto& m : menu) out.push_back(m.text);
        return out;
    };
    const auto plain = build_menu(state);
    state.resend = true;
    const auto with = build_menu(state);
    ASSERT_EQ(with.size(), plain.size() + 1);
    EXPECT_EQ(with[2].text, "Letzte Aufnahme erneut senden");
    EXPECT_EQ(with[2].id, static_cast<unsigned>(kCmdResend));
    EXPECT_FALSE(with[2].grayed);
    EXPECT_EQ(with[3].text, "Letzte Diktate\tnoch keine");
    auto rest = texts(with);
    rest.erase(rest.begin() + 2);
    EXPECT_EQ(rest, texts(plain)) << "everything else as it was";
    for (std::uint8_t phase : {1, 2}) {
        state.phase = phase;
        EXPECT_TRUE(build_menu(state)[2].grayed) << "phase " << int(phase);
    }
}

TEST(HelloApply, SettingsFromTheOutcome) {
    Settings s = default_settings();
    s.token = "alt";
    s.firm = "Alt GmbH";
    s.audio = "wav";
    s.region = "eu";
    std::optional<std::string> offered = "0.5.30";

    HelloOutcome o;
    o.region = "ch";
    o.audio = "opus";
    o.token = "neu";
    apply_hello(o, s, offered);
    EXPECT_EQ(s.token, "neu");
    EXPECT_EQ(s.firm, "Alt GmbH") << "an empty firm keeps the stored one";
    EXPECT_EQ(s.audio, "opus");
    EXPECT_EQ(s.region, "ch");
    EXPECT_EQ(offered, std::nullopt);

    HelloOutcome unreachable;
    unreachable.unreachable = true;
    offered = "0.6";
    apply_hello(unreachable, s, offered);
    EXPECT_EQ(s.region, "ch") << "a hello that failed changes nothing";
    EXPECT_EQ(offered, "0.6");

    HelloOutcome logged_out;
    logged_out.logged_out = true;
    logged_out.region = "xx";
    apply_hello(logged_out, s, offered);
    EXPECT_EQ(s.token, "");
    EXPECT_EQ(s.region, "ch");
}

}  // namespace
}  // namespace tolvek
