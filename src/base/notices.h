// What the lower layers ask of the windows above them: the tray icon, balloons, message boxes,
// tones, the overlay strip and the company-code question. Declared here, defined by the shell
// and the windows, so that includes run only downward. Windows build only.
#pragma once

#include <string>

namespace tolvek {

// Adds (NIM_ADD) or refreshes (NIM_MODIFY) the icon from the current phase.
void update_tray(bool add);
// Title cut to 63, text to 255 UTF-16 units; info or warning icon.
void show_balloon(const std::string& title, const std::string& text, bool warning);
// MessageBoxW with caption "Tolvek", always set to the foreground and top-most. A dialog's
// question names the dialog (a window handle) as owner: the dialog cannot be used meanwhile.
int message_box(const std::string& text, unsigned style, void* owner = nullptr);

enum Tone : int {
    kToneStart = 0,     // recording starts; preview when tones are switched on
    kToneDone = 1,      // text inserted
    kToneError = 2,     // error or nothing understood
    kToneWarning1 = 3,  // recording limit near, first warning
    kToneWarning2 = 4,  // recording limit near, second warning
};
// Tones 0 to 2 only when "sounds" is on; 3 and 4 always. Played asynchronously from memory.
void play_sound(int index);

// Shows the strip in processing mode, or in recording mode (which resets the voice and
// countdown values and starts timer 9).
void show_overlay(bool processing);

// True when a token exists afterwards; asks for a company code when needed.
bool ensure_enrolled();

}  // namespace tolvek
