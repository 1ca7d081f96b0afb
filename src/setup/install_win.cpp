#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

#include "base/app_state.h"
#include "base/log.h"
#include "base/notices.h"
#include "base/settings.h"
#include "build_config.h"
#include "net/hello.h"
#include "setup/autostart.h"
#include "setup/setup.h"
#include "setup/single_instance.h"
#include "util/platform.h"
#include "util/win_handles.h"

namespace tolvek {
namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvek";
constexpr wchar_t kProtocolKey[] = L"Software\\Classes\\tolvek";

// The new program goes to a temporary file beside the target first and then replaces it in one
// rename: a copy that breaks off half-way (disk full, a scanner holding the file) never leaves
// a truncated Tolvek.exe that autostart would launch. 20 attempts, 0.3 s apart.
bool put_program_in_place(const std::string& source, const std::string& target) {
    const std::wstring temp = wide(target + ".neu");
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt > 0) Sleep(300);
        if (!CopyFileW(wide(source).c_str(), temp.c_str(), FALSE)) continue;
        if (MoveFileExW(temp.c_str(), wide(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
    }
    DeleteFileW(temp.c_str());
    return false;
}

// Stores a company code that came along; a quiet installation without a token enrols with it
// at once. False when that enrollment failed.
bool take_company_code(const std::string& code) {
    Settings settings = load_settings();
    if (settings.code != code) {
        settings.code = code;
        settings.token.clear();
        settings.firm.clear();
        save_settings(settings);
    }
    if (!process_flags().quiet || !settings.token.empty()) return true;
    const auto enrolled = enroll(settings.server, code);
    if (const auto* error = std::get_if<ServiceError>(&enrolled)) {
        log("stille Installation: Anmeldung gescheitert: " + error->message);
        return false;
    }
    settings.token = std::get<Enrollment>(enrolled).token;
    settings.firm = std::get<Enrollment>(enrolled).firm;
    save_settings(settings);
    log("angemeldet (stille Installation)");
    return true;
}

// Starts the installed program in its own folder, as the shortcut does: not in the folder the
// installer was started from (Downloads, a USB stick, a share), which it would keep in use for
// its whole life. A quiet start (a deployment tool, the autostart) gets --quiet and leaves the
// installer's job and console, where the system allows it.
bool start_installed(const std::string& target, const std::string& arguments, bool quiet) {
    const std::string folder = install_dir();
    std::string command = "\"" + target + "\"" + arguments;
    if (quiet) command += " --quiet";
    if (!quiet) return start_program(command, 0, folder);
    return start_program(command, CREATE_BREAKAWAY_FROM_JOB | DETACHED_PROCESS, folder) ||
           start_program(command, DETACHED_PROCESS, folder);
}

class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }

private:
    bool ok_;
};

template <class T>
struct ComRelease {
    void operator()(T* p) const {
        if (p) p->Release();
    }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease<T>>;

bool create_start_menu_shortcut(const std::string& target) {
    const auto appdata = get_env("APPDATA");
    if (!appdata) return false;
    const std::string folder = path_join(*appdata, "Microsoft\\Windows\\Start Menu\\Programs");
    const ComApartment com;
    IShellLinkW* raw_link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&raw_link)))) {
        return false;
    }
    const ComPtr<IShellLinkW> link(raw_link);
    link->SetPath(wide(target).c_str());
    link->SetWorkingDirectory(wide(install_dir()).c_str());
    link->SetDescription(L"Taste halten, sprechen, loslassen");
    link->SetIconLocation(wide(target).c_str(), 0);
    IPersistFile* raw_file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw_file)))) return false;
    const ComPtr<IPersistFile> file(raw_file);
    create_directories(folder);
    return SUCCEEDED(file->Save(wide(path_join(folder, "Tolvek.lnk")).c_str(), TRUE));
}

void write_registration(const std::string& target) {
    const std::wstring exe = wide(target);
    const std::wstring quoted = L"\"" + exe + L"\"";
    const RegKey uninstall(HKEY_CURRENT_USER, kUninstallKey, KEY_WRITE, true);
    uninstall.set_string(L"DisplayName", L"Tolvek");
    uninstall.set_string(L"DisplayVersion", wide(kVersion));
    uninstall.set_string(L"Publisher", L"Kestrom");
    uninstall.set_string(L"DisplayIcon", exe);
    uninstall.set_string(L"UninstallString", quoted + L" --uninstall");
    uninstall.set_string(L"InstallLocation", wide(install_dir()));
    uninstall.set_dword(L"NoModify", 1);
    uninstall.set_dword(L"NoRepair", 1);
    const std::wstring protocol = kProtocolKey;
    const RegKey link(HKEY_CURRENT_USER, protocol, KEY_WRITE, true);
    link.set_string(L"", L"URL:Tolvek");
    link.set_string(L"URL Protocol", L"");
    RegKey(HKEY_CURRENT_USER, protocol + L"\\DefaultIcon", KEY_WRITE, true).set_string(L"", quoted + L",0");
    RegKey(HKEY_CURRENT_USER, protocol + L"\\shell\\open\\command", KEY_WRITE, true)
        .set_string(L"", quoted + L" --link \"%1\"");
}

}  // namespace

bool install(const std::string& running_path, const std::string& target_path,
             const std::optional<std::string>& code, bool is_update) {
    const bool quiet = process_flags().quiet;
    const EndedCopy ended = end_running_instance();
    create_directories(install_dir());
    if (!put_program_in_place(running_path, target_path)) {
        log("Installation: Programmdatei ließ sich nicht kopieren");
        // The copy this install ended must not leave the user without Tolvek: the program it ran
        // is still in place, so it starts again as it was started.
        if (ended.ended && path_exists(target_path) &&
            start_installed(target_path, "", ended.quiet)) {
            log("Installation gescheitert: das bisherige Tolvek läuft wieder");
        }
        if (!quiet) {
            message_box("Tolvek konnte nicht installiert werden. Bitte Tolvek beenden, falls es noch läuft, und "
                        "erneut versuchen.",
                        MB_ICONERROR);
        }
        return false;
    }
    const bool enrolled = !code || take_company_code(*code);
    if (!is_update) {
        set_autostart(true);
        Settings settings = load_settings();
        settings.store = process_flags().store_install;
        settings.tray_ask = process_flags().store_install;
        save_settings(settings);
    }
    if (!create_start_menu_shortcut(target_path)) log("Startmenü-Eintrag ließ sich nicht anlegen");
    write_registration(target_path);
    log(std::string("installiert: Version ") + kVersion + (quiet ? " (still)" : ""));

    start_installed(target_path, is_update ? " --updated" : " --first", quiet);
    return enrolled;
}

}  // namespace tolvek
