// config.json as any bytes: read forgivingly, written back and read again to the same settings.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/settings.h"
#include "fuzz/check.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tolvek::Settings read = tolvek::parse_settings(bytes).settings;
    const std::string written = tolvek::serialize_settings(read);
    FUZZ_CHECK(tolvek::is_valid_utf8(written));
    const tolvek::ParsedSettings again = tolvek::parse_settings(written);
    FUZZ_CHECK(!again.server_rewritten);
    FUZZ_CHECK(again.settings == read);
    return 0;
}
