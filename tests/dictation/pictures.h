// Windows as pictures: what a window shows, read back and compared with the reference pictures
// kept in tests/dictation/pictures (as PNG; the build turns them into PPM).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "util/platform.h"

namespace tolvek::test {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

// What the window's surface holds, read back through its device context.
inline Picture screenshot(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    Picture p {r.right, r.bottom, {}};
    BITMAPINFO info {};
    info.bmiHeader = {sizeof info.bmiHeader, p.width, -p.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC screen = GetDC(window);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, p.width, p.height, screen, 0, 0, SRCCOPY);
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (int i = 0; i < p.width * p.height; ++i) {
        p.rgb.insert(p.rgb.end(), {bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]});
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(window, screen);
    return p;
}

// Binary PPM (P6, maxval 255) as ImageMagick writes it.
inline std::optional<Picture> read_ppm(const std::string& path) {
    const auto bytes = read_file(path);
    if (!bytes) return std::nullopt;
    const std::string text(bytes->begin(), bytes->end());
    Picture p;
    int maxval = 0, consumed = 0;
    if (std::sscanf(text.c_str(), "P6 %d %d %d%n", &p.width, &p.height, &maxval, &consumed) != 3 || maxval != 255) {
        return std::nullopt;
    }
    p.rgb.assign(bytes->begin() + consumed + 1, bytes->end());
    if (p.rgb.size() != static_cast<std::size_t>(p.width) * p.height * 3) return std::nullopt;
    return p;
}

inline void write_ppm(const std::string& path, const Picture& p) {
    const std::string header = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    write_file_flushed(path, header + std::string(p.rgb.begin(), p.rgb.end()));
}

// Pixels whose colour differs by more than a little in some channel.
inline int differing_pixels(const Picture& a, const Picture& b) {
    int count = 0;
    for (std::size_t i = 0; i + 2 < a.rgb.size(); i += 3) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(a.rgb[i + c] - b.rgb[i + c]) > 40) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// Paints the window now and compares it with the reference picture of that name. The picture
// taken is left in the build folder (pictures-actual) to look at or to become the reference.
// Above 96 dpi the reference is named with the dpi ("pills-empty-144").
inline void expect_looks_like(HWND window, std::string name) {
    if (const UINT dpi = GetDpiForSystem(); dpi != 96) name += "-" + std::to_string(dpi);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const Picture actual = screenshot(window);
    const std::string actual_dir = path_join(TOLVEK_BUILD_DIR, "pictures-actual");
    create_directories(actual_dir);
    write_ppm(path_join(actual_dir, name + ".ppm"), actual);
    const auto reference = read_ppm(path_join(TOLVEK_PICTURE_REFERENCES, name + ".ppm"));
    ASSERT_TRUE(reference.has_value()) << name << ": no reference picture; see " << actual_dir;
    ASSERT_EQ(actual.width, reference->width) << name;
    ASSERT_EQ(actual.height, reference->height) << name;
    EXPECT_LE(differing_pixels(actual, *reference), 12) << name << ": see " << actual_dir;
}

}  // namespace tolvek::test
