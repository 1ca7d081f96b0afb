// Tolvek.exe started from a download folder as a user would: the self-install with its files,
// registry values, shortcut and the start of the installed copy, and getting a running copy
// out of the way first.
#include "base/messages.h"
#include "installing.h"
#include "microphone.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using test::Installing;
using test::reg_value;
using test::sz;
using test::dword;
using test::target;
using test::image_of;
using test::window_pid;
using test::wincontrol_exe;
using test::processes;
using test::RegValue;

TEST_F(Installing, FromADownloadFolderWithTheCodeInItsName) {
    ASSERT_EQ(run_download("Tolvek-ST-3PVA-8RKE.exe", "--quiet"), 0u) << log();

    EXPECT_EQ(read_file(target()), read_file(test::tolvek_exe())) << "the installed file is the program";
    EXPECT_FALSE(path_exists(target() + ".neu")) << "no temporary file left";
    const std::wstring exe = wide(target());
    const std::wstring quoted = L"\"" + exe + L"\"";
    const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvek";
    const std::wstring protocol = L"Software\\Classes\\tolvek";
    const struct {
        std::wstring key;
        const wchar_t* name;
        RegValue value;
    } table[] = {
        {uninstall, L"DisplayName", sz(L"Tolvek")},
        {uninstall, L"DisplayVersion", sz(L"0.5.24")},
        {uninstall, L"Publisher", sz(L"Kestrom")},
        {uninstall, L"DisplayIcon", sz(exe)},
        {uninstall, L"UninstallString", sz(quoted + L" --uninstall")},
        {uninstall, L"InstallLocation", sz(wide(install_dir()))},
        {uninstall, L"NoModify", dword(1)},
        {uninstall, L"NoRepair", dword(1)},
        {protocol, L"", sz(L"URL:Tolvek")},
        {protocol, L"URL Protocol", sz(L"")},
        {protocol + L"\\DefaultIcon", L"", sz(quoted + L",0")},
        {protocol + L"\\shell\\open\\command", L"", sz(quoted + L" --link \"%1\"")},
        {L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Tolvek", sz(quoted)},
    };
    for (const auto& row : table) {
        EXPECT_EQ(reg_value(row.key, row.name), row.value) << narrow(row.key) << " : " << narrow(row.name);
    }

    // The Start-menu shortcut leads to the installed program.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        IShellLinkW* link = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                               reinterpret_cast<void**>(&link))));
        IPersistFile* file = nullptr;
        ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
        const std::string shortcut =
            path_join(*get_env("APPDATA"), "Microsoft\\Windows\\Start Menu\\Programs\\Tolvek.lnk");
        ASSERT_TRUE(SUCCEEDED(file->Load(wide(shortcut).c_str(), STGM_READ))) << shortcut;
        wchar_t path[MAX_PATH] {}, description[256] {}, folder[MAX_PATH] {};
        link->GetPath(path, MAX_PATH, nullptr, 0);
        link->GetDescription(description, 256);
        link->GetWorkingDirectory(folder, MAX_PATH);
        EXPECT_EQ(lowercase(narrow(path)), lowercase(target()));
        EXPECT_STREQ(description, L"Taste halten, sprechen, loslassen");
        EXPECT_EQ(lowercase(narrow(folder)), lowercase(install_dir()));
        file->Release();
        link->Release();
    }
    CoUninitialize();

    const Settings s = saved();
    EXPECT_EQ(s.code, "ST-3PVA-8RKE");
    EXPECT_FALSE(s.token.empty());
    EXPECT_EQ(s.firm, "Muster GmbH");
    EXPECT_FALSE(s.store);
    EXPECT_FALSE(s.tray_ask);
    EXPECT_NE(log().find(" angemeldet (stille Installation)\n"), std::string::npos) << log();
    EXPECT_NE(log().find(" installiert: Version 0.5.24 (still)\n"), std::string::npos) << log();

    // The installed copy runs, started as a first start.
    const HWND window = running_copy();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(lowercase(image_of(window_pid(window)).value_or("")), lowercase(target()));
    EXPECT_TRUE(balloon("Strg + Umschalt gedrückt halten, sprechen, loslassen. Der Text erscheint dort, wo der "
                        "Cursor steht. Einstellungen über das Fuchs-Symbol unten rechts."));
}

// A winmm.dll that a web page got into the Downloads folder, beside the downloaded program, with
// Wine told to prefer a native winmm for the programs started from there (Wine reads its DLL
// overrides from the registry at each start): the first start never loads it. A program that
// imports winmm statically (as Tolvek once did) does load it from there, which shows that the
// planted DLL would have run.
TEST_F(Installing, ADllPlantedBesideTheDownloadIsNotLoaded) {
    const std::string download = "Tolvek-ST-3PVA-8RKE.exe";
    const std::wstring overrides = L"Software\\Wine\\AppDefaults\\";
    for (const std::string& program : {download, std::string("static_winmm.exe")}) {
        RegKey(HKEY_CURRENT_USER, overrides + wide(program) + L"\\DllOverrides", KEY_WRITE, true)
            .set_string(L"winmm", L"native,builtin");
    }
    const std::string planted = path_join(downloads, "winmm.dll");
    ASSERT_TRUE(copy_file(path_join(path_join(test::program_dir(), "planted"), "winmm.dll"), planted));
    const std::string mark = path_join(downloads, "planted-dll-loaded");
    test::set_env("TOLVEK_TEST_PLANTED_MARK", mark);
    const std::string importer = path_join(downloads, "static_winmm.exe");
    EXPECT_TRUE(copy_file(path_join(test::program_dir(), "static_winmm.exe"), importer));
    {
        const test::TolvekProcess control("", importer);
        EXPECT_TRUE(control.wait(30000).has_value());
    }
    const bool control_loaded_it = path_exists(mark);
    remove_file(mark);

    const auto installed = run_download(download, "--quiet");
    const HWND window = running_copy();
    test::set_env("TOLVEK_TEST_PLANTED_MARK", std::nullopt);
    for (const std::string& program : {download, std::string("static_winmm.exe")}) {
        RegDeleteTreeW(HKEY_CURRENT_USER, (overrides + wide(program)).c_str());
    }
    EXPECT_TRUE(control_loaded_it) << "the planted DLL is loaded by a program that imports winmm statically";
    EXPECT_EQ(installed, 0u) << log();
    EXPECT_NE(window, nullptr);
    EXPECT_FALSE(path_exists(mark)) << "Tolvek loaded the DLL planted beside it";
    remove_file(planted);
    remove_file(importer);
}

// A program that opens links may pass a quote through: the link then carries switches of its
// own behind it. Opened through the registration the install wrote, such a link removes
// nothing and switches no company; a code in the link itself asks first.
TEST_F(Installing, LinksCarryingSwitchesOpenedThroughTheRegistration) {
    ASSERT_EQ(run_download("Tolvek-ST-3PVA-8RKE.exe", "--quiet"), 0u) << log();
    ASSERT_NE(running_copy(), nullptr);
    ASSERT_TRUE(test::pump_until([&] { return !saved().token.empty(); }, 20s));
    // The shell reads the command from the registration and puts the link in for %1 as it is.
    // Wine's HKEY_CLASSES_ROOT does not show the user's classes, so the shell is given the
    // registration's key itself.
    const RegKey registration(HKEY_CURRENT_USER, L"Software\\Classes\\tolvek", KEY_READ);
    ASSERT_TRUE(registration.valid());
    const auto open_link = [&](const std::wstring& link) {
        SHELLEXECUTEINFOW info {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_CLASSKEY | SEE_MASK_NOCLOSEPROCESS;
        info.hkeyClass = registration.get();
        info.lpVerb = L"open";
        info.lpFile = link.c_str();
        info.nShow = SW_SHOWNORMAL;
        ASSERT_TRUE(ShellExecuteExW(&info)) << narrow(link);
        ASSERT_NE(info.hProcess, nullptr);
        const Handle started(info.hProcess);
        EXPECT_TRUE(test::pump_until([&] { return WaitForSingleObject(started.get(), 0) == WAIT_OBJECT_0; }, 30s))
            << "the second start ended";
    };
    std::vector<std::string> boxes;
    {
        test::MessageBoxAnswerer answerer(IDNO);
        const std::size_t calls = tray.calls().size();
        open_link(L"tolvek:x\" --code ST-CCCC-DDDD --uninstall --quiet \"");
        EXPECT_TRUE(tray.wait_for(calls, [](const test::TrayCall& c) { return c.info_title == "Tolvek läuft bereits"; },
                                  30s))
            << "the link reached the running copy, without a code";
        open_link(L"tolvek:ST-CCCC-DDDD\" --uninstall --quiet \"");
        test::pump_until([&] { return !answerer.texts().empty(); }, 30s);
        test::pump_for(1s);
        boxes = answerer.texts();
    }
    ASSERT_EQ(boxes.size(), 1u) << log();
    EXPECT_EQ(boxes[0].rfind("Tolvek mit einer anderen Firma verbinden?", 0), 0u) << boxes[0];
    EXPECT_EQ(saved().code, "ST-3PVA-8RKE") << "the company stays";
    EXPECT_FALSE(saved().token.empty());
    EXPECT_TRUE(path_exists(target())) << "nothing was removed";
    EXPECT_TRUE(RegKey(HKEY_CURRENT_USER, L"Software\\Classes\\tolvek", KEY_READ).valid());
    EXPECT_NE(FindWindowW(L"TolvekMain", nullptr), nullptr) << "the running copy still runs";
}

// The installed copy runs in the install folder, as the shortcut starts it, not in the folder the
// installer was started from (which it would keep in use for its whole life).
TEST_F(Installing, TheStartedCopyRunsInTheInstallFolder) {
    ASSERT_EQ(run_download("Tolvek-ST-3PVA-8RKE.exe", "--quiet"), 0u) << log();
    const HWND window = running_copy();
    ASSERT_NE(window, nullptr);
    const auto folder = test::current_directory_of(window_pid(window));
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(lowercase(*folder), lowercase(install_dir() + "\\"));
}

// Started through another spelling of its path (a second drive letter onto the same folder,
// which the harness maps: Y: is drive C), the installed copy is the installed copy: it runs, and
// does not try to install itself over itself.
TEST_F(Installing, TheInstalledCopyUnderAnotherDriveLetterIsTheInstalledCopy) {
    ASSERT_EQ(run_download("Tolvek-ST-3PVA-8RKE.exe", "--quiet"), 0u) << log();
    ASSERT_NE(running_copy(), nullptr);
    close_running_copy();
    const std::string other = "Y:" + target().substr(2);
    ASSERT_TRUE(path_exists(other)) << other;
    const std::size_t logged = log().size();
    const test::TolvekProcess copy("--quiet", other);
    const HWND window = running_copy();
    ASSERT_NE(window, nullptr) << log();
    EXPECT_EQ(window_pid(window), copy.pid()) << "it runs itself";
    test::pump_for(1s);
    EXPECT_EQ(log().find("install", logged), std::string::npos) << log().substr(logged);
    EXPECT_EQ(read_file(target()), read_file(test::tolvek_exe()));
}

// An update whose program file stays locked (a scanner) fails after the running copy was ended:
// that copy starts again, quietly as it had been started, and dictates.
TEST_F(Installing, FailedUpdateStartsTheEndedCopyAgain) {
    Settings s = saved();
    s.hold = false;  // tap mode: the test's recording runs until it is finished
    save_settings(s);
    ASSERT_EQ(run_download("Tolvek-ST-3PVA-8RKE.exe", "--quiet"), 0u) << log();
    const HWND first = running_copy();
    ASSERT_NE(first, nullptr);
    const DWORD first_pid = window_pid(first);
    const Handle held(CreateFileW(wide(target()).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    {
        test::MessageBoxAnswerer answerer(IDOK);
        ASSERT_EQ(run_download("Tolvek.exe", "--update"), 1u) << log();
    }
    EXPECT_NE(log().find(" Installation gescheitert: das bisherige Tolvek läuft wieder\n"), std::string::npos) << log();
    HWND again = nullptr;
    ASSERT_TRUE(test::pump_until([&] {
        again = FindWindowW(L"TolvekMain", nullptr);
        return again && window_pid(again) != first_pid;
    }, 30s)) << log();
    EXPECT_NE(GetPropW(again, L"TolvekQuiet"), nullptr) << "started quietly, as the autostart would";
    test::pump_for(1s);

    service.reset();
    PostMessageW(again, kMsgStartDictation, 0, 0);
    ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
    PostMessageW(again, kMsgFinishRecording, 0, 0);
    EXPECT_TRUE(test::pump_until([&] {
        for (const auto& r : service.requests()) {
            if (r["path"] == "/v1/audio/transcriptions") return true;
        }
        return false;
    }, 30s)) << "the copy dictates\n" << log();
}

// The store edition installs quietly and marks itself: "store" and "tray_ask" are stored.
TEST_F(Installing, StoreEditionIsMarked) {
    ASSERT_EQ(run_download("Tolvek.exe", "--store"), 0u) << log();
    EXPECT_NE(log().find(" installiert: Version 0.5.24 (still)\n"), std::string::npos) << log();
    EXPECT_TRUE(saved().store);
    EXPECT_TRUE(saved().tray_ask) << "the tray question waits for a start that is not quiet";
    EXPECT_NE(running_copy(), nullptr);
}

// With TOLVEK_PORTABLE a real start runs where it is and leaves an Orvane installation alone.
TEST_F(Installing, PortableStartLeavesOrvaneAlone) {
    const std::string old_data = path_join(parent_or_temp("APPDATA"), "Orvane");
    create_directories(old_data);
    ASSERT_TRUE(write_file_flushed(path_join(old_data, "config.json"), R"({"code": "ST-AAAA-BBBB"})"));
    RegKey(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", KEY_WRITE, true)
        .set_string(L"Orvane", L"\"C:\\Orvane\\Orvane.exe\"");
    test::set_env("TOLVEK_PORTABLE", "");
    {
        const test::TolvekProcess portable("--quiet");
        EXPECT_NE(running_copy(), nullptr) << log();
        close_running_copy();
    }
    test::set_env("TOLVEK_PORTABLE", std::nullopt);
    EXPECT_EQ(read_file(path_join(old_data, "config.json")), R"({"code": "ST-AAAA-BBBB"})");
    EXPECT_TRUE(run_value_exists("Orvane"));
    EXPECT_EQ(log().find("Umzug von Orvane"), std::string::npos) << log();
    EXPECT_NE(saved().code, "ST-AAAA-BBBB");
    EXPECT_FALSE(path_exists(target())) << "nothing installed";
    delete_run_value("Orvane");
}

TEST_F(Installing, WrongCodeStillInstallsButEndsWithOne) {
    service.config({{"reject_codes", {"ST-XXXX-YYYY"}}});
    ASSERT_EQ(run_download("Tolvek-ST-XXXX-YYYY.exe", "--quiet"), 1u);
    EXPECT_NE(log().find(" stille Installation: Anmeldung gescheitert: Firmen-Code nicht bekannt\n"),
              std::string::npos)
        << log();
    EXPECT_EQ(read_file(target()), read_file(test::tolvek_exe()));
    EXPECT_NE(running_copy(), nullptr) << "the program runs all the same";
    EXPECT_EQ(saved().code, "ST-XXXX-YYYY");
    EXPECT_TRUE(saved().token.empty());
}

TEST_F(Installing, OverARunningCopyAndAsAnUpdate) {
    ASSERT_EQ(run_download("Tolvek.exe", "--quiet"), 0u);
    const HWND first = running_copy();
    ASSERT_NE(first, nullptr);
    const DWORD first_pid = window_pid(first);

    // The store choice and a switched-off autostart survive an update.
    Settings s = saved();
    s.store = true;
    s.tray_ask = true;
    save_settings(s);
    delete_run_value("Tolvek");
    ASSERT_EQ(run_download("Tolvek.exe", "--update --quiet"), 0u) << log();
    const Handle old(OpenProcess(SYNCHRONIZE, FALSE, first_pid));
    EXPECT_TRUE(!old.valid() || WaitForSingleObject(old.get(), 0) == WAIT_OBJECT_0) << "the old copy was closed";
    EXPECT_TRUE(balloon("Tolvek wurde auf Version 0.5.24 aktualisiert.")) << "started with --updated";
    const HWND second = running_copy();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(window_pid(second), first_pid);
    EXPECT_FALSE(autostart_enabled());
    EXPECT_TRUE(saved().store);
    EXPECT_TRUE(saved().tray_ask);
}

TEST_F(Installing, LockedTargetKeepsTheOldProgram) {
    create_directories(install_dir());
    ASSERT_TRUE(write_file_flushed(target(), "altes Programm"));
    auto held = std::make_unique<Handle>(
        CreateFileW(wide(target()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held->valid());
    std::vector<std::string> boxes;
    {
        test::MessageBoxAnswerer answerer(IDOK);
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(run_download("Tolvek.exe", ""), 1u);
        EXPECT_GE(std::chrono::steady_clock::now() - started, 5s) << "20 attempts 0.3 s apart";
        boxes = answerer.texts();
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Tolvek konnte nicht installiert werden. Bitte Tolvek beenden, falls es noch läuft, und "
                        "erneut versuchen.");
    EXPECT_NE(log().find(" Installation: Programmdatei ließ sich nicht kopieren\n"), std::string::npos);
    EXPECT_EQ(reg_value(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvek", L"DisplayName"),
              std::nullopt);

    // Quiet: the same, without a box.
    {
        test::MessageBoxAnswerer answerer(IDOK);
        ASSERT_EQ(run_download("Tolvek.exe", "--quiet"), 1u);
        EXPECT_TRUE(answerer.texts().empty());
    }
    held.reset();
    EXPECT_EQ(read_file(target()), "altes Programm") << "the previous program is unchanged";
    EXPECT_FALSE(path_exists(target() + ".neu"));
}

// A copy that hangs at the install target is ended after 5 s; a program of the same name
// elsewhere on disk is never touched, with or without a window.
TEST_F(Installing, HangingCopyAtTheTargetIsEndedOthersAreNot) {
    create_directories(install_dir());
    const std::string elsewhere = path_join(downloads, "Andere\\tolvek.exe");
    create_directories(path_join(downloads, "Andere"));
    ASSERT_TRUE(copy_file(wincontrol_exe(), target()));
    ASSERT_TRUE(copy_file(wincontrol_exe(), elsewhere));
    const test::TolvekProcess other("standin hidden 120", elsewhere);
    {
        const test::TolvekProcess hanging("standin window 120", target());
        ASSERT_NE(running_copy(), nullptr);
        ASSERT_EQ(run_download("Tolvek.exe", "--quiet"), 0u);
        EXPECT_FALSE(hanging.running());
        EXPECT_NE(log().find(" laufendes Tolvek reagierte nicht und wurde beendet\n"), std::string::npos) << log();
    }
    ASSERT_NE(running_copy(), nullptr) << "the installed program started";
    close_running_copy();

    // Without a window: the process walk ends only the one at the install target.
    ASSERT_TRUE(test::pump_until([&] { return copy_file(wincontrol_exe(), target()); }, 10s))
        << "error " << GetLastError() << processes();
    const test::TolvekProcess windowless("standin hidden 120", target());
    test::pump_for(500ms);
    ASSERT_EQ(run_download("Tolvek.exe", "--quiet"), 0u);
    EXPECT_FALSE(windowless.running());
    EXPECT_NE(log().find(" laufendes Tolvek ohne Hauptfenster beendet\n"), std::string::npos) << log();
    EXPECT_TRUE(other.running()) << "a tolvek.exe elsewhere is left alone";
}

}  // namespace
}  // namespace tolvek
