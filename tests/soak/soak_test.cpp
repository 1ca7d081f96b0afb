// Many dictations in a row with one Tolvek.exe: Opus and WAV by turns, every tenth answered with
// a service error and every tenth with silence past the deadline. Every dictation's text or
// error must arrive, and what the process holds (handles, GDI and USER objects, private bytes,
// threads) must stay flat. TOLVEK_SOAK_COUNT sets the number of dictations (20 by default;
// scripts/soak runs 200); the figures are printed after the 2nd, every 20th and the last.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "e2e/input_helpers.h"
#include "e2e/microphone.h"
#include "e2e/running_tolvek.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kCmdCompress = 72;
constexpr char kDeadlineSeconds[] = "3";

struct Figures {
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD threads = 0;
    double private_mb = 0;
};

// Wine answers GetGuiResources with 0 and GetProcessHandleCount with 0 for another process, and
// leaves PrivateUsage empty; where a figure reads 0, what Wine does keep stands in for it.
// GDI objects: the used, non-stock entries of the process's GDI handle table (Wine keeps one per
// process, named in its PEB as on Windows; 24-byte entries: object pointer at 0, type at 12,
// 0x80 marks a stock object). USER objects: the process's windows.
DWORD gdi_table_entries(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic {};
    ULONG length = 0;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &length) != 0) return 0;
    ULONG_PTR table = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<const char*>(basic.PebBaseAddress) + 0xF8, &table, sizeof table,
                           &read) || !table) {
        return 0;
    }
    constexpr std::size_t kEntry = 24, kEntries = 0x10000;
    std::vector<unsigned char> entries(kEntry * kEntries);
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(), entries.size(), &read)) return 0;
    DWORD used = 0;
    for (std::size_t i = 0; i < kEntries; ++i) {
        std::uint64_t object = 0;
        std::memcpy(&object, &entries[i * kEntry], sizeof object);
        if (object && !(entries[i * kEntry + 12] & 0x80)) ++used;
    }
    return used;
}

DWORD windows_of(DWORD pid) {
    struct Count {
        DWORD pid;
        DWORD windows;
    } count {pid, 0};
    EnumWindows([](HWND window, LPARAM data) -> BOOL {
        auto* c = reinterpret_cast<Count*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != c->pid) return TRUE;
        ++c->windows;
        EnumChildWindows(window, [](HWND, LPARAM inner) -> BOOL {
            ++reinterpret_cast<Count*>(inner)->windows;
            return TRUE;
        }, data);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

// Handles: the process's entries in the system's handle list (SystemExtendedHandleInformation).
DWORD handles_listed(DWORD pid) {
    struct Entry {
        PVOID object;
        ULONG_PTR process;
        ULONG_PTR handle;
        ULONG access;
        USHORT trace;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    std::vector<char> buffer(1 << 24);
    ULONG length = 0;
    if (NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(64), buffer.data(),
                                 static_cast<ULONG>(buffer.size()), &length) != 0) {
        return 0;
    }
    ULONG_PTR count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + 2 * sizeof(ULONG_PTR));
    DWORD mine = 0;
    for (ULONG_PTR i = 0; i < count; ++i) mine += entries[i].process == pid;
    return mine;
}

Figures figures_of(HANDLE process, DWORD pid) {
    Figures f;
    if (!GetProcessHandleCount(process, &f.handles) || f.handles == 0) f.handles = handles_listed(pid);
    std::vector<char> buffer(1 << 22);
    ULONG length = 0;
    if (NtQuerySystemInformation(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length) == 0) {
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
            if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId)) == pid) {
                f.threads = entry->NumberOfThreads;
            }
            if (!entry->NextEntryOffset) break;
            at += entry->NextEntryOffset;
        }
    }
    f.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    if (f.gdi == 0) f.gdi = gdi_table_entries(process);
    f.user = GetGuiResources(process, GR_USEROBJECTS);
    if (f.user == 0) f.user = windows_of(pid);
    PROCESS_MEMORY_COUNTERS_EX memory {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        const SIZE_T committed = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        f.private_mb = static_cast<double>(committed) / (1024.0 * 1024.0);
    }
    return f;
}

class Soak : public test::RunningTolvek {
public:
    void SetUp() override {
        RunningTolvek::SetUp();
        if (test::mic_dir().empty() || !service.available()) {
            GTEST_SKIP() << "needs the virtual microphone and the development service";
        }
        // Two seconds of the speech fixture keep each dictation short.
        const auto speech = read_file(path_join(test::mic_dir(), "speech.raw"));
        ASSERT_TRUE(speech && speech->size() > 64000);
        ASSERT_TRUE(write_file_flushed(path_join(test::mic_dir(), "soak.raw"), speech->substr(0, 64000)));
        service.reset();
        service.config({{"audio", "opus"}});
        editor_window = CreateWindowExW(0, L"STATIC", L"Editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                        500, 200, nullptr, nullptr, nullptr, nullptr);
        editor = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 480, 160,
                                 editor_window, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        RunningTolvek::TearDown();
        test::set_env("TOLVEK_TEST_DEADLINE_S", std::nullopt);
        if (editor_window) DestroyWindow(editor_window);
    }

    std::string editor_text() const {
        wchar_t buffer[256] {};
        GetWindowTextW(editor, buffer, 256);
        return narrow(buffer);
    }

    // One dictation of the soak recording; returns what went wrong, or nothing.
    std::optional<std::string> dictate(int number) {
        const bool opus = number % 2 == 1;
        if (opus != compress) {
            PostMessageW(window, kMsgMenuCommand, kCmdCompress, 0);
            test::pump_for(200ms);
            compress = opus;
        }
        std::string balloon;
        if (number % 10 == 3) {
            service.next({{"path", "/v1/audio/transcriptions"}, {"status", 503},
                          {"body", {{"error", {{"message", "Dienst wird gewartet"}}}}}});
            balloon = "Dienst wird gewartet";
        } else if (number % 10 == 7) {
            service.next({{"path", "/v1/audio/transcriptions"}, {"fault", "silent"}, {"delay", 6}});
            balloon = kNoConnection;
        }
        SetWindowTextW(editor, L"");
        if (GetForegroundWindow() != editor_window) SetForegroundWindow(editor_window);
        SetFocus(editor);
        test::pump_for(100ms);

        const std::size_t before = tray.calls().size();
        test::keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
        const bool recording = tray.wait_for(before, [](const test::TrayCall& c) {
            return c.tip == "Tolvek · Aufnahme läuft";
        }, 5s).has_value();
        const bool played = recording && test::wait_played(test::play("soak.raw"));
        test::keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
        if (!recording) return "the talk key started no recording";
        if (!played) return "the microphone did not play";

        if (balloon.empty()) {
            if (!test::pump_until([&] { return editor_text() == "Hallo Welt "; }, 20s)) {
                return "no text, the editor holds \"" + editor_text() + "\"";
            }
        } else {
            const auto shown = tray.wait_for(before, [](const test::TrayCall& c) {
                return c.flags == NIF_INFO && c.info_flags == NIIF_WARNING;
            }, 20s);
            if (!shown) return "no error balloon";
            if (shown->info != balloon) return "the balloon says \"" + shown->info + "\"";
        }
        if (!tray.wait_for(before, [](const test::TrayCall& c) {
                return c.tip.ends_with("Strg + Umschalt halten und sprechen");
            }, 20s)) {
            return "not idle again";
        }
        const Json requests = service.requests();
        for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
            if ((*it)["path"] != "/v1/audio/transcriptions") continue;
            if (!it->contains("upload")) return std::nullopt;  // a fault answered before looking at it
            const Json& upload = (*it)["upload"];
            if (upload.value("kind", "") != (opus ? "opus" : "wav") || !upload.value("valid", false)) {
                return "sent " + upload.dump();
            }
            return std::nullopt;
        }
        return "nothing was uploaded";
    }

    test::DevService service;
    HWND editor_window = nullptr;
    HWND editor = nullptr;
    bool compress = true;
};

TEST_F(Soak, ManyDictationsLeaveNothingBehind) {
    const char* count_text = std::getenv("TOLVEK_SOAK_COUNT");
    const int count = count_text ? std::atoi(count_text) : 20;
    ASSERT_GE(count, 2);
    test::set_env("TOLVEK_TEST_DEADLINE_S", kDeadlineSeconds);
    Settings s = default_settings();
    s.audio = "opus";
    s.compress = true;
    test::save_enrolled(s);
    start();
    test::pump_for(300ms);

    std::vector<std::pair<int, Figures>> seen;
    for (int number = 1; number <= count; ++number) {
        const auto fault = dictate(number);
        ASSERT_FALSE(fault.has_value()) << "dictation " << number << ": " << *fault << "\n" << log();
        if (number == 2 || number % 20 == 0 || number == count) {
            test::pump_for(500ms);  // the worker threads of the dictation have ended
            const Figures f = figures_of(tolvek->handle(), tolvek->pid());
            std::printf("after %4d dictations: %5lu handles, %4lu GDI objects, %4lu USER objects, "
                        "%6.1f MB private, %3lu threads\n",
                        number, f.handles, f.gdi, f.user, f.private_mb, f.threads);
            std::fflush(stdout);
            seen.emplace_back(number, f);
        }
    }
    // Against the figures after 20 dictations (after 2 in a short run): no growth beyond noise.
    const Figures& first = (count >= 40 ? seen[1] : seen[0]).second;
    const Figures& last = seen.back().second;
    EXPECT_LE(last.handles, first.handles + 6);
    EXPECT_LE(last.gdi, first.gdi + 5);
    EXPECT_LE(last.user, first.user + 5);
    EXPECT_LE(last.threads, first.threads + 2);
    EXPECT_LE(last.private_mb, first.private_mb + 3.0);
}

}  // namespace
}  // namespace tolvek
