// Making sure the installation is enrolled: the company-code dialog and codes from links.
#pragma once

#include <string>

#include "base/notices.h"

namespace tolvek {

bool apply_code_from_link(const std::string& code, bool ask, bool announce);
// Tries another company code. True when it enrolled; otherwise an existing login stays as it
// was, in memory and on disk.
bool switch_company_code(const std::string& code);

}  // namespace tolvek
