// The arguments as any text (split at NUL bytes): read without failing; a company code found is
// never empty, a code from a link says so only when there is one, and the store edition is
// always quiet.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "shell/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    const tolvek::CommandLine cl = tolvek::parse_command_line(args);
    if (cl.code) FUZZ_CHECK(!cl.code->empty());
    if (cl.from_link) FUZZ_CHECK(cl.code.has_value());
    if (cl.store_install) FUZZ_CHECK(cl.quiet);
    return 0;
}
