// Text as any bytes: UTF-8 to UTF-16 and back is lossless for valid UTF-8 and stable for the
// rest; lower case is valid UTF-8 and stays as it is when lowered again; hex goes there and
// back; of two version texts at most one is newer, and none is newer than itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check.h"
#include "net/update.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string wide = tolvek::utf8_to_utf16(bytes);
    const std::string narrow = tolvek::utf16_to_utf8(wide);
    FUZZ_CHECK(tolvek::is_valid_utf8(narrow));
    FUZZ_CHECK(tolvek::utf8_to_utf16(narrow) == wide);
    if (tolvek::is_valid_utf8(bytes)) FUZZ_CHECK(narrow == bytes);

    const std::string lower = tolvek::lowercase(narrow);
    FUZZ_CHECK(tolvek::is_valid_utf8(lower));
    FUZZ_CHECK(tolvek::lowercase(lower) == lower);

    const std::vector<std::uint8_t> raw(data, data + size);
    FUZZ_CHECK(tolvek::hex_decode(tolvek::hex_encode(raw)) == raw);

    const std::string_view a = bytes.substr(0, size / 2), b = bytes.substr(size / 2);
    FUZZ_CHECK(!(tolvek::is_newer_than(a, b) && tolvek::is_newer_than(b, a)));
    FUZZ_CHECK(!tolvek::is_newer_than(a, a));
    return 0;
}
