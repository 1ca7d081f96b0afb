// Icons from pixels the program draws itself. Windows build only.
#pragma once

#include <windows.h>

#include "util/icon_pixels.h"

namespace tolvek {

// A 32 x 32 icon with alpha, or the standard application icon when it cannot be made.
HICON make_icon(const IconPixels& pixels);

}  // namespace tolvek
