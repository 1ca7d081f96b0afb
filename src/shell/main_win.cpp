// Start-up of Tolvek.exe: one-shot modes, single instance, application state, the hidden main
// window, and the message loop of the main thread.
#include <windows.h>
#include <wtsapi32.h>

#include <chrono>
#include <cstdlib>
#include <array>
#include <future>
#include <system_error>
#include <thread>

#include "build_config.h"
#include "shell/icons.h"
#include "base/log.h"
#include "shell/main_window.h"
#include "base/settings.h"
#include "setup/single_instance.h"
#include "shell/tray.h"
#include "dictation/talk_key.h"
#include "base/app_state.h"
#include "shell/command_line.h"
#include "shell/startup.h"
#include "net/hello.h"
#include "net/http.h"
#include "net/system_facts.h"
#include "net/update.h"
#include "setup/setup.h"
#include "windows/enrollment.h"
#include "dictation/key_names.h"
#include "windows/overlay.h"
#include "windows/tray_promotion.h"
#include "windows/window_procs.h"
#include "util/dpi.h"
#include "util/platform.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

HICON tray_icon(HINSTANCE instance, int resource, Rgb fallback, double dot) {
    const HANDLE loaded =
        LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
    if (loaded) return static_cast<HICON>(loaded);
    return make_icon(draw_dot_icon(fallback, dot));
}

void start_tidy_up() {
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(20));
        remove_leftover_files();
    }).detach();
}

void show_notices(bool key_migrated, bool first, bool updated) {
    if (key_migrated && !first) {
        show_balloon("Tolvek: neue Taste",
                     std::string("Zum Diktieren jetzt Strg + Umschalt gedrückt halten. Tolvek ist "
                                 "auf Version ") +
                         kVersion + " aktualisiert. Ändern über das Fuchs-Symbol unten rechts.",
                     false);
        remove_leftover_files();
        if (updated) start_tidy_up();
    } else if (updated) {
        show_balloon("Tolvek", std::string("Tolvek wurde auf Version ") + kVersion + " aktualisiert.",
                     false);
        remove_leftover_files();
        start_tidy_up();
    } else {
        remove_leftover_files();
    }
}

int run(HINSTANCE instance) {
    SetProcessDPIAware();
    const CommandLine cl = parse_command_line(split_command_line(narrow(GetCommandLineW())));
    set_process_flags({cl.quiet, cl.store_install, get_env("TOLVEK_TEST_HOOKS").has_value()});
    // A run a test started may shorten the requests' deadline, to see time-outs in seconds.
    if (const auto deadline = process_flags().test_hooks ? get_env("TOLVEK_TEST_DEADLINE_S") : std::nullopt) {
        const unsigned long seconds = std::strtoul(deadline->c_str(), nullptr, 10);
        if (seconds >= 1 && seconds < 120) http_settings().deadline = std::chrono::seconds(seconds);
    }

    if (cl.uninstall) {
        if (!cl.quiet && message_box("Tolvek von diesem Computer entfernen?",
                                     MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return 0;
        }
        end_running_instance();
        uninstall(false);
        return 0;
    }
    if (cl.sigcheck) {
        if (cl.sigcheck_file) {
            const auto signer = check_signature(*cl.sigcheck_file);
            log("Signatur " + *cl.sigcheck_file + ": " + signer.value_or("keine gültige Signatur"));
        }
        return 0;
    }

    const auto running = program_path();
    if (!running) return 0;
    const std::string target = install_target();
    const bool portable = get_env("TOLVEK_PORTABLE").has_value();
    if (!portable) migrate_from_predecessor();
    // The same file, however it was named (a short name, another drive letter onto the folder).
    if (!portable && !same_file(*running, target)) {
        return install(*running, target, install_code(cl, *running), cl.update) ? 0 : 1;
    }

    // The handle stays open for the life of the process: it is what makes this the running copy.
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        hand_off_to_running_instance(cl.code, cl.from_link);
        return 0;
    }

    // The settings are read (and the token unsealed, which loads the system's cryptography)
    // while the first window connects to the display: both take a while, and the icon waits
    // for both. Without a thread they are read here.
    std::future<Settings> reading;
    try {
        reading = std::async(std::launch::async, load_settings);
    } catch (const std::system_error&) {
    }
    register_window_classes(instance);
    const HWND main_window = CreateWindowExW(0, L"TolvekMain", L"Tolvek", 0, 0, 0, 0, 0, nullptr,
                                             nullptr, instance, nullptr);
    if (cl.quiet) SetPropW(main_window, kQuietProperty, reinterpret_cast<HANDLE>(1));

    AppState state;
    state.idle_icon = tray_icon(instance, 2, kIdleFallbackColour, kIdleFallbackDot);
    state.recording_icon =
        tray_icon(instance, 3, kRecordingFallbackColour, kRecordingFallbackDot);
    state.settings = reading.valid() ? reading.get() : load_settings();
    state.taskbar_created_msg = RegisterWindowMessageW(L"TaskbarCreated");
    state.main_window = main_window;
    init_app_state(std::move(state));

    bool key_migrated = false;
    {
        auto app = lock_app_state();
        if (app->settings.hotkey_rev < 2) {
            key_migrated = migrate_talk_key(app->settings);
            save_settings(app->settings);
        }
    }
    if (key_migrated) log(kKeyMigratedLog);

    // The icon first; what only a dictation needs is made after it.
    update_tray(true);
    lock_app_state()->overlay_window = create_overlay_window(instance);
    // An unlock of the session is told to the main window (a resume comes anyway): the talk key
    // is then set up anew.
    WTSRegisterSessionNotification(main_window, NOTIFY_FOR_THIS_SESSION);
    http_global_init();
    {
        const HBITMAP ears_up = render_fox_badge(scale(24), true);
        const HBITMAP ears_folded = render_fox_badge(scale(24), false);
        std::array<HICON, 6> busy {};
        for (int k = 0; k < 6; ++k) busy[k] = make_icon(draw_busy_icon(k));
        auto app = lock_app_state();
        app->badge_ears_up = ears_up;
        app->badge_ears_folded = ears_folded;
        app->busy_icons = busy;
    }
    if (!lock_app_state()->settings.store) std::thread(promote_tray_icon).detach();
    build_tones();
    clean_old_logs();
    log(started_log_line(windows_edition()));

    const bool ok = cl.code ? apply_code_from_link(*cl.code, cl.from_link, !cl.first)
                            : ensure_enrolled();
    const bool key_ok = register_talk_key();
    update_tray(false);

    const Settings settings = lock_app_state()->settings;
    if (cl.first && key_ok && ok) {
        show_balloon("Tolvek ist bereit — " + settings.firm,
                     key_name(settings.vk, settings.mods) + " " +
                         (settings.hold ? "gedrückt halten" : "antippen") +
                         ", sprechen, loslassen. Der Text erscheint dort, wo der Cursor steht. "
                         "Einstellungen über das Fuchs-Symbol unten rechts.",
                     false);
    }
    if (settings.tray_ask && !cl.quiet) {
        {
            auto app = lock_app_state();
            app->settings.tray_ask = false;
            save_settings(app->settings);
        }
        const int answer = message_box(
            "Fuchs immer in der Taskleiste zeigen?\n\nWindows versteckt neue Symbole sonst hinter "
            "dem Pfeil ^. Mit „Ja“ öffnen sich die Taskleisten-Einstellungen, dort Tolvek "
            "einschalten.",
            MB_YESNO | MB_ICONQUESTION);
        offer_taskbar_settings(answer != IDYES);
    }
    show_notices(key_migrated, cl.first, cl.updated);
    start_hello(false);
    SetTimer(main_window, kTimerHello, kHelloPeriodMs, nullptr);
    SetTimer(main_window, kTimerForeground, kForegroundPeriodMs, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    log("beendet");
    return 0;
}

}  // namespace
}  // namespace tolvek

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // First of all: every DLL loaded from now on (the delay-loaded ones, and those that system
    // components load) comes from System32, never from the folder the program was started
    // from, which is often the Downloads folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return tolvek::run(instance);
}
