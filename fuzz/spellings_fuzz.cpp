// schreibweisen.txt as any bytes: every word is valid UTF-8, trimmed, one line and not empty,
// and the words written back read as the same words.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/check.h"
#include "net/dictionary.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> words = tolvek::parse_spellings(bytes);
    for (const std::string& w : words) {
        FUZZ_CHECK(!w.empty());
        FUZZ_CHECK(tolvek::is_valid_utf8(w));
        FUZZ_CHECK(w.find('\n') == std::string::npos);
        FUZZ_CHECK(tolvek::trim_unicode_space(w) == w);
    }
    FUZZ_CHECK(tolvek::parse_spellings(tolvek::spellings_bytes(words)) == words);
    return 0;
}
