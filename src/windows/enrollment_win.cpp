#include <windows.h>
#include <commctrl.h>

#include "base/log.h"
#include "base/notices.h"
#include "base/app_state.h"
#include "net/hello.h"
#include "windows/company_code.h"
#include "windows/dialog_frame.h"
#include "windows/dialogs.h"
#include "windows/enrollment.h"
#include "windows/window_procs.h"
#include "util/win_text.h"

namespace tolvek {

namespace {

constexpr char kCodeHint[] = "Den Code finden Sie in der Einladung oder bei Ihrer IT.\nEr sieht so aus: ST-3PVA-8RKE";

}  // namespace

std::optional<std::string> ask_company_code(const std::string& heading, const std::string& body) {
    TolvekDialogState state;
    HWND dialog = create_dialog(L"TolvekDialog", heading, body, 440, 220, state);
    if (!dialog) return std::nullopt;
    HWND field = add_control(dialog, L"EDIT", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_UPPERCASE,
                             24, 106, 392, 28, kIdEdit, DialogFont::Body);
    SendMessageW(field, EM_LIMITTEXT, 20, 0);
    SendMessageW(field, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"ST-XXXX-XXXX"));
    add_buttons(dialog, 440, 220, {{"Anmelden", kIdPrimary}, {"Abbrechen", kIdSecond}});
    SetFocus(field);
    run_dialog(dialog);
    if (!state.result) return std::nullopt;
    if (auto code = normalize_company_code(*state.result)) return code;
    return trim_unicode_space(*state.result);
}

namespace {

// What one run of the asking loop does with a code it could not use.
struct EnrollRun {
    bool remember_refused;  // a refused code stays in memory, so the next try asks at once
    bool save_unreachable;  // a code the service could not be asked about is saved for next time
};

// Tries `code` first (when there is one), then asks until the service accepts a code, the user
// gives up or the service cannot be reached. Nothing but an accepted code changes the login.
bool enroll_loop(const std::string& server, std::string code, EnrollRun run) {
    for (bool first = true;; first = false) {
        std::string tried;
        if (first && !code.empty()) {
            tried = code;
        } else {
            if (process_flags().quiet) {
                log("Anmeldung: kein gültiger Firmen-Code, stille Installation fragt nicht nach");
                return false;
            }
            const auto typed = code.empty()
                                   ? ask_company_code("Firmen-Code eingeben", kCodeHint)
                                   : ask_company_code("Code nicht angenommen",
                                                      "Bitte den aktuellen Firmen-Code eingeben.\nEr "
                                                      "sieht so aus: ST-3PVA-8RKE");
            if (!typed || typed->empty()) return false;
            tried = *typed;
        }
        const auto result = enroll(server, tried);
        if (const auto* accepted = std::get_if<Enrollment>(&result)) {
            {
                auto app = lock_app_state();
                app->settings.code = tried;
                app->settings.token = accepted->token;
                app->settings.firm = accepted->firm;
                app->settings.audio = accepted->audio;
                app->offered_version = accepted->latest;
                save_settings(app->settings);
            }
            log("angemeldet");
            return true;
        }
        const ServiceError& error = std::get<ServiceError>(result);
        code = tried;
        if (error.kind == ServiceError::Rejected) {
            log("Anmeldung abgelehnt: " + error.message);
            if (run.remember_refused) lock_app_state()->settings.code = tried;
            continue;
        }
        log("Anmeldung fehlgeschlagen: " + error.message);
        if (run.save_unreachable) {
            auto app = lock_app_state();
            app->settings.code = tried;
            save_settings(app->settings);
        }
        show_balloon("Tolvek", "Anmeldung gerade nicht möglich: " + error.message, true);
        return false;
    }
}

}  // namespace

bool ensure_enrolled() {
    std::string server, code;
    {
        auto app = lock_app_state();
        if (!app->settings.token.empty()) return true;
        server = app->settings.server;
        code = app->settings.code;
    }
    return enroll_loop(server, code, {true, true});
}

bool switch_company_code(const std::string& code) {
    std::string server;
    bool enrolled;
    {
        auto app = lock_app_state();
        server = app->settings.server;
        enrolled = !app->settings.token.empty();
    }
    // The settings keep the current login while the loop asks: a save meanwhile (a hello's
    // answer) writes that, never a new code without a token. A user not enrolled yet keeps an
    // untried code for the next start, as a start-up enrollment does.
    return enroll_loop(server, code, {false, !enrolled});
}

bool apply_code_from_link(const std::string& code, bool ask, bool announce) {
    std::string old_code, old_token, old_firm;
    {
        auto app = lock_app_state();
        old_code = app->settings.code;
        old_token = app->settings.token;
        old_firm = app->settings.firm;
    }
    if (!old_token.empty()) {
        if (code == old_code) {
            if (announce) show_balloon("Tolvek", "Tolvek ist bereits mit " + old_firm + " verbunden.", false);
            return true;
        }
        if (ask && message_box("Tolvek mit einer anderen Firma verbinden?\n\nFirmen-Code: " + code +
                                   "\nBisher verbunden mit " + old_firm + ".",
                               MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return true;
        }
    }
    if (!switch_company_code(code)) return !old_token.empty();
    log("Firmen-Code übernommen");
    if (announce) {
        const std::string firm = lock_app_state()->settings.firm;
        show_balloon("Tolvek", "Angemeldet für " + firm + ".", false);
    }
    return true;
}

}  // namespace tolvek
