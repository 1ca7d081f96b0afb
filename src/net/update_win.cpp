#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <thread>

#include "base/app_state.h"
#include "base/log.h"
#include "base/messages.h"
#include "base/settings.h"
#include "build_config.h"
#include "net/http.h"
#include "net/program_file.h"
#include "net/update.h"
#include "net/update_download.h"
#include "util/platform.h"
#include "util/win_handles.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

std::string update_dir() { return path_join(install_dir(), "update"); }

// The raw download answer: errors of 400 and above in the service's words, a body that broke
// off, or the body itself.
std::variant<HttpResponse, ServiceError> interpret_download(const HttpResult& result) {
    if (const auto* error = std::get_if<ServiceError>(&result)) return *error;
    const auto& response = std::get<HttpResponse>(result);
    if (response.status >= 400) {
        return ServiceError {ServiceError::Failed, server_error_text(response.body, response.status)};
    }
    if (!response.read_error.empty()) {
        return ServiceError {ServiceError::Failed, "Download abgebrochen: " + response.read_error};
    }
    return response;
}

// Writes the file and holds it from its creation until it was started: nobody may delete or
// rename it meanwhile (a tidy-up of the update folder by a second hello), and once it is
// written nobody may write to it. The writer lets only readers in; a reader that lets the
// writer be bridges to the final reader that lets no writer in, so the file is never free.
std::shared_ptr<void> save_and_hold(const std::string& path, std::string_view body) {
    const std::wstring name = wide(path);
    // The folder is held while the file is made in it, so that a tidy-up cannot take the folder
    // away in between (once the file is in it, the folder cannot go anyway).
    Handle folder;
    for (int attempt = 0; attempt < 10 && !folder.valid(); ++attempt) {
        create_directories(update_dir());
        folder = Handle(CreateFileW(wide(update_dir()).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    }
    Handle writer(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    folder = Handle();
    if (!writer.valid()) return nullptr;
    if (!write_all(writer.get(), body) || !FlushFileBuffers(writer.get())) return nullptr;
    const Handle bridge(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!bridge.valid() || !writer.close()) return nullptr;
    const HANDLE held = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return nullptr;
    return std::shared_ptr<void>(held, [](void* h) { CloseHandle(h); });
}

}  // namespace

DownloadOutcome download_update(const std::string& server, const std::string& code, const std::string& version,
                                const std::optional<std::string>& running_program) {
    DownloadOutcome outcome;
    const auto answer = with_fallback<HttpResponse>(
        server, [&](const std::string& base) { return get_download(base, "/dl/" + code); },
        interpret_download);
    if (const auto* error = std::get_if<ServiceError>(&answer)) {
        outcome.error = error->message;
        return outcome;
    }
    const HttpResponse& response = std::get<HttpResponse>(answer);
    // Nothing is written unless the answer is a whole program file within the limit.
    if (auto error = update_content_error(response.body, response.too_large)) {
        outcome.error = *error;
        return outcome;
    }
    const std::string path = path_join(update_dir(), update_file_name(version));
    auto held = save_and_hold(path, response.body);
    if (!held) {
        outcome.error = "Update lässt sich nicht speichern: " + os_error_text(GetLastError());
        remove_file(path);
        return outcome;
    }
    Signature own;
    if (running_program) {
        own = read_signature(*running_program);
    } else {
        own.kind = Signature::Invalid;
        own.problem = "Programmdatei nicht gefunden";
    }
    auto error = update_signature_error(own, read_signature(path));
    // Both checks read the file as it lies on the disk, held since it was written.
    if (!error) error = update_version_error(file_version(read_file(path).value_or("")), version, kVersion);
    if (error) {
        held.reset();
        remove_file(path);
        outcome.error = *error;
        return outcome;
    }
    outcome.update = PendingUpdate {path, version, std::move(held)};
    return outcome;
}

Signature read_signature(const std::string& path) {
    Signature signature;
    // Whether the file carries a signature at all is read from the file itself: only that
    // makes an unsigned program, whatever the verification says.
    const auto bytes = read_file(path);
    if (!bytes) {
        signature.kind = Signature::Invalid;
        signature.problem = "Datei nicht lesbar: " + os_error_text(GetLastError());
        return signature;
    }
    if (!carries_signature(*bytes)) return signature;
    signature.kind = Signature::Invalid;

    const std::wstring file_path = wide(path);
    WINTRUST_FILE_INFO file {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = file_path.c_str();
    WINTRUST_DATA data {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG verdict = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (verdict != 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(verdict));
        signature.problem = std::string("WinVerifyTrust ") + code;
    } else if (CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData)) {
        CRYPT_PROVIDER_SGNR* sgnr = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
        CRYPT_PROVIDER_CERT* cert = sgnr ? WTHelperGetProvCertFromChain(sgnr, 0) : nullptr;
        if (cert && cert->pCert) {
            wchar_t name[256] {};
            if (CertGetNameStringW(cert->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256) > 1) {
                signature.name = narrow(std::wstring_view(name, wcsnlen(name, 256)));
            }
            CERT_NAME_BLOB* subject = &cert->pCert->pCertInfo->Subject;
            const DWORD flags = CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG;
            const DWORD length = CertNameToStrW(X509_ASN_ENCODING, subject, flags, nullptr, 0);
            if (length > 1) {
                std::wstring text(length, L'\0');
                CertNameToStrW(X509_ASN_ENCODING, subject, flags, text.data(), length);
                signature.subject = narrow(std::wstring_view(text.c_str()));
            }
        }
        if (signature.name.empty() || signature.subject.empty()) {
            signature.problem = "kein Zertifikat des Unterzeichners";
        } else {
            signature.kind = Signature::Valid;
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return signature;
}

std::optional<std::string> check_signature(const std::string& path) {
    Signature signature = read_signature(path);
    if (signature.kind != Signature::Valid) return std::nullopt;
    return std::move(signature.name);
}

void start_download(const std::string& server, const std::string& code, const std::string& version, bool manual,
                    HWND main_window) {
    // Errors are values; an exception here is an internal fault and ends the program.
    std::thread([server, code, version, manual, main_window]() noexcept {
        post_record(main_window, kMsgDownload, manual ? 1 : 0,
                    std::make_unique<DownloadOutcome>(download_update(server, code, version, program_path())));
    }).detach();
}

void apply_pending_update() {
    std::shared_ptr<PendingUpdate> pending;
    HWND window;
    {
        auto app = lock_app_state();
        if (!app->pending_update) return;
        window = app->main_window;
        if (app->phase != 0) {
            SetTimer(window, kTimerUpdateRetry, kUpdateRetryMs, nullptr);
            return;
        }
        pending = std::move(app->pending_update);
    }
    KillTimer(window, kTimerUpdateRetry);
    log("Update wird eingespielt");
    lock_app_state()->update_started = true;
    if (!start_program("\"" + pending->path + "\" --update")) {
        log("Update ließ sich nicht starten");
        lock_app_state()->update_started = false;
    }
}

void remove_leftover_files() {
    remove_tree(update_dir());
    const std::string temp = temp_dir();
    WIN32_FIND_DATAW found {};
    const HANDLE search = FindFirstFileW(wide(path_join(temp, "*.exe")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = narrow(found.cFileName);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && is_leftover_file_name(name)) {
            remove_file(path_join(temp, name));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace tolvek
