// Every pixel length is written for 96 dpi and scaled to the system's dpi at each use.
#pragma once

#include <windows.h>

namespace tolvek {

inline int system_dpi() {
    const UINT dpi = GetDpiForSystem();
    return dpi < 96 ? 96 : static_cast<int>(dpi);
}

inline int scale(int length) { return length * system_dpi() / 96; }

}  // namespace tolvek
