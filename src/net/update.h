// Update check, download, code-signature check and tidy-up.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tolvek {

// True when the offered version is newer than the running one. Versions compare as lists of
// their digit runs ("v0.6" is 0, 6; a run too long for 32 bits counts as 0), a missing
// position counting as 0.
bool is_newer(std::string_view version);
bool is_newer_than(std::string_view version, std::string_view running);

// "Tolvek-update-" + the version with only ASCII letters, digits and "." kept + ".exe".
std::string update_file_name(std::string_view version);
// The error of a download whose content is not a program: fewer than 100,000 bytes, not
// starting with "MZ", or beyond the download limit. Nothing for a usable file.
std::optional<std::string> update_content_error(std::string_view body, bool too_large);
// What a program file's code signature says: it carries none at all, it carries one that did
// not verify (why, in `problem`), or it carries a valid one by the signer named.
struct Signature {
    enum Kind { None, Invalid, Valid };
    Kind kind = None;
    std::string name;     // the signer's display name (its common name)
    std::string subject;  // the signer certificate's whole subject: organisation, place, country …
    std::string problem;
};

// Whether a download signed as `offered` may replace the running program signed as `own`:
// nothing, or the error text. Only a program that carries no signature at all takes an
// unsigned file; one whose own signature cannot be verified takes nothing. The same publisher
// is the same whole subject, so a renewed certificate (new key, same name) still updates.
std::optional<std::string> update_signature_error(const Signature& own, const Signature& offered);
// Whether a downloaded file that says it is `file_version` may replace `running` when the
// service announced `announced`: it must be the announced version and newer than the running
// one. Nothing, or the error text naming both versions.
std::optional<std::string> update_version_error(const std::optional<std::string>& file_version,
                                                std::string_view announced, std::string_view running);
// A leftover program file in the temporary folder: "Tolvek-update-", "Orvane-update-" or
// "Tolvek-entfernt-" … ".exe", compared byte by byte.
bool is_leftover_file_name(std::string_view name);

// A downloaded, verified update waiting to be started. `held` keeps the checked file open
// against writes until it was started, so the file started is the file checked.
struct PendingUpdate {
    std::string path;
    std::string version;
    std::shared_ptr<void> held;
};

// What the download worker posts back (0x8004): an error text, or the stored update.
struct DownloadOutcome {
    std::string error;
    std::optional<PendingUpdate> update;
};

// The signature of a file. Windows build only.
Signature read_signature(const std::string& path);
// The signer's name of a validly signed file, or nothing. Windows build only.
std::optional<std::string> check_signature(const std::string& path);
// Windows build only.
void remove_leftover_files();
void apply_pending_update();

}  // namespace tolvek
