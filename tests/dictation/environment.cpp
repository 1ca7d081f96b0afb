#include "environment.h"

#include "core/main_window.h"
#include "core/tray.h"
#include "main/app_state.h"
#include "ui/window_procs.h"

namespace tolvek::test {

ScopedDataDir* DictationEnvironment::data = nullptr;
FakeTray* DictationEnvironment::tray = nullptr;

void DictationEnvironment::SetUp() {
    data = new ScopedDataDir();
    tray = new FakeTray();
    WNDCLASSW wc {};
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TolvekMain";
    RegisterClassW(&wc);
    wc.lpfnWndProc = dialog_proc;
    wc.lpszClassName = L"TolvekDialog";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    RegisterClassW(&wc);
    AppState state;
    state.settings = default_settings();
    state.settings.token = "tok";
    state.settings.code = "ST-3PVA-8RKE";
    state.settings.server = "https://dienst.example";
    state.main_window = CreateWindowExW(0, L"TolvekMain", L"Tolvek", 0, 0, 0, 0, 0, nullptr,
                                        nullptr, wc.hInstance, nullptr);
    state.idle_icon = state.recording_icon = LoadIconW(nullptr, IDI_APPLICATION);
    state.busy_icons.fill(state.idle_icon);
    init_app_state(std::move(state));
    update_tray(true);
}

namespace {
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new DictationEnvironment);
}

}  // namespace tolvek::test
