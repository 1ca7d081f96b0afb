// Facts about this computer that the service is told.
#pragma once

#include <string>

namespace tolvek {

std::string windows_edition();
// "bluetooth", "headset", "usb", "eingebaut" or "anderes".
std::string microphone_kind();

}  // namespace tolvek
