// What a Windows program file says about itself, read from its bytes: whether it carries a code
// signature at all, and the file version of its version resource. The bytes may come from the
// network: every offset is checked against the image before it is read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvek {

// True when the image's certificate table (where Authenticode signatures live) is not empty.
// A file that is not a PE image carries none.
bool carries_signature(std::string_view image);

// The file version of the first version resource as "major.minor.build", with ".revision"
// only when it is not 0; nothing when the image has no readable version resource.
std::optional<std::string> file_version(std::string_view image);

}  // namespace tolvek
