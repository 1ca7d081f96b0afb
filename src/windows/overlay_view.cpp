#include "windows/overlay_view.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "util/text.h"

namespace tolvek {
namespace {

// Legal forms, tried in this order; the first that ends the name after a space is removed.
constexpr std::array<std::u32string_view, 20> kLegalForms = {
    U"gmbh & co. kg", U"gmbh & co kg", U"gmbh&co.kg", U"ug (haftungsbeschränkt)", U"gmbh", U"mbh",
    U"ag", U"se", U"kg", U"ohg", U"gbr", U"ug", U"e. k.", U"e.k.", U"e. v.", U"e.v.", U"ltd.",
    U"ltd", U"inc.", U"inc"};

constexpr char32_t kEllipsis = U'\u2026';

struct Vec {
    double x, y;
};

bool inside_polygon(const Vec* poly, std::size_t n, double x, double y) {
    bool inside = false;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const Vec a = poly[i], b = poly[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

template <std::size_t N>
bool inside(const std::array<Vec, N>& poly, double x, double y) {
    return inside_polygon(poly.data(), N, x, y);
}

double distance_to_segment(Vec a, Vec b, double x, double y) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (a.x + t * dx), y - (a.y + t * dy));
}

bool inside_ellipse(double cx, double cy, double rx, double ry, double x, double y) {
    const double u = (x - cx) / rx, v = (y - cy) / ry;
    return u * u + v * v <= 1;
}

constexpr std::array<Vec, 3> kEarLeftUp {{{16, 52}, {28, 6}, {54, 36}}};
constexpr std::array<Vec, 4> kEarLeftFolded {{{16, 52}, {22, 26}, {42, 20}, {54, 36}}};
constexpr std::array<Vec, 3> kEarRight {{{104, 52}, {92, 6}, {66, 36}}};
constexpr std::array<Vec, 6> kHead {{{12, 50}, {60, 30}, {108, 50}, {98, 80}, {60, 110}, {22, 80}}};
constexpr std::array<Vec, 3> kFold {{{22, 26}, {42, 20}, {14, 42}}};
constexpr std::array<Vec, 6> kMuzzle {{{20, 74}, {41, 74}, {60, 89.2}, {79, 74}, {100, 74}, {60, 106}}};
constexpr std::array<Vec, 3> kNose {{{55, 99.5}, {65, 99.5}, {60, 106}}};

Rgb badge_sample(double x, double y, bool ears_up) {
    Rgb colour = kOverlayBackground;
    const bool left_ear = ears_up ? inside(kEarLeftUp, x, y) : inside(kEarLeftFolded, x, y);
    if (left_ear || inside(kEarRight, x, y) || inside(kHead, x, y)) colour = kOverlayAccent;
    if (!ears_up && inside(kFold, x, y)) colour = kOverlayFold;
    if (inside(kMuzzle, x, y)) colour = kOverlayMuzzle;
    bool dark = inside_ellipse(44, 60, 6, 7, x, y) || inside_ellipse(76, 60, 6, 7, x, y) ||
                inside(kNose, x, y);
    for (std::size_t i = 0; i < kNose.size() && !dark; ++i) {
        dark = distance_to_segment(kNose[i], kNose[(i + 1) % kNose.size()], x, y) <= 1.3;
    }
    return dark ? kOverlayBackground : colour;
}

bool is_space_or_comma(char32_t c) { return c == U',' || is_unicode_space(c); }

}  // namespace

std::string overlay_company_name(std::string_view firm) {
    std::u32string t = utf8_to_utf32(trim_unicode_space(firm));
    // Lower-case each character on its own so that a match can be mapped back to characters.
    std::u32string lower;
    std::vector<std::size_t> start_of;  // offset in `lower` where character k begins
    for (char32_t c : t) {
        start_of.push_back(lower.size());
        lower += to_lower_unicode(utf32_to_utf8(std::u32string(1, c)));
    }
    for (std::u32string_view form : kLegalForms) {
        if (lower.size() < form.size() + 1) continue;
        const std::size_t at = lower.size() - form.size();
        if (lower.compare(at, form.size(), form) != 0 || lower[at - 1] != U' ') continue;
        const auto k = std::find(start_of.begin(), start_of.end(), at);
        if (k == start_of.end()) continue;  // the match does not begin on a character
        t.resize(static_cast<std::size_t>(k - start_of.begin()));
        while (!t.empty() && is_space_or_comma(t.back())) t.pop_back();
        break;
    }
    if (t.empty()) return std::string(firm);
    return utf32_to_utf8(t);
}

std::string fit_company_name(std::string name, int available,
                             const std::function<int(const std::string&)>& width) {
    std::u32string text = utf8_to_utf32(name);
    while (!text.empty() && width(utf32_to_utf8(text)) > available) {
        while (!text.empty() && text.back() == kEllipsis) text.pop_back();
        if (!text.empty()) text.pop_back();
        while (!text.empty() && is_unicode_space(text.back())) text.pop_back();
        text.push_back(kEllipsis);
        if (text.size() == 1) return {};
    }
    if (text.size() < 4) return {};
    return utf32_to_utf8(text);
}

std::vector<Bgra> fox_badge_pixels(int size, bool ears_up) {
    std::vector<Bgra> pixels(static_cast<std::size_t>(size) * size);
    for (int row = 0; row < size; ++row) {
        for (int col = 0; col < size; ++col) {
            int r = 0, g = 0, b = 0;
            for (int j = 0; j < 4; ++j) {
                for (int i = 0; i < 4; ++i) {
                    const double x = ((i + 0.5) * 0.25 + col) * 120 / size;
                    const double y = ((j + 0.5) * 0.25 + row) * 120 / size;
                    const Rgb c = badge_sample(x, y, ears_up);
                    r += c.r;
                    g += c.g;
                    b += c.b;
                }
            }
            pixels[static_cast<std::size_t>(row) * size + col] = {
                static_cast<std::uint8_t>(b / 16), static_cast<std::uint8_t>(g / 16),
                static_cast<std::uint8_t>(r / 16), 255};
        }
    }
    return pixels;
}

LevelStep next_level(std::uint32_t old_level, std::uint32_t peak) {
    const double p = peak == 0 ? 1 : peak;
    const double x = std::clamp((20 * std::log10(p / 32767) + 42) / 36, 0.0, 1.0);
    const double target = std::pow(x, 1.3) * 1000;
    const double level = old_level < target ? target : 0.45 * target + 0.55 * old_level;
    const auto stored = static_cast<std::uint32_t>(level);
    const std::uint32_t difference = stored > old_level ? stored - old_level : old_level - stored;
    return {stored, difference >= 9};
}

CountdownStep next_countdown(std::optional<std::uint64_t> elapsed, std::uint8_t stage,
                             std::uint32_t limit) {
    std::uint32_t remaining = limit;
    if (elapsed) remaining = *elapsed > limit ? 0 : limit - static_cast<std::uint32_t>(*elapsed);
    CountdownStep step {0, stage, std::nullopt};
    if (remaining > 30) return step;
    if (stage == 0) {
        step.stage = 1;
        step.tone = 3;
    } else if (stage == 1 && remaining <= 10) {
        step.stage = 2;
        step.tone = 4;
    }
    step.countdown = std::max<std::uint32_t>(remaining, 1);
    return step;
}

bool voice_active(std::optional<double> seconds_since_voice) {
    return seconds_since_voice && *seconds_since_voice < 0.45;
}

std::string recording_text(std::uint32_t countdown) {
    if (countdown == 0) return "Aufnahme läuft …";
    return "Aufnahme läuft … noch " + std::to_string(countdown) + " s";
}

std::optional<Span> level_bar(std::uint32_t level, int width, int margin) {
    const std::int64_t bar = static_cast<std::int64_t>(level) * (width - margin);
    if (bar <= 1999) return std::nullopt;
    const int pixels = static_cast<int>(bar / 1000);
    return Span {(width - pixels) / 2, (width + pixels) / 2};
}

Point clamp_into(Point p, int width, int height, const Rect& work) {
    const int max_x = std::max(work.right - width, work.left);
    const int max_y = std::max(work.bottom - height, work.top);
    return {std::min(std::max(p.x, work.left), max_x), std::min(std::max(p.y, work.top), max_y)};
}

Point place_overlay(const Rect& primary_work, std::optional<Point> saved, int width, int height,
                    int bottom_margin, const std::function<MonitorAt(Point)>& monitor_at) {
    const Point fallback {primary_work.left + (primary_work.right - primary_work.left - width) / 2,
                          primary_work.bottom - height - bottom_margin};
    if (!saved) return fallback;
    const MonitorAt monitor = monitor_at({saved->x + width / 2, saved->y + height / 2});
    if (!monitor.exists) return fallback;
    if (!monitor.work) return *saved;
    return clamp_into(*saved, width, height, *monitor.work);
}

std::optional<double> upload_fraction(std::uint32_t recording_seconds,
                                      std::optional<double> seconds_since_upload_start,
                                      std::uint64_t upload_rate, std::uint64_t written,
                                      std::uint64_t total) {
    if (recording_seconds < 20 || !seconds_since_upload_start || total == 0) return std::nullopt;
    const double sent =
        std::min(*seconds_since_upload_start * static_cast<double>(upload_rate), static_cast<double>(written));
    const double f = std::min(sent / static_cast<double>(total), 1.0);
    if (f >= 0.99999997) return std::nullopt;
    return f;
}

std::string upload_text(double fraction) {
    return "Wird gesendet … " + std::to_string(static_cast<int>(std::floor(100 * fraction))) + " %";
}

int waiting_dots(double seconds_since_processing_start) {
    return static_cast<int>(std::fmod(std::floor(seconds_since_processing_start / 0.26), 3)) + 1;
}

double expected_processing_seconds(std::uint32_t recording_seconds) {
    return recording_seconds >= 20 ? 1 + 0.035 * recording_seconds : 0.8 + 0.06 * recording_seconds;
}

int progress_bar_length(double fraction, int width, int margin) {
    return static_cast<int>(std::min(fraction, 1.0) * (width - margin));
}

Rgb progress_bar_colour(double fraction, double seconds_since_processing_start) {
    const double s =
        fraction < 1 ? 1 : 0.55 + 0.45 * (0.5 + 0.5 * std::sin(5 * seconds_since_processing_start));
    const auto channel = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); };
    return {channel(27 + 215 * s), channel(35 + 72 * s), channel(51 - 22 * s)};
}

}  // namespace tolvek
