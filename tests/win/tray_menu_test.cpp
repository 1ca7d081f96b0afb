// The tray menu as Windows holds it, read back item by item.
#include <gtest/gtest.h>

#include "shell/tray.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

// One line per item: indentation for submenus, the text, [id], and its states.
void read_menu(HMENU menu, int depth, std::vector<std::string>& lines) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] {};
        MENUITEMINFOW info {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = 255;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        std::string line(static_cast<std::size_t>(depth) * 2, ' ');
        if (info.fType & MFT_SEPARATOR) {
            lines.push_back(line + "---");
            continue;
        }
        line += narrow(text);
        if (!info.hSubMenu) line += " [" + std::to_string(info.wID) + "]";
        if (info.fState & MFS_CHECKED) line += " checked";
        if (info.fState & MFS_GRAYED) line += " grayed";
        if (info.fState & MFS_DEFAULT) line += " default";
        lines.push_back(line);
        if (info.hSubMenu) read_menu(info.hSubMenu, depth + 1, lines);
    }
}

std::vector<std::string> menu_lines(const MenuState& state) {
    HMENU menu = create_menu(build_menu(state));
    std::vector<std::string> lines;
    read_menu(menu, 0, lines);
    DestroyMenu(menu);
    return lines;
}

TEST(TrayMenu, NotEnrolledDefaults) {
    MenuState state;
    state.settings = default_settings();
    const std::vector<std::string> expected = {
        "Tolvek\t0.5.24 [0] default",
        "---",
        "Letzte Diktate\tnoch keine [0] grayed",
        "---",
        "Taste ändern …\tStrg + Umschalt [10]",
        "Modus\tHalten",
        "  Gedrückt halten und sprechen [11] checked",
        "  Antippen zum Starten und Stoppen [12]",
        "Wörterbuch … [14]",
        "Einstellungen",
        "  Töne beim Start und Ende [13] checked",
        "  Mit Windows starten [30]",
        "  Automatisch aktualisieren [51] checked",
        "  ---",
        "  Firmen-Code eingeben … [40]",
        "  Nach Updates suchen [50]",
        "  Technik-Info … [52]",
        "  Fuchs immer in der Taskleiste zeigen … [71]",
        "  ---",
        "  Tolvek entfernen … [60]",
        "---",
        "Beenden [99]",
    };
    EXPECT_EQ(menu_lines(state), expected);
}

TEST(TrayMenu, EnrolledWithEverything) {
    MenuState state;
    state.settings = default_settings();
    Settings& s = state.settings;
    s.token = "t";
    s.firm = "Meyer & Söhne";
    s.audio = "opus";
    s.compress = false;
    s.hold = false;
    s.sounds = false;
    s.auto_update = false;
    s.overlay = OverlayPosition {10, 20};
    s.vk = 119;
    s.mods = 2;
    state.autostart = true;
    state.offered_version = "0.6.0";
    const std::string long_text = std::string(69, 'a') + "&b";  // 71 characters
    state.recent = {{"09:15", long_text}, {"09:10", "Tom & Jerry"}};
    const std::vector<std::string> expected = {
        "Tolvek\t0.5.24 · Meyer && Söhne [0] default",
        "---",
        "Letzte Diktate",
        "  " + std::string(69, 'a') + "&&…\t09:15 [200]",
        "  Tom && Jerry\t09:10 [201]",
        "  ---",
        "  Alle anzeigen … [199]",
        "Version 0.6.0 installieren [50]",
        "---",
        "Taste ändern …\tStrg + F8 [10]",
        "Modus\tAntippen",
        "  Gedrückt halten und sprechen [11]",
        "  Antippen zum Starten und Stoppen [12] checked",
        "Wörterbuch … [14]",
        "Einstellungen",
        "  Töne beim Start und Ende [13]",
        "  Mit Windows starten [30] checked",
        "  Automatisch aktualisieren [51]",
        "  Komprimiert senden [72]",
        "  ---",
        "  Firmen-Code ändern … [40]",
        "  Nach Updates suchen [50]",
        "  Technik-Info … [52]",
        "  Anzeige zurück in die Mitte [70]",
        "  Fuchs immer in der Taskleiste zeigen … [71]",
        "  ---",
        "  Tolvek entfernen … [60]",
        "---",
        "Beenden [99]",
    };
    EXPECT_EQ(menu_lines(state), expected);
}

TEST(TrayMenu, OfferOnlyForNewerVersions) {
    MenuState state;
    state.settings = default_settings();
    for (const char* version : {"0.5.24", "0.5.3"}) {
        state.offered_version = version;
        const auto lines = menu_lines(state);
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.find("installieren") != l.npos; }),
                  0)
            << version;
    }
}

}  // namespace
}  // namespace tolvek
