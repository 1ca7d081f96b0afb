// UTF-8 is the program's text everywhere; UTF-16 appears only at system calls and in
// clipboard or file data that is UTF-16 by nature.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek {

// Invalid or truncated UTF-8 sequences become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);
bool is_valid_utf8(std::string_view text);

// Full Unicode case conversion (ß becomes SS, ﬆ becomes ST), one code point per element.
std::u32string to_upper_unicode(std::string_view text);
std::u32string to_lower_unicode(std::string_view text);
std::u32string utf8_to_utf32(std::string_view text);
std::string utf32_to_utf8(std::u32string_view text);
// Full Unicode lower case, UTF-8 in and out.
std::string lowercase(std::string_view text);

// Unicode white space (the White_Space property) removed at both ends; a CR is white space.
std::string trim_unicode_space(std::string_view text);
bool is_unicode_space(char32_t c);

std::string to_lower_ascii(std::string_view text);
bool starts_with_ascii_ci(std::string_view text, std::string_view lower_prefix);

std::string hex_encode(const std::vector<std::uint8_t>& bytes);
// Even number of hex digits of either case, or nothing.
std::optional<std::vector<std::uint8_t>> hex_decode(std::string_view text);

}  // namespace tolvek
