#include "environment.h"

#include <mutex>

#include "shell/main_window.h"
#include "shell/tray.h"
#include "base/app_state.h"
#include "windows/overlay.h"
#include "windows/window_procs.h"
#include "util/dpi.h"

namespace tolvek::test {

ScopedDataDir* DictationEnvironment::data = nullptr;
FakeTray* DictationEnvironment::tray = nullptr;

namespace {
std::mutex g_tones_mutex;
std::vector<int> g_tones;

void record_tone(int index, const std::uint8_t*) {
    std::lock_guard<std::mutex> lock(g_tones_mutex);
    g_tones.push_back(index);
}
}  // namespace

std::vector<int> take_tones() {
    std::lock_guard<std::mutex> lock(g_tones_mutex);
    return std::exchange(g_tones, {});
}

void DictationEnvironment::SetUp() {
    data = new ScopedDataDir();
    tray = new FakeTray();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    register_window_classes(instance);
    AppState state;
    state.settings = default_settings();
    state.settings.token = "tok";
    state.settings.code = "ST-3PVA-8RKE";
    state.settings.server = "https://dienst.example";
    state.main_window = CreateWindowExW(0, L"TolvekMain", L"Tolvek", 0, 0, 0, 0, 0, nullptr,
                                        nullptr, instance, nullptr);
    state.idle_icon = state.recording_icon = LoadIconW(nullptr, IDI_APPLICATION);
    state.busy_icons.fill(state.idle_icon);
    state.overlay_window = create_overlay_window(instance);
    state.badge_ears_up = render_fox_badge(scale(24), true);
    state.badge_ears_folded = render_fox_badge(scale(24), false);
    init_app_state(std::move(state));
    update_tray(true);
    build_tones();
    set_tone_player(record_tone);
}

namespace {
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new DictationEnvironment);
}

}  // namespace tolvek::test
