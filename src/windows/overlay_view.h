// What the overlay strip shows, computed without a window: the company name and its fitting,
// the fox badge pixels, the level and countdown of the recording tick, the placement and the
// processing view. Lengths are pixels at 96 dpi unless the caller passes scaled ones.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/dictation_values.h"
#include "util/icon_pixels.h"

namespace tolvek {

inline constexpr Rgb kOverlayBackground {27, 35, 51};
inline constexpr Rgb kOverlayBorder {69, 80, 102};
inline constexpr Rgb kOverlayText {237, 237, 240};
inline constexpr Rgb kOverlayAccent {242, 107, 29};
inline constexpr Rgb kOverlaySecondary {201, 208, 218};
inline constexpr Rgb kOverlayFold {201, 78, 14};
inline constexpr Rgb kOverlayMuzzle {255, 255, 255};

inline constexpr int kOverlayWidth = 270;
inline constexpr int kOverlayHeight = 40;

// The company name without its legal form ("Müller Bau GmbH & Co. KG" → "Müller Bau"); the
// untrimmed name when nothing would be left.
std::string overlay_company_name(std::string_view firm);

// Shortens the name with "…" until `width` of it fits into `available` pixels. Nothing when the
// result would be "…" alone or shorter than four characters.
std::string fit_company_name(std::string name, int available,
                             const std::function<int(const std::string&)>& width);

// The fox badge: size × size pixels, top-down, alpha 255, each the average of 4 × 4 samples.
std::vector<Bgra> fox_badge_pixels(int size, bool ears_up);

// One step of the smoothed input level from the peak of the last 50 ms (0..32768).
struct LevelStep {
    std::uint32_t level;
    bool visible;  // differs by 9 or more from the old level
};
LevelStep next_level(std::uint32_t old_level, std::uint32_t peak);

// One step of the countdown before the recording limit. `elapsed` is whole seconds since the
// recording started (nothing when there is no start). `tone` is 3 or 4 when a warning sounds.
struct CountdownStep {
    std::uint32_t countdown;  // 0 = none shown
    std::uint8_t stage;
    std::optional<int> tone;
};
CountdownStep next_countdown(std::optional<std::uint64_t> elapsed, std::uint8_t stage,
                             std::uint32_t limit = kRecordingLimitSeconds);

// Speech was heard less than 0.45 s ago.
bool voice_active(std::optional<double> seconds_since_voice);

// The recording-mode text.
std::string recording_text(std::uint32_t countdown);

// The level bar on a strip `width` wide whose full bar is `width - margin`: left and right
// edge in pixels, or nothing below two pixels.
struct Span {
    int left;
    int right;
    bool operator==(const Span&) const = default;
};
std::optional<Span> level_bar(std::uint32_t level, int width, int margin = 28);

struct Rect {
    int left, top, right, bottom;
};
struct Point {
    int x, y;
    bool operator==(const Point&) const = default;
};

// Moves the top-left corner so that a width × height window lies inside the work area (as far
// as it fits; the left and top edges win).
Point clamp_into(Point p, int width, int height, const Rect& work);

// What the system knows of the monitor at a point: none (nothing there), or one whose work area
// could not be read, or its work area.
struct MonitorAt {
    bool exists = false;
    std::optional<Rect> work;
};

// Where show_overlay puts the strip: the saved position clamped into its monitor's work area,
// or centred above the bottom of the primary work area by `bottom_margin`.
Point place_overlay(const Rect& primary_work, std::optional<Point> saved, int width, int height,
                    int bottom_margin, const std::function<MonitorAt(Point)>& monitor_at);

// Upload fraction shown as "Wird gesendet … P %", or nothing (then the strip waits).
std::optional<double> upload_fraction(std::uint32_t recording_seconds,
                                      std::optional<double> seconds_since_upload_start,
                                      std::uint64_t upload_rate, std::uint64_t written,
                                      std::uint64_t total);
std::string upload_text(double fraction);
// 1 to 3 dots after "Einen Moment".
int waiting_dots(double seconds_since_processing_start);
double expected_processing_seconds(std::uint32_t recording_seconds);
// Length of the progress bar for a fraction; the full bar is `width - margin`.
int progress_bar_length(double fraction, int width, int margin = 28);
// Colour of the progress bar: full accent below 1, pulsing from 1 on.
Rgb progress_bar_colour(double fraction, double seconds_since_processing_start);

}  // namespace tolvek
