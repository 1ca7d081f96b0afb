// What the start-up reads from the argument list. The program name takes part in every scan.
// Everything after `--link` and the one argument that follows it (the link) is ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek {

struct CommandLine {
    bool store_install = false;  // --store, exact
    bool quiet = false;          // --store, or /s -s /quiet --quiet in any case
    bool uninstall = false;      // --uninstall, exact
    bool sigcheck = false;       // --sigcheck, exact
    std::optional<std::string> sigcheck_file;  // the argument after --sigcheck
    // Company code from --code (next argument or "=value") or from the first tolvek: link (the
    // argument after --link included).
    std::optional<std::string> code;
    bool from_link = false;  // the code came from a link, not from --code
    bool update = false;     // --update
    bool first = false;      // --first
    bool updated = false;    // --updated
};

CommandLine parse_command_line(const std::vector<std::string>& args);

// The code a self-install enrols with: the command line's, or one in the program file's name
// (a download named Tolvek-ST-3PVA-8RKE.exe).
std::optional<std::string> install_code(const CommandLine& command_line,
                                        std::string_view program_path);

// Splits a raw command line the way Windows does (CommandLineToArgvW). Windows build only.
std::vector<std::string> split_command_line(std::string_view raw);

}  // namespace tolvek
