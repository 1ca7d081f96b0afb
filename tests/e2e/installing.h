// A fixture for tests that start Tolvek.exe from a download folder as a user would, with a
// private profile, registry clean-up and the running copies ended afterwards.
#pragma once

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>
#include <winternl.h>

#include "fake_tray.h"
#include "message_boxes.h"
#include "net/devservice_client.h"
#include "setup/autostart.h"
#include "tolvek_process.h"
#include "util/win_handles.h"

namespace tolvek::test {

using namespace std::chrono_literals;

inline std::string target() { return install_target(); }
inline std::string wincontrol_exe() { return path_join(program_dir(), "wincontrol.exe"); }

struct RegValue {
    DWORD type = 0;
    std::vector<BYTE> bytes;
    bool operator==(const RegValue&) const = default;
};
// REG_SZ data is the text with its terminating NUL.
inline RegValue sz(const std::wstring& text) {
    const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t))};
}
inline RegValue dword(DWORD value) {
    const auto* p = reinterpret_cast<const BYTE*>(&value);
    return {REG_DWORD, std::vector<BYTE>(p, p + 4)};
}
inline std::optional<RegValue> reg_value(const std::wstring& key_path, const wchar_t* name) {
    const RegKey key(HKEY_CURRENT_USER, key_path, KEY_READ);
    DWORD type = 0, size = 0;
    if (!key.valid() || RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RegValue value {type, std::vector<BYTE>(size)};
    RegQueryValueExW(key.get(), name, nullptr, &type, value.bytes.data(), &size);
    value.bytes.resize(size);
    return value;
}
inline std::ostream& operator<<(std::ostream& out, const RegValue& v) {
    out << "type " << v.type << ", " << v.bytes.size() << " bytes";
    return out;
}

inline std::optional<std::string> image_of(DWORD pid) {
    const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    wchar_t path[1024] {};
    DWORD size = 1024;
    if (!process.valid() || !QueryFullProcessImageNameW(process.get(), 0, path, &size)) return std::nullopt;
    return narrow(std::wstring_view(path, size));
}

inline std::string processes() {
    std::string out;
    const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        out += "\n" + std::to_string(entry.th32ProcessID) + " " + image_of(entry.th32ProcessID).value_or(narrow(entry.szExeFile));
    }
    return out;
}

// The current directory of another process, read from its process parameters (x64 layout:
// the parameters' address at 0x20 in the PEB, the directory's DOS path at 0x38 in them).
inline std::optional<std::string> current_directory_of(DWORD pid) {
    const Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    PROCESS_BASIC_INFORMATION info {};
    if (!process.valid() ||
        NtQueryInformationProcess(process.get(), ProcessBasicInformation, &info, sizeof info, nullptr) != 0) {
        return std::nullopt;
    }
    std::uint64_t parameters = 0;
    struct {
        USHORT length, maximum;
        ULONG padding;
        std::uint64_t buffer;
    } dos_path {};
    if (!ReadProcessMemory(process.get(), reinterpret_cast<const char*>(info.PebBaseAddress) + 0x20, &parameters,
                           sizeof parameters, nullptr) ||
        !ReadProcessMemory(process.get(), reinterpret_cast<const void*>(parameters + 0x38), &dos_path,
                           sizeof dos_path, nullptr)) {
        return std::nullopt;
    }
    std::wstring text(dos_path.length / 2, L'\0');
    if (!ReadProcessMemory(process.get(), reinterpret_cast<const void*>(dos_path.buffer), text.data(),
                           dos_path.length, nullptr)) {
        return std::nullopt;
    }
    return narrow(text);
}

inline DWORD window_pid(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

class Installing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        ASSERT_TRUE(tray.in_front());
        service.reset();
        Settings settings = default_settings();
        settings.server = service.base();
        save_settings(settings);
        downloads = path_join(parent_or_temp("LOCALAPPDATA"), "Downloads");
        create_directories(downloads);
    }
    void TearDown() override {
        close_running_copy();
        // A copy that was still starting has no window yet: it must not outlive the test.
        const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
            if (lowercase(image_of(entry.th32ProcessID).value_or("")) != lowercase(target())) continue;
            const Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
            if (process.valid() && TerminateProcess(process.get(), 99)) WaitForSingleObject(process.get(), 5000);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvek");
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\tolvek");
        delete_run_value("Tolvek");
    }

    // The downloaded program under the given file name, started with the arguments; its exit code.
    std::optional<DWORD> run_download(const std::string& name, const std::string& args) {
        const std::string file = path_join(downloads, name);
        EXPECT_TRUE(copy_file(tolvek_exe(), file));
        const TolvekProcess installer(args, file);
        if (!pump_until([&] { return !installer.running(); }, 90s)) return std::nullopt;
        return installer.wait(0);
    }
    // The installed copy's main window, once it runs.
    HWND running_copy() {
        HWND window = nullptr;
        pump_until([&] { return (window = FindWindowW(L"TolvekMain", nullptr)) != nullptr; }, 30s);
        return window;
    }
    // Closes every running copy and waits until its process has ended (and let go of its file).
    void close_running_copy() {
        while (HWND window = FindWindowW(L"TolvekMain", nullptr)) {
            const Handle process(OpenProcess(SYNCHRONIZE, FALSE, window_pid(window)));
            PostMessageW(window, WM_CLOSE, 0, 0);
            if (!pump_until([&] { return !IsWindow(window); }, 10s)) break;
            if (process.valid()) {
                pump_until([&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, 10s);
            }
        }
    }
    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }
    Settings saved() const { return parse_settings(read_file(config_path()).value_or("")).settings; }
    std::optional<TrayCall> balloon(const std::string& text) {
        return tray.wait_for(0, [&](const TrayCall& c) { return (c.flags & NIF_INFO) && c.info == text; },
                             30s);
    }

    ScopedDataDir data;
    FakeTray tray;
    DevService service;
    std::string downloads;
};


}  // namespace tolvek::test
