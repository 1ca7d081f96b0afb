// Making sure the installation is enrolled: the company-code dialog and codes from links.
#pragma once

#include <string>

namespace tolvek {

// True when a token exists afterwards.
bool ensure_enrolled();
bool apply_code_from_link(const std::string& code, bool ask, bool announce);

}  // namespace tolvek
