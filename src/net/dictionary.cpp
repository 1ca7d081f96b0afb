#include "net/dictionary.h"

#include "base/settings.h"
#include "util/platform.h"
#include "util/text.h"

namespace tolvek {
namespace {

std::string decode_spellings(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool little = byte(0) == 0xFF;
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units += static_cast<char16_t>(little ? byte(i) | byte(i + 1) << 8
                                                  : byte(i) << 8 | byte(i + 1));
        }
        return utf16_to_utf8(units);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (is_valid_utf8(bytes)) return std::string(bytes);
    std::u16string latin1;
    for (unsigned char c : bytes) latin1 += static_cast<char16_t>(c);
    return utf16_to_utf8(latin1);
}

}  // namespace

std::vector<std::string> parse_spellings(std::string_view bytes) {
    const std::string text = decode_spellings(bytes);
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = trim_unicode_space(std::string_view(text).substr(start, end - start));
        if (!line.empty()) words.push_back(std::move(line));
        start = end + 1;
    }
    return words;
}

std::vector<std::string> local_spellings() {
    const auto bytes = read_file(dictionary_path());
    return bytes ? parse_spellings(*bytes) : std::vector<std::string> {};
}

std::string spellings_prompt(const std::vector<std::string>& words) {
    std::string prompt;
    for (const auto& w : words) {
        if (!prompt.empty()) prompt += ", ";
        prompt += w;
    }
    return prompt;
}

}  // namespace tolvek
