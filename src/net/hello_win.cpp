#include <windows.h>

#include <thread>

#include "base/messages.h"
#include "base/notices.h"
#include "base/app_state.h"
#include "net/hello.h"

namespace tolvek {

void start_hello(bool manual) {
    std::string server, token;
    HWND window;
    {
        auto app = lock_app_state();
        server = app->settings.server;
        token = app->settings.token;
        window = app->main_window;
    }
    if (token.empty()) {
        if (manual) show_balloon("Tolvek", "Bitte zuerst den Firmen-Code eingeben.", true);
        return;
    }
    // Errors are values; an exception here is an internal fault and ends the program.
    std::thread([server = std::move(server), token = std::move(token), manual, window]() noexcept {
        if (auto outcome = hello(server, token, manual)) {
            post_record(window, kMsgHello, 0, std::make_unique<HelloOutcome>(std::move(*outcome)));
        }
    }).detach();
}

}  // namespace tolvek
