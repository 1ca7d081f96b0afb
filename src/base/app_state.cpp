#include "base/app_state.h"

#include <cstdio>
#include <cstdlib>

namespace tolvek {
namespace {

std::mutex g_mutex;
std::unique_ptr<AppState> g_state;
ProcessFlags g_flags;

}  // namespace

AppStateLock::AppStateLock() : lock_(g_mutex), state_(g_state.get()) {
    if (!state_) {
        std::fputs("App nicht initialisiert\n", stderr);
        std::abort();
    }
}

void init_app_state(AppState state) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state = std::make_unique<AppState>(std::move(state));
}

bool app_state_ready() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state != nullptr;
}

const ProcessFlags& process_flags() { return g_flags; }
void set_process_flags(ProcessFlags flags) { g_flags = flags; }

}  // namespace tolvek
