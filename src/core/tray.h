// The tray icon, balloons, message boxes and tones: the only ways the program changes its icon,
// shows a balloon or a message box, or plays a tone. Windows build only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/tray_menu.h"

namespace tolvek {

// Adds (NIM_ADD) or refreshes (NIM_MODIFY) the icon from the current phase.
void update_tray(bool add);
void remove_tray_icon();
// Title cut to 63, text to 255 UTF-16 units; info or warning icon.
void show_balloon(const std::string& title, const std::string& text, bool warning);
// MessageBoxW without owner, caption "Tolvek", always set to the foreground and top-most.
int message_box(const std::string& text, UINT style);
void build_tones();
// Tones 0 to 2 only when "sounds" is on; 3 and 4 always. Played asynchronously from memory.
void play_sound(int index);
// What play_sound hands a tone to (PlaySoundW by default); tests listen here.
using TonePlayer = void (*)(int index, const std::uint8_t* wav);
void set_tone_player(TonePlayer player);

// A popup menu from the model; the caller destroys it.
HMENU create_menu(const std::vector<MenuItem>& items);

}  // namespace tolvek
