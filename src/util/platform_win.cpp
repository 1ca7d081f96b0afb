#include <windows.h>

#include "util/platform.h"
#include "util/text.h"
#include "util/win_handles.h"
#include "util/win_text.h"

namespace tolvek {

bool write_all(HANDLE h, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = data.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!WriteFile(h, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

std::optional<std::string> get_env(const char* name) {
    const std::wstring wname = wide(name);
    SetLastError(0);
    const DWORD needed = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (needed == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::wstring value(needed, L'\0');
    const DWORD n = GetEnvironmentVariableW(wname.c_str(), value.data(), needed);
    value.resize(n);
    return narrow(value);
}

std::string temp_dir() {
    wchar_t buffer[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
    while (n > 0 && (buffer[n - 1] == L'\\' || buffer[n - 1] == L'/')) --n;
    return narrow(std::wstring_view(buffer, n));
}

bool create_directories(const std::string& path) {
    const std::wstring w = wide(path);
    const DWORD attr = GetFileAttributesW(w.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const auto slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':') {
        create_directories(path.substr(0, slash));
    }
    return CreateDirectoryW(w.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::optional<std::string> read_file(const std::string& path) {
    Handle f(CreateFileW(wide(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(f.get(), buffer, sizeof buffer, &n, nullptr)) return std::nullopt;
        if (n == 0) break;
        out.append(buffer, n);
    }
    return out;
}

std::optional<std::uint64_t> file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool write_file_flushed(const std::string& path, std::string_view data) {
    Handle f(CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) return false;
    const bool ok = write_all(f.get(), data) && FlushFileBuffers(f.get());
    return f.close() && ok;
}

namespace {

std::optional<BY_HANDLE_FILE_INFORMATION> file_identity(const std::string& path) {
    // No access to the content is needed; folders open with backup semantics.
    const Handle f(CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!f.valid() || !GetFileInformationByHandle(f.get(), &info)) return std::nullopt;
    return info;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    const auto first = file_identity(a);
    const auto second = first ? file_identity(b) : std::nullopt;
    if (first && second) {
        return first->dwVolumeSerialNumber == second->dwVolumeSerialNumber &&
               first->nFileIndexHigh == second->nFileIndexHigh && first->nFileIndexLow == second->nFileIndexLow;
    }
    return lowercase(a) == lowercase(b);
}

bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool remove_file(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }

std::optional<std::string> program_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::nullopt;
        if (n < buffer.size()) return narrow(std::wstring_view(buffer.data(), n));
        if (buffer.size() >= 32768) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

bool start_program(const std::string& command_line, unsigned long creation_flags, const std::string& directory) {
    std::wstring line = wide(command_line);
    const std::wstring folder = wide(directory);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, creation_flags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

std::string os_error_text(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"Fehler " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return narrow(message);
}

bool path_exists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool copy_file(const std::string& from, const std::string& to) {
    return CopyFileW(wide(from).c_str(), wide(to).c_str(), FALSE) != 0;
}

bool copy_file_new(const std::string& from, const std::string& to) {
    const std::wstring temp =
        wide(to + ".neu-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetCurrentThreadId()));
    // The whole copy goes to the temporary file; a second name for it then appears at the
    // target in one step, and only where no file is (a link is never made over a file). A
    // volume without hard links (some network shares) takes a rename that does not replace.
    bool placed = CopyFileW(wide(from).c_str(), temp.c_str(), FALSE);
    if (placed && !CreateHardLinkW(wide(to).c_str(), temp.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        placed = (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) &&
                 MoveFileExW(temp.c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH);
    }
    DeleteFileW(temp.c_str());
    return placed;
}

bool remove_tree(const std::string& path, const std::string& keep) {
    const DWORD attr = GetFileAttributesW(wide(path).c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY) || (attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A file, or a link to a folder elsewhere: only the entry itself goes.
        if (attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(wide(path).c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
        return (attr & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(wide(path).c_str()) != 0
                                                 : DeleteFileW(wide(path).c_str()) != 0;
    }
    bool all_gone = true;
    bool kept = false;
    WIN32_FIND_DATAW found {};
    const HANDLE search = FindFirstFileW(wide(path_join(path, "*")).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = narrow(found.cFileName);
            if (name == "." || name == "..") continue;
            // Names on Windows are the same whatever their case.
            if (!keep.empty() && lowercase(name) == lowercase(keep) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                kept = true;
                continue;
            }
            all_gone = remove_tree(path_join(path, name)) && all_gone;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (kept) return all_gone;
    return RemoveDirectoryW(wide(path).c_str()) != 0 && all_gone;
}

bool append_file_shared(const std::string& path, std::string_view data) {
    Handle f(CreateFileW(wide(path).c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) return false;
    const bool ok = write_all(f.get(), data);
    return f.close() && ok;
}

LocalTime local_time() {
    SYSTEMTIME st {};
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace tolvek
