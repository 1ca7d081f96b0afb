#include "shell/main_window.h"

#include <thread>

#include "base/log.h"
#include "base/messages.h"
#include "shell/tones.h"
#include "shell/tray.h"
#include "dictation/dictation_cycle.h"
#include "dictation/insertion.h"
#include "dictation/talk_key.h"
#include "net/hello.h"
#include "net/update.h"
#include "net/update_download.h"
#include "setup/autostart.h"
#include "setup/setup.h"
#include "setup/single_instance.h"
#include "windows/company_code.h"
#include "windows/dialog_frame.h"
#include "windows/dialogs.h"
#include "windows/enrollment.h"
#include "dictation/key_names.h"
#include "windows/overlay.h"
#include "windows/tray_promotion.h"
#include "windows/window_procs.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

std::vector<RecentDictation> g_menu_recent;  // the entries the last menu showed

void toggle_and_save(bool Settings::*field) {
    auto app = lock_app_state();
    app->settings.*field = !(app->settings.*field);
    save_settings(app->settings);
}

void change_talk_key() {
    unregister_talk_key();
    TalkKey old;
    {
        auto app = lock_app_state();
        old = {app->settings.vk, app->settings.mods};
    }
    const auto chosen = choose_key(key_name(old.vk, old.mods));
    if (!chosen) {
        register_talk_key();
    } else {
        {
            auto app = lock_app_state();
            app->settings.vk = chosen->vk;
            app->settings.mods = chosen->mods;
        }
        if (register_talk_key()) {
            save_settings(lock_app_state()->settings);
            show_balloon("Tolvek", "Neue Taste: " + key_name(chosen->vk, chosen->mods), false);
        } else {
            {
                auto app = lock_app_state();
                app->settings.vk = old.vk;
                app->settings.mods = old.mods;
            }
            register_talk_key();
        }
    }
    update_tray(false);
}

void change_company_code() {
    const std::string firm = lock_app_state()->settings.firm;
    const auto code = firm.empty()
                          ? ask_company_code("Firmen-Code eingeben",
                                             "Den Code finden Sie in der Einladung oder bei Ihrer "
                                             "IT.\nEr sieht so aus: ST-3PVA-8RKE")
                          : ask_company_code("Angemeldet bei " + firm,
                                             "Mit einem neuen Firmen-Code wechseln Sie die Firma.");
    if (!code || code->empty() || !switch_company_code(*code)) return;
    const std::string enrolled_firm = lock_app_state()->settings.firm;
    show_balloon("Tolvek", "Angemeldet für " + enrolled_firm + ".", false);
}

void show_tray_menu(HWND window) {
    MenuState state;
    {
        auto app = lock_app_state();
        state.settings = app->settings;
        state.offered_version = app->offered_version;
        state.recent = app->recent;
        state.phase = app->phase;
    }
    state.autostart = autostart_enabled();
    state.resend = kept_recording_available();
    HMENU menu = create_menu(build_menu(state));
    POINT cursor {};
    GetCursorPos(&cursor);
    track_foreground();
    // The menu only closes on a click elsewhere when the owner is the foreground window.
    SetForegroundWindow(window);
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_NONOTIFY | TPM_RETURNCMD, cursor.x, cursor.y, 0,
                       window, nullptr));
    // Lets the menu close properly on the next click (a known behaviour of tray menus).
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    g_menu_recent = std::move(state.recent);
    if (command != 0) run_menu_command(window, command);
    // The menu took the foreground from an open dialog: give it back, with its keyboard focus.
    bring_open_dialog_forward();
}

void on_hello(HWND window, std::unique_ptr<HelloOutcome> outcome) {
    bool auto_update;
    std::optional<std::string> announced;
    std::string server, code;
    {
        auto app = lock_app_state();
        apply_hello(*outcome, app->settings, app->offered_version);
        save_settings(app->settings);
        auto_update = app->settings.auto_update;
        announced = app->announced_version;
        server = app->settings.server;
        code = app->settings.code;
    }
    remove_leftover_files();
    const HelloDecision decision = decide_hello(*outcome, auto_update, announced);
    if (decision.announced_version) lock_app_state()->announced_version = decision.announced_version;
    if (decision.balloon) {
        show_balloon(decision.balloon->title, decision.balloon->text, decision.balloon->warning);
    }
    if (decision.download) {
        start_download(server, code, *outcome->offered_version, outcome->manual, window);
    }
}

void on_download(WPARAM manual, std::unique_ptr<DownloadOutcome> outcome) {
    if (!outcome->update) {
        log("Update: " + outcome->error);
        if (manual) show_balloon("Tolvek", outcome->error, true);
        return;
    }
    lock_app_state()->pending_update = std::make_shared<PendingUpdate>(*outcome->update);
    apply_pending_update();
}

void on_hand_off(const std::string& text) {
    if (text == "C") {
        show_balloon("Tolvek läuft bereits",
                     "Das Fuchs-Symbol unten rechts öffnet das Menü. Diktieren mit der Taste, wie "
                     "gewohnt.",
                     false);
        return;
    }
    const auto code = extract_link_code(text);
    if (!code) return;
    apply_code_from_link(*code, !text.empty() && text[0] == 'L', true);
    update_tray(false);
}

LRESULT on_copy_data(HWND window, const COPYDATASTRUCT* data) {
    if (!data || data->dwData != kHandOffMarker || !data->lpData) return TRUE;
    const std::u16string_view units(static_cast<const char16_t*>(data->lpData), data->cbData / 2);
    // Posted, not handled here: the sender waits in SendMessage until this returns.
    post_record(window, kMsgHandOff, 0, std::make_unique<std::string>(utf16_to_utf8(units)));
    return TRUE;
}

void on_timer(HWND window, WPARAM id) {
    switch (id) {
    case kTimerReleasePoll: poll_talk_key_release(); break;
    case kTimerRecordingLimit: finish_recording(); break;
    case kTimerClipboard:
        KillTimer(window, kTimerClipboard);
        restore_clipboard();
        break;
    case kTimerHello: start_hello(false); break;
    case kTimerModifierPoll: poll_modifier_keys(); break;
    case kTimerUpdateRetry: apply_pending_update(); break;
    case kTimerBusy: {
        bool refresh;
        {
            auto app = lock_app_state();
            refresh = ++app->busy_tick % 3 == 0;
        }
        if (refresh) update_tray(false);
        invalidate_overlay();
        break;
    }
    case kTimerForeground: track_foreground(); break;
    case kTimerOverlay: overlay_tick(); break;
    default: break;
    }
}

void on_hot_key(WPARAM id) {
    if (id != kTalkHotKeyId) return;
    std::uint8_t phase;
    bool hold;
    {
        auto app = lock_app_state();
        phase = app->phase;
        hold = app->settings.hold;
    }
    if (phase == 0) {
        start_dictation();
    } else if (phase == 1 && !hold) {
        finish_recording();
    }
}

LRESULT handle(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case kMsgTray: {
        const UINT mouse = LOWORD(lparam);
        if (mouse == WM_CONTEXTMENU || mouse == WM_LBUTTONUP || mouse == WM_RBUTTONUP) {
            show_tray_menu(window);
        }
        return 0;
    }
    case kMsgTranscription:
        if (auto result = take_record<DictationResult>(msg, lparam)) handle_result(std::move(result));
        return 0;
    case kMsgHello:
        if (auto outcome = take_record<HelloOutcome>(msg, lparam)) on_hello(window, std::move(outcome));
        return 0;
    case kMsgDownload:
        if (auto outcome = take_record<DownloadOutcome>(msg, lparam)) on_download(wparam, std::move(outcome));
        return 0;
    case kMsgHandOff:
        if (auto text = take_record<std::string>(msg, lparam)) on_hand_off(*text);
        return 0;
    case kMsgModifierDown: wake_modifier_poll(); return 0;
    case kMsgStartDictation:
        // Any program on the desktop can post these: only a run a test started takes them.
        if (process_flags().test_hooks && lock_app_state()->phase == 0) start_dictation();
        return 0;
    case kMsgFinishRecording:
        if (process_flags().test_hooks) finish_recording();
        return 0;
    case kMsgMenuCommand:
        if (process_flags().test_hooks) run_menu_command(window, static_cast<unsigned>(wparam));
        return 0;
    case kMsgDropKeyboardHook:
        if (process_flags().test_hooks) drop_keyboard_hook_for_test();
        return 0;
    case WM_RENDERFORMAT: render_dictation(static_cast<unsigned>(wparam)); return 0;
    case WM_RENDERALLFORMATS: render_all_dictation(); return 0;
    case WM_DESTROYCLIPBOARD: dictation_left_clipboard(); return 0;
    case WM_POWERBROADCAST:
        if (wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND) talk_key_after_resume("Wiederaufnahme");
        return TRUE;
    case WM_WTSSESSION_CHANGE:
        if (wparam == WTS_SESSION_UNLOCK) talk_key_after_resume("Entsperren");
        return 0;
    case WM_COPYDATA: return on_copy_data(window, reinterpret_cast<const COPYDATASTRUCT*>(lparam));
    case WM_HOTKEY: on_hot_key(wparam); return 0;
    case WM_TIMER: on_timer(window, wparam); return 0;
    case WM_DESTROY:
        RemovePropW(window, kQuietProperty);
        stop_running_capture();
        UnregisterHotKey(window, kTalkHotKeyId);
        remove_tray_icon();
        PostQuitMessage(0);
        return 0;
    default: {
        // Registered messages lie in 0xC000..0xFFFF; the window sees others before start-up
        // has filled the state.
        if (msg >= 0xC000 && app_state_ready() && msg == lock_app_state()->taskbar_created_msg) {
            // Explorer restarted: the icon must be added again.
            update_tray(true);
            if (!lock_app_state()->settings.store) std::thread(promote_tray_icon).detach();
            return 0;
        }
        return DefWindowProcW(window, msg, wparam, lparam);
    }
    }
}

}  // namespace

void run_menu_command(HWND window, unsigned command) {
    if (command != kCmdQuit && lock_app_state()->phase != 0) return;  // a dictation is running
    switch (command) {
    case kCmdChangeKey: change_talk_key(); break;
    case kCmdHold:
    case kCmdTap: {
        {
            auto app = lock_app_state();
            app->settings.hold = command == kCmdHold;
            save_settings(app->settings);
        }
        update_tray(false);
        break;
    }
    case kCmdSounds:
        toggle_and_save(&Settings::sounds);
        play_sound(kToneStart);
        break;
    case kCmdDictionary: open_dictionary(); break;
    case kCmdAutostart: set_autostart(!autostart_enabled()); break;
    case kCmdCompanyCode: change_company_code(); break;
    case kCmdUpdate: start_hello(true); break;
    case kCmdAutoUpdate: toggle_and_save(&Settings::auto_update); break;
    case kCmdTechInfo: open_tech_info(); break;
    case kCmdUninstall:
        if (uninstall(true)) DestroyWindow(window);
        break;
    case kCmdResetOverlay: reset_overlay_position(); break;
    case kCmdTrayPromotion: offer_taskbar_settings(false); break;
    case kCmdCompress: toggle_and_save(&Settings::compress); break;
    case kCmdQuit: DestroyWindow(window); break;
    case kCmdResend: resend_kept_recording(); break;
    case kCmdAllRecent: {
        // The window shows the list as it is when it opens.
        std::vector<RecentDictation> recent = lock_app_state()->recent;
        open_recent_dictations(recent);
        break;
    }
    default:
        if (command >= kCmdRecentFirst && command < kCmdRecentFirst + 10) {
            insert_recent(g_menu_recent, static_cast<int>(command - kCmdRecentFirst));
        }
        break;
    }
}

void register_window_classes(HINSTANCE instance) {
    const struct {
        const wchar_t* name;
        WNDPROC proc;
    } classes[] = {
        {L"TolvekMain", main_window_proc},     {L"TolvekOverlay", overlay_proc},
        {L"TolvekDialog", dialog_proc},        {L"TolvekWords", words_proc},
        {L"TolvekPills", pills_proc},          {L"TolvekKeyDialog", key_dialog_proc},
        {L"TolvekKeycaps", keycaps_proc},
    };
    // Both sizes loaded once here: a class given only the large icon gets its own scaled copy
    // made from the resource, seven times over at every start.
    const HICON program_icon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    const auto small_icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                          GetSystemMetrics(SM_CXSMICON),
                                                          GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    for (const auto& c : classes) {
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = c.proc;
        wc.hInstance = instance;
        wc.hIcon = program_icon;
        wc.hIconSm = small_icon;
        wc.hCursor = arrow;
        wc.lpszClassName = c.name;
        RegisterClassExW(&wc);
    }
}

// Errors are values here; what still throws is an internal fault (memory exhausted, no thread),
// and that ends the program: noexcept turns such an exception into std::terminate before it
// could cross into the system's dispatcher or leave the program half-working.
LRESULT CALLBACK main_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    return handle(window, msg, wparam, lparam);
}

}  // namespace tolvek
