// Facts about this computer that the service is told: the Windows edition and the kind of
// microphone. Computed afresh at every use.
#pragma once

#include <optional>
#include <string>

namespace tolvek {

// "bluetooth", "headset", "usb", "eingebaut" or "anderes" for an input device name.
std::string microphone_kind_of(const std::optional<std::string>& device_name);
// "Windows 11 Pro 23H2 (22631)" from the registry texts CurrentBuildNumber, EditionID and
// DisplayVersion (each possibly absent).
std::string windows_edition_of(const std::optional<std::string>& build_number,
                               const std::optional<std::string>& edition_id,
                               const std::optional<std::string>& display_version);

// Windows build: from the registry and wave-input device 0.
std::string windows_edition();
std::string microphone_kind();
// The name of wave-input device 0, or nothing.
std::optional<std::string> microphone_device_name();

}  // namespace tolvek
