#include <windows.h>
#include <shellapi.h>

#include "shell/command_line.h"
#include "util/win_text.h"

namespace tolvek {

std::vector<std::string> split_command_line(std::string_view raw) {
    std::vector<std::string> args;
    int count = 0;
    const std::wstring wraw = wide(raw);
    LPWSTR* argv = CommandLineToArgvW(wraw.c_str(), &count);
    if (!argv) return args;
    for (int i = 0; i < count; ++i) args.push_back(narrow(argv[i]));
    LocalFree(argv);
    return args;
}

}  // namespace tolvek
