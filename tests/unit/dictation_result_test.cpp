#include <gtest/gtest.h>

#include "dictation/dictation.h"
#include "dictation/insertion.h"

namespace tolvek {
namespace {

TEST(StatisticsLine, LayoutWithAndWithoutFacts) {
    const LocalTime t {2026, 12, 10, 9, 5, 7};
    EXPECT_EQ(statistics_line(t, 2.5f, 8123, 1.26f, "Text eingefügt", "", "", ""),
              "09:05:07   Aufnahme 2.5 s · Pegel 8123 · Wartezeit 1.3 s · Text eingefügt");
    EXPECT_EQ(statistics_line(t, 0.44f, 0, 0, "nichts erkannt", "m · WAV 3 KB · Server 0.2 s · Upload 0.0 s",
                              "eu", "Whisper"),
              "09:05:07   Aufnahme 0.4 s · Pegel 0 · Wartezeit 0.0 s · nichts erkannt\r\n"
              "             [eu] m · WAV 3 KB · Server 0.2 s · Upload 0.0 s\r\n"
              "             Whisper");
    EXPECT_EQ(statistics_line(t, 1, 1, 1, "Fehler: x", "s", "", ""),
              "09:05:07   Aufnahme 1.0 s · Pegel 1 · Wartezeit 1.0 s · Fehler: x\r\n             s");
}

TEST(ResultLabel, ThreeOutcomes) {
    DictationResult r;
    EXPECT_EQ(result_label(r), "nichts erkannt");
    r.text = "Hallo";
    EXPECT_EQ(result_label(r), "Text eingefügt");
    r.is_error = true;
    EXPECT_EQ(result_label(r), "Fehler: Hallo");
}

TEST(TechnicalHistory, KeepsTheNewestThirty) {
    TechnicalHistory h;
    for (int i = 1; i <= 31; ++i) h.add(std::to_string(i));
    const auto lines = h.lines();
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(lines.front(), "31");
    EXPECT_EQ(lines.back(), "2");
}

TEST(EngineLog, OnlyWhenTheEngineChanges) {
    EXPECT_EQ(engine_change_line("", "x"), std::nullopt);
    EXPECT_EQ(engine_change_line("A", "m · WAV"), "Spracherkennung: A");
    EXPECT_EQ(engine_change_line("A", "m · WAV"), std::nullopt);
    EXPECT_EQ(engine_change_line("B", "m · Opus, Rückfall"), "Spracherkennung (Rückfall): B");
    EXPECT_EQ(engine_change_line("", ""), std::nullopt);
    EXPECT_EQ(engine_change_line("B", ""), std::nullopt) << "an empty engine forgets nothing";
}

TEST(RecentDictations, TenNewestFirst) {
    std::vector<RecentDictation> recent;
    for (int i = 1; i <= 11; ++i) add_recent(recent, {"09:0" + std::to_string(i % 10), "Text " + std::to_string(i)});
    ASSERT_EQ(recent.size(), 10u);
    EXPECT_EQ(recent.front().text, "Text 11");
    EXPECT_EQ(recent.back().text, "Text 2") << "the 11th pushed the oldest out";
}

}  // namespace
}  // namespace tolvek

namespace tolvek {
namespace {

// Synthetic keys reach a process of the same or lower rights only; one whose rights cannot be
// read counts as higher.
TEST(Insertion_KeysReach, OnlyUpToTheOwnIntegrityLevel) {
    constexpr std::uint32_t low = 0x1000, medium = 0x2000, high = 0x3000, system = 0x4000;
    const struct {
        std::optional<std::uint32_t> target;
        std::uint32_t own;
        bool reach;
    } cases[] = {
        {medium, medium, true}, {low, medium, true},   {high, medium, false}, {system, high, false},
        {high, high, true},     {std::nullopt, medium, false}, {std::nullopt, system, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(keys_reach(c.target, c.own), c.reach) << c.target.value_or(0) << " from " << c.own;
    }
}

}  // namespace
}  // namespace tolvek

namespace tolvek {
namespace {

// Text alone is saved as text, as before; anything more as every copyable format, unless all
// of it together is beyond the cap.
TEST(Insertion_ClipboardSave, TextAloneAllFormatsOrTooLarge) {
    const ClipboardFormat unicode {13, true, 40}, ansi {1, true, 20}, locale {16, true, 4}, oem {7, true, 20};
    const ClipboardFormat dib {8, true, 1000}, bitmap {2, false, 0}, files {15, true, 300};
    const ClipboardFormat html {0xC123, true, 5000}, owner_display {0x80, false, 0}, private_kind {0x200, true, 8};
    const struct {
        const char* name;
        std::vector<ClipboardFormat> formats;
        std::uint64_t cap;
        ClipboardSave kind;
    } cases[] = {
        {"empty", {}, 100, ClipboardSave::TextOnly},
        {"text and what the system makes of it", {unicode, ansi, locale, oem}, 100, ClipboardSave::TextOnly},
        {"a screenshot", {dib, bitmap}, 100000, ClipboardSave::AllFormats},
        {"copied files", {files}, 100000, ClipboardSave::AllFormats},
        {"formatted text", {unicode, html}, 100000, ClipboardSave::AllFormats},
        {"beyond the cap", {unicode, html, dib}, 5999, ClipboardSave::TooLarge},
        {"exactly the cap", {unicode, html, dib}, 6040, ClipboardSave::AllFormats},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clipboard_save_kind(c.formats, c.cap), c.kind) << c.name;
    }
    for (const ClipboardFormat& copied : {unicode, dib, files, html}) EXPECT_TRUE(clipboard_format_copied(copied)) << copied.id;
    for (const ClipboardFormat& left : {ansi, locale, oem, bitmap, owner_display, private_kind}) {
        EXPECT_FALSE(clipboard_format_copied(left)) << left.id;
    }
}

}  // namespace
}  // namespace tolvek
