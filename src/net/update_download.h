// The update download worker. Windows build only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "net/update.h"

namespace tolvek {

// Fetches the offered version and keeps it when it is a program file of that version signed
// like `running_program` (the running program's path; nothing when it is unknown, and then
// nothing is taken).
DownloadOutcome download_update(const std::string& server, const std::string& code, const std::string& version,
                                const std::optional<std::string>& running_program);
// Runs download_update for the running program on a worker thread and posts its outcome
// (0x8004) to the window, with wParam = manual.
void start_download(const std::string& server, const std::string& code, const std::string& version,
                    bool manual, HWND main_window);

}  // namespace tolvek
