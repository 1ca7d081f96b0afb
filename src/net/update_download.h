// The update download worker. Windows build only.
#pragma once

#include <windows.h>

#include <string>

namespace tolvek {

// Fetches the offered version on a worker thread and posts a DownloadOutcome (0x8004) to the
// window, with wParam = manual.
void start_download(const std::string& server, const std::string& code, const std::string& version,
                    bool manual, HWND main_window);

}  // namespace tolvek
