#include "windows/company_code.h"

#include "util/text.h"

namespace tolvek {
namespace {

bool is_ascii_alnum(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string format_code(std::u32string_view first, std::u32string_view second) {
    std::string out = "ST-";
    for (char32_t c : first) out += static_cast<char>(c);
    out += '-';
    for (char32_t c : second) out += static_cast<char>(c);
    return out;
}

}  // namespace

std::optional<std::string> extract_link_code(std::string_view text) {
    const std::u32string chars = to_upper_unicode(text);
    for (std::size_t i = 0; i + 12 <= chars.size(); ++i) {
        if (chars[i] != 'S' || chars[i + 1] != 'T' || chars[i + 2] != '-' || chars[i + 7] != '-') {
            continue;
        }
        bool ok = true;
        for (std::size_t k : {3, 4, 5, 6, 8, 9, 10, 11}) ok = ok && is_ascii_alnum(chars[i + k]);
        if (ok) return format_code(chars.substr(i + 3, 4), chars.substr(i + 8, 4));
    }
    return std::nullopt;
}

std::optional<std::string> normalize_company_code(std::string_view text) {
    if (auto code = extract_link_code(text)) return code;
    std::u32string kept;
    for (char32_t c : to_upper_unicode(text)) {
        if (is_ascii_alnum(c)) kept += c;
    }
    if (kept.size() == 10 && kept[0] == 'S' && kept[1] == 'T') kept.erase(0, 2);
    if (kept.size() != 8) return std::nullopt;
    return format_code(std::u32string_view(kept).substr(0, 4),
                       std::u32string_view(kept).substr(4, 4));
}

}  // namespace tolvek
