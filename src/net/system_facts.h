// Facts about this computer that the service is told.
#pragma once

#include <string>

namespace tolvek {

std::string windows_edition();

}  // namespace tolvek
