// The tray icon, balloons, message boxes and tones: the only ways the program changes its icon,
// shows a balloon or a message box, or plays a tone. Windows build only.
#pragma once

#include <windows.h>

#include <string>

namespace tolvek {

inline constexpr UINT kTrayMessage = 0x8001;

void update_tray(bool add);
void remove_tray_icon();
void show_balloon(const std::string& title, const std::string& text, bool warning);
// MessageBoxW without owner, caption "Tolvek", always set to the foreground and top-most.
int message_box(const std::string& text, UINT style);
void build_tones();
void play_sound(int index);

}  // namespace tolvek
