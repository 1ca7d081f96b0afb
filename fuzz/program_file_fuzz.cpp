// A downloaded program file as any bytes: reading its version and its certificate table never
// reads outside it, and a version found has three or four numbers.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/check.h"
#include "net/program_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    tolvek::carries_signature(image);
    if (const auto version = tolvek::file_version(image)) {
        std::size_t dots = 0;
        for (char c : *version) {
            FUZZ_CHECK(c == '.' || (c >= '0' && c <= '9'));
            dots += c == '.';
        }
        FUZZ_CHECK(dots == 2 || dots == 3);
    }
    return 0;
}
