#include "core/tray.h"

#include "util/win_text.h"

namespace tolvek {

// Stand-ins until the tray icon, balloons and tones are built: the program runs without an
// icon and stays silent.
void update_tray(bool) {}
void remove_tray_icon() {}
void show_balloon(const std::string&, const std::string&, bool) {}
void build_tones() {}
void play_sound(int) {}

int message_box(const std::string& text, UINT style) {
    return MessageBoxW(nullptr, wide(text).c_str(), L"Tolvek",
                       style | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace tolvek
