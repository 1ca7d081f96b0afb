// The arguments as any text (split at NUL bytes): read without failing; a company code found is
// never empty, a code from a link says so only when there is one, and the store edition is
// always quiet. Whatever follows the argument after --link (the link) changes nothing.
#include <cstddef>
#include <algorithm>
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
    if (const auto link = std::find(args.begin(), args.end(), "--link"); link != args.end()) {
        const auto end = link + 1 == args.end() ? args.end() : link + 2;
        const tolvek::CommandLine cut = tolvek::parse_command_line({args.begin(), end});
        FUZZ_CHECK(cut.code == cl.code && cut.from_link == cl.from_link && cut.quiet == cl.quiet &&
                   cut.store_install == cl.store_install && cut.uninstall == cl.uninstall &&
                   cut.sigcheck == cl.sigcheck && cut.sigcheck_file == cl.sigcheck_file &&
                   cut.update == cl.update && cut.first == cl.first && cut.updated == cl.updated);
    }
    return 0;
}
