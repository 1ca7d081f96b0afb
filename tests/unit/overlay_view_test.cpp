#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "windows/overlay_view.h"
#include "util/text.h"

namespace tolvek {
namespace {

TEST(OverlayCompanyName, LegalFormsAreDropped) {
    const struct {
        const char* firm;
        const char* shown;
    } cases[] = {
        {"Müller Bau GmbH & Co. KG", "Müller Bau"},
        {"Beispiel, GmbH", "Beispiel"},
        {"Bäckerei Korn mbH", "Bäckerei Korn"},
        {"Acme Inc.", "Acme"},
        {"Nordlicht AG", "Nordlicht"},
        {"  Nordlicht ag \t", "Nordlicht"},
        {"Holz UG (haftungsbeschränkt)", "Holz"},
        {"Verein e. V.", "Verein"},
        {"Xyz AG", "Xyz"},
        {"GmbH", "GmbH"},          // a form only counts after a space
        {"MusterGmbH", "MusterGmbH"},
        {"Müller Bau GmbH & Co. KG GmbH", "Müller Bau GmbH & Co. KG"},  // one form only
        {"  , GmbH", "  , GmbH"},  // nothing left: the stored value as it is
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(overlay_company_name(c.firm), c.shown) << c.firm;
}

TEST(OverlayCompanyName, FittingShortensWithEllipsis) {
    // Every character is 10 pixels wide.
    const auto width = [](const std::string& s) { return static_cast<int>(utf8_to_utf32(s).size()) * 10; };
    EXPECT_EQ(fit_company_name("Nordlicht", 90, width), "Nordlicht");
    EXPECT_EQ(fit_company_name("Nordlicht", 89, width), "Nordlic…");
    EXPECT_EQ(fit_company_name("Nordlicht", 50, width), "Nord…");
    EXPECT_EQ(fit_company_name("Nord licht", 60, width), "Nord…") << "white space before … goes";
    EXPECT_EQ(fit_company_name("Nordlicht", 39, width), "") << "fewer than four characters";
    EXPECT_EQ(fit_company_name("Nordlicht", 5, width), "") << "… alone is not drawn";
    EXPECT_EQ(fit_company_name("Xyz", 500, width), "");
    EXPECT_EQ(fit_company_name("Ätna", 500, width), "Ätna") << "characters, not bytes";
    EXPECT_EQ(fit_company_name("", 500, width), "");
}

TEST(FoxBadge, SamplePixels) {
    const auto at = [](const std::vector<Bgra>& p, int col, int row) { return p[row * 24 + col]; };
    const Bgra background {51, 35, 27, 255}, accent {29, 107, 242, 255}, fold {14, 78, 201, 255},
        white {255, 255, 255, 255};
    const auto up = fox_badge_pixels(24, true);
    const auto folded = fox_badge_pixels(24, false);
    ASSERT_EQ(up.size(), 576u);
    EXPECT_EQ(at(up, 0, 0), background);
    EXPECT_EQ(at(up, 12, 10), accent) << "forehead";
    EXPECT_EQ(at(up, 8, 11), background) << "left eye";
    EXPECT_EQ(at(up, 12, 18), white) << "muzzle";
    // Lower muzzle pixel: its bottom row of samples lies within 1.3 of the nose's top edge.
    EXPECT_EQ(at(up, 12, 19), (Bgra {204, 200, 198, 255}));
    EXPECT_EQ(at(up, 5, 3), accent) << "tip of the raised left ear";
    EXPECT_EQ(at(folded, 5, 3), background) << "the folded ear is lower";
    EXPECT_EQ(at(up, 5, 5), accent);
    EXPECT_EQ(at(folded, 5, 5), fold);
    EXPECT_EQ(at(folded, 19, 3), at(up, 19, 3)) << "the right ear is the same in both";
    // Larger sizes sample the same design.
    const auto big = fox_badge_pixels(48, true);
    EXPECT_EQ(big[21 * 48 + 25], accent);
}

TEST(OverlayLevel, RisesAtOnceAndFallsSmoothly) {
    EXPECT_EQ(next_level(0, 0).level, 0u) << "silence is below -42 dBFS";
    EXPECT_EQ(next_level(0, 32767).level, 1000u) << "-0 dBFS is full";
    EXPECT_EQ(next_level(0, 16384).level, 999u) << "half scale is just under -6 dBFS";
    EXPECT_EQ(next_level(0, 16500).level, 1000u) << "-6 dBFS and louder is full";
    // -24 dBFS: x = 0.5, target = 0.5^1.3 × 1000 = 406.1
    const std::uint32_t p24 = static_cast<std::uint32_t>(32767 * std::pow(10.0, -24.0 / 20));
    const LevelStep rise = next_level(100, p24);
    EXPECT_NEAR(rise.level, 406, 1);
    EXPECT_TRUE(rise.visible);
    // Falling: 0.45 × 0 + 0.55 × 1000.
    EXPECT_EQ(next_level(1000, 0).level, 550u);
    EXPECT_EQ(next_level(10, 0).level, 5u);
    EXPECT_FALSE(next_level(10, 0).visible) << "a difference below 9 is not repainted";
    EXPECT_FALSE(next_level(16, 0).visible);  // 16 → 8
    EXPECT_TRUE(next_level(20, 0).visible);   // 20 → 11
}

TEST(OverlayCountdown, StartsThirtySecondsBeforeAndNeverShowsZero) {
    struct Case {
        std::optional<std::uint64_t> elapsed;
        std::uint8_t stage;
        std::uint32_t countdown;
        std::uint8_t new_stage;
        std::optional<int> tone;
    } cases[] = {
        {std::nullopt, 0, 0, 0, std::nullopt},
        {0, 0, 0, 0, std::nullopt},
        {567, 0, 0, 0, std::nullopt},  // 31 s left
        {568, 0, 30, 1, 3},            // first warning
        {569, 1, 29, 1, std::nullopt},
        {587, 1, 11, 1, std::nullopt},
        {588, 1, 10, 2, 4},            // second warning
        {590, 2, 8, 2, std::nullopt},
        {598, 2, 1, 2, std::nullopt},  // never 0
        {4000, 2, 1, 2, std::nullopt},
        {595, 0, 3, 1, 3},             // one warning per tick: the second follows on the next
        {595, 1, 3, 2, 4},
    };
    for (const Case& c : cases) {
        const CountdownStep s = next_countdown(c.elapsed, c.stage);
        EXPECT_EQ(s.countdown, c.countdown) << c.elapsed.value_or(9999);
        EXPECT_EQ(s.stage, c.new_stage) << c.elapsed.value_or(9999);
        EXPECT_EQ(s.tone, c.tone) << c.elapsed.value_or(9999);
    }
    EXPECT_EQ(next_countdown(2, 0, 12).tone, 3) << "a shorter limit counts from its own end";
    EXPECT_EQ(recording_text(0), "Aufnahme läuft …");
    EXPECT_EQ(recording_text(12), "Aufnahme läuft … noch 12 s");
}

TEST(OverlayRecording, VoiceAndLevelBar) {
    EXPECT_FALSE(voice_active(std::nullopt));
    EXPECT_TRUE(voice_active(0.44));
    EXPECT_FALSE(voice_active(0.45));
    EXPECT_EQ(level_bar(0, 270), std::nullopt);
    EXPECT_EQ(level_bar(8, 270), std::nullopt);  // 1.936 px
    EXPECT_EQ(level_bar(9, 270), (Span {134, 136}));  // 2.178 px → 2
    EXPECT_EQ(level_bar(1000, 270), (Span {14, 256}));
    EXPECT_EQ(level_bar(500, 270), (Span {74, 195}));  // 121 px
}

std::function<MonitorAt(Point)> monitors(std::vector<std::pair<Rect, std::optional<Rect>>> list) {
    return [list](Point p) {
        for (const auto& [bounds, work] : list) {
            if (p.x >= bounds.left && p.x < bounds.right && p.y >= bounds.top && p.y < bounds.bottom) {
                return MonitorAt {true, work};
            }
        }
        return MonitorAt {};
    };
}

TEST(OverlayPlacement, DefaultSavedAndClamped) {
    const Rect screen {0, 0, 1920, 1080}, work {0, 0, 1920, 1040};
    const Rect right_screen {1920, 0, 3200, 1024}, right_work {1920, 0, 3200, 984};
    const auto one = monitors({{screen, work}});
    const auto two = monitors({{screen, work}, {right_screen, right_work}});
    EXPECT_EQ(place_overlay(work, std::nullopt, 270, 40, 28, one), (Point {825, 972}));
    EXPECT_EQ(place_overlay(work, Point {100, 200}, 270, 40, 28, one), (Point {100, 200}));
    // Partly below the work area (the taskbar): pulled up.
    EXPECT_EQ(place_overlay(work, Point {100, 1030}, 270, 40, 28, one), (Point {100, 1000}));
    // Centre on the second monitor: clamped into its work area, not the primary one.
    EXPECT_EQ(place_overlay(work, Point {3000, 970}, 270, 40, 28, two), (Point {2930, 944}));
    // The second monitor was removed: default place.
    EXPECT_EQ(place_overlay(work, Point {3000, 970}, 270, 40, 28, one), (Point {825, 972}));
    // Monitor without readable work area: the saved position as it is.
    EXPECT_EQ(place_overlay(work, Point {1900, 10}, 270, 40, 28, monitors({{{1800, 0, 2400, 600}, std::nullopt}})),
              (Point {1900, 10}));
    // The clamp rule: left and top win when the window is larger than the work area.
    EXPECT_EQ(clamp_into({-50, -50}, 270, 40, work), (Point {0, 0}));
    EXPECT_EQ(clamp_into({5000, 5000}, 270, 40, work), (Point {1650, 1000}));
    EXPECT_EQ(clamp_into({30, 30}, 270, 40, Rect {10, 20, 100, 40}), (Point {10, 20}));
}

TEST(OverlayProcessing, UploadOnlyForLongRecordingsAndNeverAtFull) {
    // 10 s recordings never show the upload.
    EXPECT_EQ(upload_fraction(10, 1.0, 400000, 500000, 1000000), std::nullopt);
    // 20 s: the smaller of time × rate and the bytes handed over.
    EXPECT_DOUBLE_EQ(*upload_fraction(20, 1.0, 400000, 500000, 1000000), 0.4);
    EXPECT_DOUBLE_EQ(*upload_fraction(20, 2.0, 400000, 500000, 1000000), 0.5);
    EXPECT_EQ(upload_fraction(20, std::nullopt, 400000, 500000, 1000000), std::nullopt);
    EXPECT_EQ(upload_fraction(20, 1.0, 400000, 500000, 0), std::nullopt);
    EXPECT_EQ(upload_fraction(20, 9.0, 400000, 1000000, 1000000), std::nullopt) << "100 % is not shown";
    EXPECT_EQ(upload_text(0.4), "Wird gesendet … 40 %");
    EXPECT_EQ(upload_text(0.999), "Wird gesendet … 99 %");
}

TEST(OverlayProcessing, WaitingDotsExpectedTimeAndBar) {
    EXPECT_EQ(waiting_dots(0), 1);
    EXPECT_EQ(waiting_dots(0.27), 2);
    EXPECT_EQ(waiting_dots(0.53), 3);
    EXPECT_EQ(waiting_dots(0.79), 1);
    EXPECT_DOUBLE_EQ(expected_processing_seconds(10), 1.4);
    EXPECT_DOUBLE_EQ(expected_processing_seconds(20), 1.7);
    EXPECT_DOUBLE_EQ(expected_processing_seconds(0), 0.8);
    EXPECT_EQ(progress_bar_length(0, 270), 0);
    EXPECT_EQ(progress_bar_length(0.5, 270), 121);
    EXPECT_EQ(progress_bar_length(3.0, 270), 242) << "stays full";
    // Full strength below 1; pulsing between 0.55 and 1 from then on.
    const Rgb full {242, 107, 29};
    const auto same = [](Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
    EXPECT_TRUE(same(progress_bar_colour(0.99, 0.3), full));
    const Rgb low = progress_bar_colour(1.0, 3 * std::numbers::pi / 10);  // sin(5t) = -1 → S = 0.55
    EXPECT_EQ(low.r, 145);
    EXPECT_EQ(low.g, 74);
    EXPECT_EQ(low.b, 38);
    EXPECT_GE(progress_bar_colour(1.5, std::numbers::pi / 10).r, 241);  // sin(5t) = 1: full strength again
}

}  // namespace
}  // namespace tolvek
