#include "shell/command_line.h"

#include <algorithm>

#include "windows/company_code.h"
#include "util/text.h"

namespace tolvek {

CommandLine parse_command_line(const std::vector<std::string>& all_args) {
    // The link registration starts the program as `Tolvek.exe --link "%1"`, and a program that
    // opens a link may let a quote through, so the rest of the line is the link's to choose:
    // after --link only the next argument counts, as the link, and never as a switch.
    const auto link_switch = std::find(all_args.begin(), all_args.end(), "--link");
    const std::vector<std::string> args(all_args.begin(), link_switch);
    CommandLine c;
    const auto has = [&](std::string_view exact) {
        return std::find(args.begin(), args.end(), exact) != args.end();
    };
    c.store_install = has("--store");
    c.quiet = c.store_install || std::any_of(args.begin(), args.end(), [](const std::string& a) {
                  const std::string lower = to_lower_ascii(a);
                  return lower == "/s" || lower == "-s" || lower == "/quiet" || lower == "--quiet";
              });
    c.uninstall = has("--uninstall");
    if (const auto it = std::find(args.begin(), args.end(), "--sigcheck"); it != args.end()) {
        c.sigcheck = true;
        if (it + 1 != args.end()) c.sigcheck_file = *(it + 1);
    }
    c.update = has("--update");
    c.first = has("--first");
    c.updated = has("--updated");

    for (std::size_t i = 0; i < args.size() && !c.code; ++i) {
        if (args[i] == "--code" && i + 1 < args.size()) {
            c.code = normalize_company_code(args[i + 1]);
        } else if (args[i].rfind("--code=", 0) == 0) {
            c.code = normalize_company_code(std::string_view(args[i]).substr(7));
        }
    }
    if (!c.code) {
        auto link = std::find_if(args.begin(), args.end(), [](const std::string& a) {
            return starts_with_ascii_ci(a, "tolvek:");
        });
        const std::string* link_text = link != args.end() ? &*link : nullptr;
        if (!link_text && link_switch != all_args.end() && link_switch + 1 != all_args.end() &&
            starts_with_ascii_ci(*(link_switch + 1), "tolvek:")) {
            link_text = &*(link_switch + 1);
        }
        if (link_text) {
            c.code = extract_link_code(*link_text);
            c.from_link = c.code.has_value();
        }
    }
    return c;
}

std::optional<std::string> install_code(const CommandLine& command_line,
                                        std::string_view program_path) {
    if (command_line.code) return command_line.code;
    return extract_link_code(program_path);
}

}  // namespace tolvek
