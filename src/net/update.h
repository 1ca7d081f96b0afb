// Update check, download, code-signature check and tidy-up. Windows build only.
#pragma once

#include <optional>
#include <string>

namespace tolvek {

// The signer's name of a validly signed file, or nothing.
std::optional<std::string> check_signature(const std::string& path);
void remove_leftover_files();

}  // namespace tolvek
