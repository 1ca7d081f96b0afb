// Making sure the installation is enrolled: the company-code dialog and codes from links.
#pragma once

#include <string>

#include "base/notices.h"

namespace tolvek {

bool apply_code_from_link(const std::string& code, bool ask, bool announce);

}  // namespace tolvek
