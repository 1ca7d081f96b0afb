// The integrity level of a window's process, and of this one: Windows drops synthetic keys
// sent into a process of higher rights (an administrator window) without a word. Kept in a file
// of their own so that a test program can put other answers in place. Windows build only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace tolvek {

// The relative id of the process's mandatory label (0x2000 medium, 0x3000 high …), or nothing
// when the process or its token cannot be read.
std::optional<std::uint32_t> window_integrity_level(HWND window);
std::uint32_t own_integrity_level();

}  // namespace tolvek
