// Update check, download, code-signature check and tidy-up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvek {

// True when the offered version is newer than the running one. Versions compare as lists of
// their digit runs ("v0.6" is 0, 6), a missing position counting as 0.
bool is_newer(std::string_view version);
bool is_newer_than(std::string_view version, std::string_view running);

// A downloaded, verified update waiting to be started.
struct PendingUpdate {
    std::string path;
    std::string version;
};

// What the download worker posts back (0x8004): an error text, or the stored update.
struct DownloadOutcome {
    std::string error;
    std::optional<PendingUpdate> update;
};

// The signer's name of a validly signed file, or nothing. Windows build only.
std::optional<std::string> check_signature(const std::string& path);
// Windows build only.
void remove_leftover_files();
void apply_pending_update();

}  // namespace tolvek
