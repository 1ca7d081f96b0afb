// Company codes of the form ST-XXXX-XXXX: finding one in any text (links, hand-off texts,
// program file names) and reading loosely typed input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvek {

std::optional<std::string> extract_link_code(std::string_view text);
std::optional<std::string> normalize_company_code(std::string_view text);

}  // namespace tolvek
