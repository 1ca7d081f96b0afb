// The tray icon, balloons, message boxes and tones (declared for every layer in base/notices.h)
// and what only the shell needs of them. Windows build only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/notices.h"
#include "shell/tray_menu.h"

namespace tolvek {

void remove_tray_icon();
void build_tones();
// What play_sound hands a tone to (PlaySoundW by default); tests listen here.
using TonePlayer = void (*)(int index, const std::uint8_t* wav);
void set_tone_player(TonePlayer player);

// A popup menu from the model; the caller destroys it.
HMENU create_menu(const std::vector<MenuItem>& items);

}  // namespace tolvek
