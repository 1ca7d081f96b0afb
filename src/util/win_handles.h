// Move-only owners of the Win32 handles the setup code opens: registry keys and kernel
// handles. Windows build only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "util/win_text.h"

namespace tolvek {

class RegKey {
public:
    RegKey() = default;
    // Opens (or, with `create`, creates) root\path; check with valid().
    RegKey(HKEY root, const std::wstring& path, REGSAM access, bool create = false) {
        const LONG rc = create ? RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, access, nullptr, &key_, nullptr)
                               : RegOpenKeyExW(root, path.c_str(), 0, access, &key_);
        if (rc != ERROR_SUCCESS) key_ = nullptr;
    }
    RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        std::swap(key_, other.key_);
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    bool valid() const { return key_ != nullptr; }
    HKEY get() const { return key_; }

    // REG_SZ with its terminating NUL; an empty name is the key's default value.
    bool set_string(const wchar_t* name, const std::wstring& value) const {
        return key_ && RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    bool set_dword(const wchar_t* name, DWORD value) const {
        return key_ && RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                      sizeof value) == ERROR_SUCCESS;
    }
    // A REG_DWORD of at least four bytes, or nothing.
    std::optional<DWORD> dword(const wchar_t* name) const {
        DWORD type = 0, value = 0, size = sizeof value;
        if (!key_ || RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size < 4) {
            return std::nullopt;
        }
        return value;
    }
    // A string value up to its first NUL, or nothing when missing or not a string.
    std::optional<std::string> string(const wchar_t* name) const {
        DWORD type = 0, size = 0;
        if (!key_ || RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        text.resize(wcsnlen(text.c_str(), text.size()));
        return narrow(text);
    }

private:
    HKEY key_ = nullptr;
};

// A kernel handle (process, file, snapshot); INVALID_HANDLE_VALUE and null both mean none.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        std::swap(h_, other.h_);
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h_) CloseHandle(h_);
    }
    bool valid() const { return h_ != nullptr; }
    HANDLE get() const { return h_; }
    // Closes now and tells whether that worked (for a file, whether its last write landed).
    bool close() { return CloseHandle(std::exchange(h_, nullptr)) != 0; }

private:
    HANDLE h_ = nullptr;
};

// Writes everything to an open file; false when a write fails.
bool write_all(HANDLE h, std::string_view data);

}  // namespace tolvek
