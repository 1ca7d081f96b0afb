// Start time under Wine: from CreateProcess until Tolvek.exe's icon reaches the notification
// area (a stand-in tray of this process receives it), beside the time until the empty program
// has created its window. Nineteen starts each, alternating; prints the median and the best.
// With "prepare" it only writes the enrolled settings that the idle measurement of
// scripts/bench starts Tolvek.exe with.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/settings.h"
#include "e2e/fake_tray.h"
#include "e2e/tolvek_process.h"
#include "net/devservice_client.h"
#include "net/hello.h"

using namespace tolvek;
using Clock = std::chrono::steady_clock;

namespace {

bool prepare() {
    const test::DevService service;
    const auto enrolled = enroll(service.base(), "ST-3PVA-8RKE");
    if (!std::holds_alternative<Enrollment>(enrolled)) return false;
    Settings s = default_settings();
    s.server = service.base();
    s.token = std::get<Enrollment>(enrolled).token;
    s.code = "ST-3PVA-8RKE";
    s.firm = std::get<Enrollment>(enrolled).firm;
    s.tray_ask = false;
    save_settings(s);
    return true;
}

// Milliseconds until `ready` holds, pumping this thread's messages; negative when it never did.
double time_until(const std::function<bool()>& ready, Clock::time_point start) {
    while (Clock::now() - start < std::chrono::seconds(30)) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (ready()) return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    return -1;
}

void close_and_wait(const wchar_t* window_class, test::TolvekProcess& process) {
    if (HWND window = FindWindowW(window_class, nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
    process.wait(10000);
}

void print(const char* name, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-36s median %7.1f ms, best %7.1f ms\n", name, times[times.size() / 2], times.front());
}

}  // namespace

int main(int argc, char** argv) {
    if (!prepare()) {
        std::fputs("tolvek_start: the development service did not enrol\n", stderr);
        return 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "prepare") == 0) return 0;
    SetEnvironmentVariableW(L"TOLVEK_PORTABLE", L"");
    test::FakeTray tray;
    std::vector<double> tolvek, empty;
    for (int round = 0; round < 20; ++round) {  // the first round warms the prefix up
        {
            const std::size_t before = tray.calls().size();
            const auto start = Clock::now();
            test::TolvekProcess process("");
            const double ms = time_until(
                [&] {
                    const auto& calls = tray.calls();
                    return std::any_of(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end(),
                                       [](const test::TrayCall& c) { return c.op == NIM_ADD; });
                },
                start);
            close_and_wait(L"TolvekMain", process);
            if (ms < 0) {
                std::fputs("tolvek_start: Tolvek.exe showed no icon\n", stderr);
                return 1;
            }
            if (round > 0) tolvek.push_back(ms);
        }
        {
            const auto start = Clock::now();
            test::TolvekProcess process("", path_join(test::program_dir(), "tolvek_empty.exe"));
            const double ms = time_until([] { return FindWindowW(L"TolvekBenchEmpty", nullptr) != nullptr; }, start);
            close_and_wait(L"TolvekBenchEmpty", process);
            if (ms < 0) {
                std::fputs("tolvek_start: the empty program made no window\n", stderr);
                return 1;
            }
            if (round > 0) empty.push_back(ms);
        }
    }
    print("Tolvek.exe: start to tray icon", tolvek);
    print("empty program: start to its window", empty);
    std::sort(tolvek.begin(), tolvek.end());
    std::sort(empty.begin(), empty.end());
    std::printf("ratio of the medians: %.2f (goal at most 1.20)\n",
                tolvek[tolvek.size() / 2] / empty[empty.size() / 2]);
    return 0;
}
