// What the tray shows: the tooltip per phase, the menu for a given state, and the decisions
// taken when a hello or a download reports back. No system calls here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settings.h"
#include "base/app_state.h"
#include "net/hello.h"

namespace tolvek {

// Menu command identifiers.
enum MenuCommand : unsigned {
    kCmdNone = 0,
    kCmdChangeKey = 10,
    kCmdHold = 11,
    kCmdTap = 12,
    kCmdSounds = 13,
    kCmdDictionary = 14,
    kCmdAutostart = 30,
    kCmdCompanyCode = 40,
    kCmdUpdate = 50,
    kCmdAutoUpdate = 51,
    kCmdTechInfo = 52,
    kCmdUninstall = 60,
    kCmdResetOverlay = 70,
    kCmdTrayPromotion = 71,
    kCmdCompress = 72,
    kCmdQuit = 99,
    kCmdResend = 198,
    kCmdAllRecent = 199,
    kCmdRecentFirst = 200,  // 200 to 209, newest first
};

struct MenuItem {
    enum class Kind { Item, Separator, Submenu };
    Kind kind = Kind::Item;
    std::string text;
    unsigned id = 0;
    bool checked = false;
    bool grayed = false;
    bool is_default = false;
    std::vector<MenuItem> children;
};

struct MenuState {
    Settings settings;
    std::optional<std::string> offered_version;
    std::vector<RecentDictation> recent;
    bool autostart = false;
    bool resend = false;     // a failed dictation's recording is kept
    std::uint8_t phase = 0;  // a running dictation greys the re-send
};

std::vector<MenuItem> build_menu(const MenuState& state);

// "Tolvek · Firma · Strg + Umschalt halten und sprechen" and the two busy texts.
std::string tray_tooltip(std::uint8_t phase, const Settings& settings);

// Every "&" doubled, so a menu shows it instead of underlining the next letter.
std::string escape_ampersands(std::string_view text);
// The first `units` UTF-16 units of the text (a split surrogate pair is dropped whole).
std::u16string cut_utf16(std::string_view text, std::size_t units);
// A recent dictation as shown in menus: its first 70 characters, then "…" when it was longer.
std::string shorten_dictation(std::string_view text);

struct Balloon {
    std::string title;
    std::string text;
    bool warning = false;
    bool operator==(const Balloon&) const = default;
};

// What the main window does with a hello outcome once the settings are updated.
struct HelloDecision {
    std::optional<Balloon> balloon;
    bool download = false;                         // start the download of the offered version
    std::optional<std::string> announced_version;  // new value for announced_version
};

// Applies the outcome to the settings and the offered version (step 1 of handling a hello).
void apply_hello(const HelloOutcome& outcome, Settings& settings,
                 std::optional<std::string>& offered_version);
HelloDecision decide_hello(const HelloOutcome& outcome, bool auto_update,
                           const std::optional<std::string>& announced_version);

}  // namespace tolvek
