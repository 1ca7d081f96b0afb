#include <windows.h>

#include "base/log.h"
#include "base/settings.h"
#include "setup/autostart.h"
#include "setup/setup.h"
#include "util/platform.h"

namespace tolvek {
namespace {

// Asks a running Orvane to close (never ends it by force) and gives it up to 5 s; the pause
// after it lets the old program let go of its files. Without an old window nothing waits.
void close_old_program() {
    HWND old = FindWindowW(L"OrvaneMain", nullptr);
    if (!old) return;
    PostMessageW(old, WM_CLOSE, 0, 0);
    for (int check = 0; check < 50 && FindWindowW(L"OrvaneMain", nullptr); ++check) Sleep(100);
    Sleep(300);
}

}  // namespace

void migrate_from_predecessor() {
    const std::string old_data = path_join(parent_or_temp("APPDATA"), "Orvane");
    const std::string old_program = path_join(parent_or_temp("LOCALAPPDATA"), "Orvane");
    const bool run = run_value_exists("Orvane");
    if (!path_exists(old_data) && !path_exists(old_program) && !run) return;
    close_old_program();

    const std::string old_settings = path_join(old_data, "config.json");
    const std::string old_words = path_join(old_data, "schreibweisen.txt");
    const std::string new_words = dictionary_path();
    // Copies go through a temporary file and never replace what exists: a copy cut off half-way
    // leaves no torn file that a later start would take for settings, and of two starts at once
    // the second finds the first one's file and leaves it.
    if (path_exists(old_settings) && !path_exists(config_path())) {
        create_directories(data_dir());
        if (!copy_file_new(old_settings, config_path()) && !path_exists(config_path())) {
            log("Umzug von Orvane: Einstellungen ließen sich nicht übernehmen");
            return;
        }
        if (path_exists(old_words) && !path_exists(new_words)) copy_file_new(old_words, new_words);
        log("Umzug von Orvane: Anmeldung und Wörterbuch übernommen");
    } else if (path_exists(old_words) && !path_exists(new_words)) {
        // The settings of this program win, but the user's own words are still taken over.
        create_directories(data_dir());
        copy_file_new(old_words, new_words);
    }

    if (run) {
        delete_run_value("Orvane");
        set_autostart(true);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane");
    // Old spellings that did not reach the new file (it existed already, or the copy failed)
    // stay where they are: the user's words are never deleted unseen.
    const bool words_taken = !path_exists(old_words) || read_file(old_words) == read_file(new_words);
    remove_tree(old_data, words_taken ? "" : "schreibweisen.txt");
    if (path_exists(old_program) && !remove_tree(old_program)) {
        log("Umzug von Orvane: alter Programmordner noch gesperrt, nächster Versuch beim nächsten Start");
    }
}

}  // namespace tolvek
