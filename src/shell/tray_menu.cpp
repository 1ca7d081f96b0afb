#include "shell/tray_menu.h"

#include "build_config.h"
#include "net/update.h"
#include "dictation/key_names.h"
#include "util/text.h"

namespace tolvek {
namespace {

MenuItem item(std::string text, unsigned id, bool checked = false) {
    MenuItem m;
    m.text = std::move(text);
    m.id = id;
    m.checked = checked;
    return m;
}

MenuItem separator() {
    MenuItem m;
    m.kind = MenuItem::Kind::Separator;
    return m;
}

MenuItem submenu(std::string text, std::vector<MenuItem> children) {
    MenuItem m;
    m.kind = MenuItem::Kind::Submenu;
    m.text = std::move(text);
    m.children = std::move(children);
    return m;
}

}  // namespace

std::string escape_ampersands(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    return out;
}

std::u16string cut_utf16(std::string_view text, std::size_t units) {
    std::u16string u = utf8_to_utf16(text);
    if (u.size() <= units) return u;
    u.resize(units);
    if (!u.empty() && u.back() >= 0xD800 && u.back() <= 0xDBFF) u.pop_back();
    return u;
}

std::string shorten_dictation(std::string_view text) {
    const std::u32string chars = utf8_to_utf32(text);
    if (chars.size() <= 70) return std::string(text);
    return utf32_to_utf8(std::u32string_view(chars).substr(0, 70)) + "…";
}

std::string tray_tooltip(std::uint8_t phase, const Settings& s) {
    if (phase == 1) return "Tolvek · Aufnahme läuft";
    if (phase == 2) return "Tolvek · Text wird geschrieben";
    std::string tip = "Tolvek";
    if (!s.firm.empty()) tip += " · " + s.firm;
    tip += " · " + key_name(s.vk, s.mods) + " ";
    tip += s.hold ? "halten und sprechen" : "antippen und sprechen";
    return tip;
}

std::vector<MenuItem> build_menu(const MenuState& state) {
    const Settings& s = state.settings;
    std::vector<MenuItem> menu;

    MenuItem title = item(std::string("Tolvek\t") + kVersion, kCmdNone);
    if (!s.firm.empty()) title.text += " · " + escape_ampersands(s.firm);
    title.is_default = true;
    menu.push_back(title);
    menu.push_back(separator());

    if (state.resend) {
        MenuItem resend = item("Letzte Aufnahme erneut senden", kCmdResend);
        resend.grayed = state.phase != 0;
        menu.push_back(resend);
    }
    if (state.recent.empty()) {
        MenuItem none = item("Letzte Diktate\tnoch keine", kCmdNone);
        none.grayed = true;
        menu.push_back(none);
    } else {
        std::vector<MenuItem> entries;
        for (std::size_t i = 0; i < state.recent.size() && i < 10; ++i) {
            entries.push_back(item(escape_ampersands(shorten_dictation(state.recent[i].text)) +
                                       "\t" + state.recent[i].time,
                                   kCmdRecentFirst + static_cast<unsigned>(i)));
        }
        entries.push_back(separator());
        entries.push_back(item("Alle anzeigen …", kCmdAllRecent));
        menu.push_back(submenu("Letzte Diktate", std::move(entries)));
    }
    if (state.offered_version && is_newer(*state.offered_version)) {
        menu.push_back(item("Version " + *state.offered_version + " installieren", kCmdUpdate));
    }
    menu.push_back(separator());
    menu.push_back(item("Taste ändern …\t" + key_name(s.vk, s.mods), kCmdChangeKey));
    menu.push_back(submenu(std::string("Modus\t") + (s.hold ? "Halten" : "Antippen"),
                           {item("Gedrückt halten und sprechen", kCmdHold, s.hold),
                            item("Antippen zum Starten und Stoppen", kCmdTap, !s.hold)}));
    menu.push_back(item("Wörterbuch …", kCmdDictionary));

    std::vector<MenuItem> settings_menu = {
        item("Töne beim Start und Ende", kCmdSounds, s.sounds),
        item("Mit Windows starten", kCmdAutostart, state.autostart),
        item("Automatisch aktualisieren", kCmdAutoUpdate, s.auto_update),
    };
    if (s.audio == "opus") settings_menu.push_back(item("Komprimiert senden", kCmdCompress, s.compress));
    settings_menu.push_back(separator());
    settings_menu.push_back(item(s.token.empty() ? "Firmen-Code eingeben …" : "Firmen-Code ändern …",
                                 kCmdCompanyCode));
    settings_menu.push_back(item("Nach Updates suchen", kCmdUpdate));
    settings_menu.push_back(item("Technik-Info …", kCmdTechInfo));
    if (s.overlay) settings_menu.push_back(item("Anzeige zurück in die Mitte", kCmdResetOverlay));
    settings_menu.push_back(item("Fuchs immer in der Taskleiste zeigen …", kCmdTrayPromotion));
    settings_menu.push_back(separator());
    settings_menu.push_back(item("Tolvek entfernen …", kCmdUninstall));
    menu.push_back(submenu("Einstellungen", std::move(settings_menu)));

    menu.push_back(separator());
    menu.push_back(item("Beenden", kCmdQuit));
    return menu;
}

void apply_hello(const HelloOutcome& o, Settings& s, std::optional<std::string>& offered_version) {
    // A manual hello that never reached the service learned nothing: keep what is stored
    // rather than clearing the region and the offered version.
    if (o.unreachable) return;
    if (o.logged_out) {
        s.token.clear();
        return;
    }
    if (o.token) s.token = *o.token;
    if (!o.firm.empty()) s.firm = o.firm;
    offered_version = o.offered_version;
    s.region = o.region;
    if (!o.audio.empty()) s.audio = o.audio;
}

HelloDecision decide_hello(const HelloOutcome& o, bool auto_update,
                           const std::optional<std::string>& announced_version) {
    HelloDecision d;
    if (o.unreachable) {
        d.balloon = Balloon {"Tolvek", "Keine Verbindung zum Server. Bitte später erneut versuchen.",
                             true};
        return d;
    }
    if (o.logged_out) return d;
    if (!o.offered_version || !is_newer(*o.offered_version)) {
        if (o.manual) {
            d.balloon = Balloon {"Tolvek",
                                 std::string("Tolvek ist aktuell (Version ") + kVersion + ").", false};
        }
        return d;
    }
    const std::string& offered = *o.offered_version;
    if (!o.manual && !auto_update) return d;
    const bool already = announced_version == offered;
    if (already && !o.manual) return d;
    if (!already) d.announced_version = offered;
    if (o.manual) d.balloon = Balloon {"Tolvek", "Version " + offered + " wird geladen …", false};
    d.download = true;
    return d;
}

}  // namespace tolvek
