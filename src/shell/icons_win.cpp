#include "shell/icons.h"

#include <cstring>

namespace tolvek {

HICON make_icon(const IconPixels& pixels) {
    BITMAPV5HEADER header {};
    header.bV5Size = sizeof header;
    header.bV5Width = kIconSide;
    header.bV5Height = -kIconSide;  // top-down
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    HBITMAP mask = CreateBitmap(kIconSide, kIconSide, 1, 1, nullptr);
    HICON icon = nullptr;
    if (colour && mask && bits) {
        std::memcpy(bits, pixels.data(), sizeof(Bgra) * pixels.size());
        ICONINFO info {TRUE, 0, 0, mask, colour};
        icon = CreateIconIndirect(&info);
    }
    if (colour) DeleteObject(colour);
    if (mask) DeleteObject(mask);
    return icon ? icon : LoadIconW(nullptr, IDI_APPLICATION);
}

}  // namespace tolvek
