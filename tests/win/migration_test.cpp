// Taking over from the predecessor Orvane: what is on disk and in the registry decides.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "base/settings.h"
#include "setup/autostart.h"
#include "setup/setup.h"
#include "unit/test_support.h"
#include "util/win_handles.h"

namespace tolvek {
namespace {

constexpr wchar_t kOldUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane";
constexpr char kOldConfig[] = R"({"code": "ST-3PVA-8RKE", "firm": "Muster GmbH", "server": "https://diktat.orvane.example"})";

class Migration : public ::testing::Test {
protected:
    void TearDown() override {
        delete_run_value("Orvane");
        delete_run_value("Tolvek");
        RegDeleteTreeW(HKEY_CURRENT_USER, kOldUninstall);
    }
    std::string old_data() const { return path_join(parent_or_temp("APPDATA"), "Orvane"); }
    std::string old_program() const { return path_join(parent_or_temp("LOCALAPPDATA"), "Orvane"); }
    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }
    static void set_old_run_value() {
        RegKey(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", KEY_WRITE, true)
            .set_string(L"Orvane", L"\"C:\\Orvane\\Orvane.exe\"");
    }
    static bool old_uninstall_entry() {
        return RegKey(HKEY_CURRENT_USER, kOldUninstall, KEY_READ).valid();
    }
    test::ScopedDataDir data;
};

// The disk and registry states a user of the old program can leave behind, and what remains.
TEST_F(Migration, StatesOfTheOldInstallation) {
    struct Case {
        const char* name;
        bool old_config, old_words, new_config, new_words, run_value;
        // Expected afterwards.
        std::optional<std::string> config_has;  // text in the new config.json
        std::optional<std::string> words;       // the new schreibweisen.txt
        bool old_words_kept;                    // the old spellings file is still there
        const char* log_line;
    };
    const Case cases[] = {
        {"nothing old", false, false, false, false, false, std::nullopt, std::nullopt, false, nullptr},
        {"only the Run value", false, false, false, false, true, std::nullopt, std::nullopt, false, nullptr},
        {"login and words", true, true, false, false, false, "ST-3PVA-8RKE", "Kestrom\r\n", false,
         "Umzug von Orvane: Anmeldung und Wörterbuch übernommen"},
        {"own settings win, old words still come", true, true, true, false, true, "ST-NEUE-FIRM", "Kestrom\r\n",
         false, nullptr},
        {"own words win and the old ones stay", true, true, true, true, false, "ST-NEUE-FIRM", "Eigenes\r\n", true,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedDataDir fresh;
        if (c.old_config || c.old_words) create_directories(old_data());
        if (c.old_config) write_file_flushed(path_join(old_data(), "config.json"), kOldConfig);
        if (c.old_words) write_file_flushed(path_join(old_data(), "schreibweisen.txt"), "Kestrom\r\n");
        if (c.old_config) {
            create_directories(old_program());
            write_file_flushed(path_join(old_program(), "Orvane.exe"), "MZ");
            RegKey(HKEY_CURRENT_USER, kOldUninstall, KEY_WRITE, true).set_string(L"DisplayName", L"Orvane");
        }
        if (c.new_config) write_file_flushed(config_path(), R"({"code": "ST-NEUE-FIRM"})");
        if (c.new_words) write_file_flushed(dictionary_path(), "Eigenes\r\n");
        if (c.run_value) set_old_run_value();

        migrate_from_predecessor();

        const std::string logged = read_file(fresh.file("tolvek.log")).value_or("");
        if (c.log_line) {
            EXPECT_NE(logged.find(c.log_line), std::string::npos) << logged;
        } else {
            EXPECT_EQ(logged, "");
        }
        if (c.config_has) {
            EXPECT_NE(read_file(config_path()).value_or("").find(*c.config_has), std::string::npos);
        }
        if (c.config_has && !c.new_config) {
            EXPECT_EQ(load_settings().server, "https://sprache.tolvek.example") << "the old host moved to the new one";
        }
        EXPECT_EQ(read_file(dictionary_path()), c.words);
        EXPECT_EQ(path_exists(path_join(old_data(), "schreibweisen.txt")), c.old_words_kept);
        EXPECT_EQ(path_exists(old_data()), c.old_words_kept);
        EXPECT_FALSE(path_exists(old_program()));
        EXPECT_FALSE(old_uninstall_entry());
        EXPECT_FALSE(run_value_exists("Orvane"));
        EXPECT_EQ(autostart_enabled(), c.run_value) << "the start with Windows moves over";
        delete_run_value("Tolvek");
    }
}

TEST_F(Migration, FailedSettingsCopyLeavesEverythingForTheNextStart) {
    create_directories(old_data());
    write_file_flushed(path_join(old_data(), "config.json"), kOldConfig);
    write_file_flushed(path_join(old_data(), "schreibweisen.txt"), "Kestrom\r\n");
    set_old_run_value();
    {
        const Handle locked(CreateFileW(wide(path_join(old_data(), "config.json")).c_str(), GENERIC_READ, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked.valid());
        migrate_from_predecessor();
    }
    EXPECT_NE(log().find(" Umzug von Orvane: Einstellungen ließen sich nicht übernehmen\n"), std::string::npos);
    EXPECT_FALSE(path_exists(config_path()));
    EXPECT_TRUE(path_exists(path_join(old_data(), "schreibweisen.txt")));
    EXPECT_TRUE(run_value_exists("Orvane"));

    migrate_from_predecessor();  // the next start
    EXPECT_NE(read_file(config_path()).value_or("").find("ST-3PVA-8RKE"), std::string::npos);
    EXPECT_EQ(read_file(dictionary_path()), "Kestrom\r\n");
    EXPECT_FALSE(path_exists(old_data()));
}

// The migration's copies go through a temporary file and never replace a file that exists: of
// two starts copying at once exactly one puts its file in place, whole, and the other leaves it;
// no temporary file stays behind.
TEST_F(Migration, CopiesNeverReplaceAndLeaveNothingHalf) {
    create_directories(data.dir());
    const std::string first = path_join(data.dir(), "erste.json");
    const std::string second = path_join(data.dir(), "zweite.json");
    write_file_flushed(first, std::string(kOldConfig) + std::string(400000, 'a'));
    write_file_flushed(second, std::string(kOldConfig) + std::string(400000, 'b'));
    for (int round = 0; round < 10; ++round) {
        remove_file(config_path());
        std::atomic<int> placed = 0;
        std::thread other([&] { placed += copy_file_new(second, config_path()) ? 1 : 0; });
        placed += copy_file_new(first, config_path()) ? 1 : 0;
        other.join();
        EXPECT_EQ(placed, 1) << "round " << round;
        const auto now = read_file(config_path());
        EXPECT_TRUE(now == read_file(first) || now == read_file(second)) << "a whole file, round " << round;
    }
    const std::string before = read_file(config_path()).value_or("");
    EXPECT_FALSE(copy_file_new(first, config_path()));
    EXPECT_EQ(read_file(config_path()), before);
    WIN32_FIND_DATAW found {};
    const HANDLE search = FindFirstFileW(wide(path_join(data.dir(), "*.neu-*")).c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a temporary file was left";
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// The old spellings that did not reach the new file are kept, whatever the case of their name.
TEST_F(Migration, KeptOldSpellingsInAnyCase) {
    create_directories(old_data());
    create_directories(data.dir());
    write_file_flushed(path_join(old_data(), "Schreibweisen.TXT"), "Alt\r\n");
    write_file_flushed(dictionary_path(), "Eigenes\r\n");
    migrate_from_predecessor();
    EXPECT_EQ(read_file(path_join(old_data(), "schreibweisen.txt")), "Alt\r\n") << "the user's old words stay";
    EXPECT_EQ(read_file(dictionary_path()), "Eigenes\r\n");
}

TEST_F(Migration, LockedProgramFolderIsTriedAgain) {
    create_directories(old_program());
    const std::string exe = path_join(old_program(), "Orvane.exe");
    write_file_flushed(exe, "MZ");
    {
        const Handle locked(CreateFileW(wide(exe).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        migrate_from_predecessor();
    }
    EXPECT_NE(log().find(" Umzug von Orvane: alter Programmordner noch gesperrt, nächster Versuch beim nächsten Start\n"),
              std::string::npos);
    migrate_from_predecessor();
    EXPECT_FALSE(path_exists(old_program()));
}

// A running Orvane is asked to close with WM_CLOSE, never ended by force.
TEST_F(Migration, RunningOldProgramIsAskedToClose) {
    create_directories(old_data());
    std::atomic<bool> asked {false};
    std::atomic<HWND> window {nullptr};
    std::thread old([&] {
        WNDCLASSW wc {};
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_CLOSE) {
                *reinterpret_cast<std::atomic<bool>*>(GetWindowLongPtrW(w, GWLP_USERDATA)) = true;
                DestroyWindow(w);
                return 0;
            }
            return DefWindowProcW(w, m, wp, lp);
        };
        wc.lpszClassName = L"OrvaneMain";
        RegisterClassW(&wc);
        HWND w = CreateWindowExW(0, L"OrvaneMain", L"Orvane", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&asked));
        window = w;
        MSG msg;
        while (IsWindow(w) && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    while (!window) Sleep(10);
    migrate_from_predecessor();
    old.join();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(path_exists(old_data()));
}

}  // namespace
}  // namespace tolvek
