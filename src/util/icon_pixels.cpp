#include "util/icon_pixels.h"

#include <algorithm>
#include <cmath>

namespace tolvek {
namespace {

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// Mixes the colour towards white by coverage and premultiplies it with alpha (0..1).
Bgra shade(Rgb colour, double white, double alpha) {
    const auto channel = [&](std::uint8_t c) {
        const double mixed = (1 - white) * c + white * 255;
        return static_cast<std::uint8_t>(mixed * (alpha * 255) / 255);
    };
    return {channel(colour.b), channel(colour.g), channel(colour.r),
            static_cast<std::uint8_t>(alpha * 255)};
}

}  // namespace

IconPixels draw_dot_icon(Rgb colour, double inner_radius) {
    IconPixels pixels {};
    for (int y = 0; y < kIconSide; ++y) {
        for (int x = 0; x < kIconSide; ++x) {
            const double d = std::hypot(x - 15.5, y - 15.5);
            const double a = clamp01(15 - d);
            const double c = clamp01(inner_radius + 0.5 - d);
            pixels[y * kIconSide + x] = shade(colour, c, a);
        }
    }
    return pixels;
}

IconPixels draw_busy_icon(int frame) {
    constexpr Rgb kBase {27, 35, 51};
    constexpr double kDotX[3] = {8.5, 15.5, 22.5};
    IconPixels pixels {};
    for (int y = 0; y < kIconSide; ++y) {
        for (int x = 0; x < kIconSide; ++x) {
            const double px = std::abs(x - 15.5) - 8;
            const double py = std::abs(y - 15.5) - 8;
            const double s = std::hypot(std::max(px, 0.0), std::max(py, 0.0)) +
                             std::min(std::max(px, py), 0.0) - 7.5;
            const double alpha = clamp01(0.5 - s);
            double coverage = 0;
            for (int i = 0; i < 3; ++i) {
                double dot_y = 17.5;
                if (i == frame / 2) dot_y = frame % 2 == 0 ? 13.5 : 15.5;
                coverage = std::max(coverage, clamp01(2.6 - std::hypot(x - kDotX[i], y - dot_y)));
            }
            pixels[y * kIconSide + x] = shade(kBase, coverage, alpha);
        }
    }
    return pixels;
}

}  // namespace tolvek
