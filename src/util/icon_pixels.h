// Pixels of the icons the program draws itself: the round fallback tray icons and the six
// frames of the busy animation. 32 x 32, top-down rows, premultiplied alpha.
#pragma once

#include <array>
#include <cstdint>

namespace tolvek {

inline constexpr int kIconSide = 32;

struct Rgb {
    std::uint8_t r, g, b;
};

// One pixel as B, G, R, A bytes (the layout of a 32-bit DIB).
struct Bgra {
    std::uint8_t b, g, r, a;
    bool operator==(const Bgra&) const = default;
};

using IconPixels = std::array<Bgra, kIconSide * kIconSide>;

// A disc in the icon colour with a white dot of the given radius in its centre.
IconPixels draw_dot_icon(Rgb colour, double inner_radius);
// Frame k (0..5) of the processing animation: a dark rounded square with three dots, one lifted.
IconPixels draw_busy_icon(int frame);

inline constexpr Rgb kIdleFallbackColour {242, 107, 29};
inline constexpr double kIdleFallbackDot = 4;
inline constexpr Rgb kRecordingFallbackColour {229, 72, 77};
inline constexpr double kRecordingFallbackDot = 7;

}  // namespace tolvek
