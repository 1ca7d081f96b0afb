#include <gtest/gtest.h>

#include "util/icon_pixels.h"

namespace tolvek {
namespace {

Bgra at(const IconPixels& p, int x, int y) { return p[y * kIconSide + x]; }

// Expected values worked out by hand from the drawing rules (b, g, r, a; premultiplied).
TEST(IconPixels_Dot, EdgeInnerDotAndCorner) {
    const IconPixels idle = draw_dot_icon(kIdleFallbackColour, kIdleFallbackDot);
    EXPECT_EQ(at(idle, 0, 0), (Bgra {0, 0, 0, 0}));
    EXPECT_EQ(at(idle, 15, 15), (Bgra {255, 255, 255, 255}));
    EXPECT_EQ(at(idle, 15, 1), (Bgra {14, 52, 118, 125}));   // half-covered rim
    EXPECT_EQ(at(idle, 19, 15), (Bgra {246, 249, 254, 255})); // edge of the white dot
    EXPECT_EQ(at(idle, 10, 15), (Bgra {29, 107, 242, 255}));  // plain icon colour

    const IconPixels recording = draw_dot_icon(kRecordingFallbackColour, kRecordingFallbackDot);
    EXPECT_EQ(at(recording, 22, 15), (Bgra {251, 251, 254, 255}));
    EXPECT_EQ(at(recording, 4, 15), (Bgra {77, 72, 229, 255}));
}

TEST(IconPixels_Busy, LiftedDotMovesWithTheFrame) {
    const Bgra white {255, 255, 255, 255};
    const Bgra base_near_dot {61, 46, 38, 255};
    EXPECT_EQ(at(draw_busy_icon(0), 15, 15), base_near_dot);
    EXPECT_EQ(at(draw_busy_icon(0), 8, 13), white);
    EXPECT_EQ(at(draw_busy_icon(0), 2, 2), (Bgra {11, 7, 5, 56}));  // rounded corner
    EXPECT_EQ(at(draw_busy_icon(0), 0, 0), (Bgra {0, 0, 0, 0}));
    EXPECT_EQ(at(draw_busy_icon(3), 15, 15), white);  // middle dot half lifted
    EXPECT_EQ(at(draw_busy_icon(3), 15, 13), base_near_dot);
    EXPECT_EQ(at(draw_busy_icon(4), 22, 13), white);  // right dot fully lifted
    EXPECT_EQ(at(draw_busy_icon(5), 22, 15), white);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(at(draw_busy_icon(k), 27, 27).a, 255) << "square fills frame " << k;
    }
}

}  // namespace
}  // namespace tolvek
