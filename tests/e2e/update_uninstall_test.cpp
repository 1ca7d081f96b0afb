// An installed Tolvek.exe updating itself from the service, and removing itself from the menu
// and from the command line.
#include "base/messages.h"
#include "installing.h"
#include "shell/tray_menu.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using test::Installing;
using test::target;
using test::window_pid;

const std::wstring kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvek";
const std::wstring kNotifyKey = L"Control Panel\\NotifyIconSettings";

std::string signed_program(const char* name) {
    return path_join(path_join(test::program_dir(), "signed"), name);
}

std::string parked(DWORD pid) {
    return path_join(temp_dir(), "Tolvek-entfernt-" + std::to_string(pid) + ".exe");
}

class Removing : public Installing {
protected:
    // An installed, running copy whose notification-area entries Windows already knows, beside
    // the predecessor's and another program's.
    HWND installed_and_running() {
        EXPECT_EQ(run_download("Tolvek.exe", "--quiet"), 0u);
        for (const auto& [name, path] : {std::pair {L"1", L"C:\\users\\anna\\AppData\\Local\\Tolvek\\Tolvek.exe"},
                                         std::pair {L"2", L"C:\\users\\anna\\AppData\\Local\\Orvane\\Orvane.exe"},
                                         std::pair {L"3", L"C:\\Programme\\Editor\\editor.exe"}}) {
            RegKey(HKEY_CURRENT_USER, kNotifyKey + L"\\" + name, KEY_WRITE, true).set_string(L"ExecutablePath", path);
        }
        return running_copy();
    }
    // Everything the installation made is gone; only the parked program file remains.
    void expect_removed() {
        EXPECT_FALSE(RegKey(HKEY_CURRENT_USER, kUninstallKey, KEY_READ).valid());
        EXPECT_FALSE(RegKey(HKEY_CURRENT_USER, L"Software\\Classes\\tolvek", KEY_READ).valid());
        EXPECT_FALSE(autostart_enabled());
        EXPECT_FALSE(path_exists(path_join(*get_env("APPDATA"), "Microsoft\\Windows\\Start Menu\\Programs\\Tolvek.lnk")));
        EXPECT_FALSE(RegKey(HKEY_CURRENT_USER, kNotifyKey + L"\\1", KEY_READ).valid());
        EXPECT_FALSE(RegKey(HKEY_CURRENT_USER, kNotifyKey + L"\\2", KEY_READ).valid()) << "the predecessor's entry";
        EXPECT_TRUE(RegKey(HKEY_CURRENT_USER, kNotifyKey + L"\\3", KEY_READ).valid()) << "others stay";
        EXPECT_FALSE(path_exists(data.dir())) << "the data folder was made again";
        EXPECT_FALSE(path_exists(install_dir()));
    }
    void TearDown() override {
        Installing::TearDown();
        RegDeleteTreeW(HKEY_CURRENT_USER, kNotifyKey.c_str());
    }
};

TEST_F(Removing, FromTheMenuNoThenYes) {
    const HWND window = installed_and_running();
    ASSERT_NE(window, nullptr);
    const DWORD pid = window_pid(window);
    {
        test::MessageBoxAnswerer answerer(IDNO);
        PostMessageW(window, kMsgMenuCommand, kCmdUninstall, 0);
        ASSERT_TRUE(test::pump_until([&] { return !answerer.texts().empty(); }, 10s));
        EXPECT_EQ(answerer.texts()[0], "Tolvek von diesem Computer entfernen?");
    }
    test::pump_for(500ms);
    EXPECT_TRUE(IsWindow(window)) << "No leaves everything";
    EXPECT_TRUE(path_exists(target()));
    EXPECT_TRUE(RegKey(HKEY_CURRENT_USER, kUninstallKey, KEY_READ).valid());

    // "Wörterbuch" is open with a word typed in when the removal is chosen: its closing save
    // comes after the removal and must not make the data folder again.
    PostMessageW(window, kMsgMenuCommand, kCmdDictionary, 0);
    HWND words = nullptr;
    ASSERT_TRUE(test::pump_until([&] { return (words = FindWindowW(L"TolvekWords", nullptr)) != nullptr; }, 10s));
    SetDlgItemTextW(words, 200, L"Müller");
    SendMessageW(words, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(read_file(data.file("schreibweisen.txt")), "Müller");

    const Handle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    {
        test::MessageBoxAnswerer answerer(IDYES);
        PostMessageW(window, kMsgMenuCommand, kCmdUninstall, 0);
        ASSERT_TRUE(test::pump_until([&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, 20s));
    }
    expect_removed();
    EXPECT_EQ(tray.calls().back().op, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(read_file(parked(pid)), read_file(test::tolvek_exe())) << "the one trace left";

    // The next start of any copy removes it (quiet: the new profile has no company code to ask for).
    test::set_env("TOLVEK_PORTABLE", "");
    {
        const test::TolvekProcess copy("--quiet");
        EXPECT_TRUE(test::pump_until([&] { return !path_exists(parked(pid)); }, 20s));
        close_running_copy();
    }
    test::set_env("TOLVEK_PORTABLE", std::nullopt);
}

TEST_F(Removing, FromTheCommandLine) {
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "--uninstall --quiet" : "--uninstall");
        ASSERT_NE(installed_and_running(), nullptr);
        test::MessageBoxAnswerer answerer(IDYES);
        const test::TolvekProcess remover(quiet ? "--uninstall --quiet" : "--uninstall", target());
        ASSERT_TRUE(test::pump_until([&] { return !remover.running(); }, 30s));
        EXPECT_EQ(remover.wait(0), 0u);
        EXPECT_EQ(answerer.texts().size(), quiet ? 0u : 1u);
        EXPECT_EQ(FindWindowW(L"TolvekMain", nullptr), nullptr) << "the running copy was ended first";
        expect_removed();
        EXPECT_TRUE(path_exists(parked(remover.pid())));
        remove_file(parked(remover.pid()));
    }
}

// The program folder stays locked through every attempt (another program holds a file in it):
// the uninstall still removes everything else and ends; the folder stays.
TEST_F(Removing, LockedProgramFolderStaysAndTheRestGoes) {
    ASSERT_NE(installed_and_running(), nullptr);
    const std::string held_file = path_join(install_dir(), "gesperrt.txt");
    ASSERT_TRUE(write_file_flushed(held_file, "x"));
    const Handle held(CreateFileW(wide(held_file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    const auto started = std::chrono::steady_clock::now();
    const test::TolvekProcess remover("--uninstall --quiet", target());
    ASSERT_TRUE(test::pump_until([&] { return !remover.running(); }, 30s));
    EXPECT_EQ(remover.wait(0), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 2500ms) << "ten attempts, 0.3 s apart";
    EXPECT_TRUE(path_exists(held_file)) << "the locked folder stays";
    EXPECT_FALSE(path_exists(target())) << "the program file was moved away";
    EXPECT_FALSE(RegKey(HKEY_CURRENT_USER, kUninstallKey, KEY_READ).valid());
    EXPECT_FALSE(autostart_enabled());
    EXPECT_FALSE(path_exists(data.dir()));
    remove_file(parked(remover.pid()));
}

TEST_F(Removing, PortableCopyIsNotMoved) {
    ASSERT_NE(installed_and_running(), nullptr);
    const test::TolvekProcess remover("--uninstall --quiet");
    ASSERT_TRUE(test::pump_until([&] { return !remover.running(); }, 30s));
    expect_removed();
    EXPECT_TRUE(path_exists(test::tolvek_exe()));
    EXPECT_FALSE(path_exists(parked(remover.pid())));
}

// A signed 0.5.24 learns of 0.5.25 from its hello, fetches it while a dictation runs, starts it
// only after the dictation ended, and the new version installs itself over the old one.
TEST_F(Installing, SignedInstallationUpdatesItselfAfterTheDictation) {
    if (!path_exists(signed_program("Tolvek-A.exe"))) GTEST_SKIP() << "needs the signed programs of make-signed";
    Settings s = saved();
    s.hold = false;  // tap mode: the test's recording runs until it is finished
    save_settings(s);
    service.config({{"latest", "0.5.25"}, {"download_file", test::service_path(signed_program("next-A.exe"))}});
    service.next({{"path", "/dl/ST-3PVA-8RKE"}, {"delay", 4}});  // the file, 4 s late
    ASSERT_TRUE(copy_file(signed_program("Tolvek-A.exe"), path_join(downloads, "Tolvek-ST-3PVA-8RKE.exe")));
    const test::TolvekProcess installer("--quiet", path_join(downloads, "Tolvek-ST-3PVA-8RKE.exe"));
    ASSERT_TRUE(test::pump_until([&] { return !installer.running(); }, 60s));
    ASSERT_EQ(installer.wait(0), 0u) << log();
    const HWND window = running_copy();
    ASSERT_NE(window, nullptr);

    PostMessageW(window, kMsgStartDictation, 0, 0);
    const std::string stored = path_join(path_join(install_dir(), "update"), "Tolvek-update-0.5.25.exe");
    ASSERT_TRUE(test::pump_until([&] { return path_exists(stored); }, 30s)) << log();
    test::pump_for(2s);
    EXPECT_EQ(log().find("Update wird eingespielt"), std::string::npos) << "not while the dictation runs";
    PostMessageW(window, kMsgFinishRecording, 0, 0);
    const auto finished = std::chrono::steady_clock::now();

    ASSERT_TRUE(test::pump_until([&] { return log().find("Update wird eingespielt") != std::string::npos; }, 20s))
        << log();
    EXPECT_LT(std::chrono::steady_clock::now() - finished, 17s) << "at the next 15 s retry";
    ASSERT_TRUE(test::pump_until([&] { return log().find("gestartet: Version 0.5.25") != std::string::npos; }, 60s))
        << log();
    EXPECT_NE(log().find(" installiert: Version 0.5.25\n"), std::string::npos) << log();
    EXPECT_EQ(read_file(target()), read_file(signed_program("next-A.exe")));
    EXPECT_TRUE(balloon("Tolvek wurde auf Version 0.5.25 aktualisiert."));
    EXPECT_TRUE(test::pump_until([&] { return !path_exists(path_join(install_dir(), "update")); }, 30s))
        << "the next start removes the update folder";
}

// The service announces 0.5.25 but serves an older signed build (a replay of an old release, or
// a service that names a version the file does not carry): the file is refused with both
// versions in the log, nothing is started, and the running copy goes on.
TEST_F(Installing, UpdateOfAnotherVersionThanAnnouncedIsRefused) {
    if (!path_exists(signed_program("prev-A.exe"))) GTEST_SKIP() << "needs the signed programs of make-signed";
    ASSERT_TRUE(copy_file(signed_program("Tolvek-A.exe"), path_join(downloads, "Tolvek-ST-3PVA-8RKE.exe")));
    for (const char* offered : {"prev-A.exe", "Tolvek-A.exe"}) {
        SCOPED_TRACE(offered);
        service.config({{"latest", "0.5.25"}, {"download_file", test::service_path(signed_program(offered))}});
        const test::TolvekProcess installer("--quiet", path_join(downloads, "Tolvek-ST-3PVA-8RKE.exe"));
        ASSERT_TRUE(test::pump_until([&] { return !installer.running(); }, 60s));
        ASSERT_EQ(installer.wait(0), 0u) << log();
        const HWND window = running_copy();
        ASSERT_NE(window, nullptr);
        const DWORD pid = window_pid(window);
        const std::string refused = std::string("Update: Update abgelehnt: Die Datei trägt Version ") +
                                    (offered == std::string("prev-A.exe") ? "0.5.23" : "0.5.24") +
                                    ", angekündigt war 0.5.25.\n";
        ASSERT_TRUE(test::pump_until([&] { return log().find(refused) != std::string::npos; }, 60s)) << log();
        test::pump_for(2s);
        EXPECT_EQ(log().find("Update wird eingespielt"), std::string::npos) << log();
        EXPECT_FALSE(path_exists(path_join(path_join(install_dir(), "update"), "Tolvek-update-0.5.25.exe")));
        EXPECT_EQ(window_pid(FindWindowW(L"TolvekMain", nullptr)), pid) << "the same copy runs on";
        close_running_copy();
        remove_file(data.file("tolvek.log"));
    }
}

}  // namespace
}  // namespace tolvek
