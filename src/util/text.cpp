#include "util/text.h"

#include <algorithm>

#include "util/case_tables.h"

namespace tolvek {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i]; advances i. Returns kReplacement for a bad sequence
// (consuming one byte) and sets ok to false.
char32_t decode_utf8(std::string_view text, std::size_t& i, bool& ok) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ok = false;
        ++i;
        return kReplacement;
    }
    if (i + extra >= text.size()) {
        ok = false;
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            ok = false;
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ok = false;
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return cp;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool ok = true;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = decode_utf8(text, i, ok);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        append_utf8(out, cp);
    }
    return out;
}

bool is_valid_utf8(std::string_view text) {
    bool ok = true;
    for (std::size_t i = 0; i < text.size() && ok;) decode_utf8(text, i, ok);
    return ok;
}

std::u32string utf8_to_utf32(std::string_view text) {
    std::u32string out;
    bool ok = true;
    for (std::size_t i = 0; i < text.size();) out += decode_utf8(text, i, ok);
    return out;
}

std::string utf32_to_utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        const bool valid = c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        append_utf8(out, valid ? c : kReplacement);
    }
    return out;
}

namespace {

std::u32string map_case(std::string_view text, const CaseMapping* table, std::size_t size) {
    std::u32string out;
    for (char32_t c : utf8_to_utf32(text)) {
        const CaseMapping* end = table + size;
        const CaseMapping* it = std::lower_bound(
            table, end, c, [](const CaseMapping& m, char32_t v) { return m.from < v; });
        if (it == end || it->from != c) {
            out += c;
            continue;
        }
        for (char32_t m : it->to) {
            if (m != 0) out += m;
        }
    }
    return out;
}

}  // namespace

std::u32string to_upper_unicode(std::string_view text) {
    return map_case(text, kUpperCase, kUpperCase_size);
}

std::u32string to_lower_unicode(std::string_view text) {
    return map_case(text, kLowerCase, kLowerCase_size);
}

bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::string trim_unicode_space(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    // Walk whole code points from the front, then from the back.
    while (begin < end) {
        std::size_t next = begin;
        bool ok = true;
        if (!is_unicode_space(decode_utf8(text, next, ok))) break;
        begin = next;
    }
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t next = start;
        bool ok = true;
        if (!is_unicode_space(decode_utf8(text, next, ok)) || next != end) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string lowercase(std::string_view text) { return utf32_to_utf8(to_lower_unicode(text)); }

std::string to_lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool starts_with_ascii_ci(std::string_view text, std::string_view lower_prefix) {
    return text.size() >= lower_prefix.size() &&
           to_lower_ascii(text.substr(0, lower_prefix.size())) == lower_prefix;
}

std::string hex_encode(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> hex_decode(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

}  // namespace tolvek
