// Talks to the harness's company proxy (tools/devservice/proxy.py, at TOLVEK_TEST_PROXY), and,
// on Windows, writes the user's Internet settings the way the Windows settings page does.
#pragma once

#include <string>

#include "devservice_client.h"
#include "net/http.h"
#include "util/platform.h"
#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <optional>
#include <vector>

#include "util/win_text.h"
#endif

namespace tolvek::test {

class TestProxy {
public:
    TestProxy() : address_(get_env("TOLVEK_TEST_PROXY").value_or("")) {}
    bool available() const { return !address_.empty(); }
    // "127.0.0.1:PORT"
    const std::string& address() const { return address_; }

    void config(const Json& values) const { control("/_control/config", values); }
    void reset() const { control("/_control/reset", Json::object()); }
    // Every request the proxy saw: {"method", "target", "headers"}.
    Json log() const { return control("/_control/log", Json::object()); }

    // An automatic configuration script that sends requests for `host` through `proxy`.
    static std::string script_through(const std::string& proxy, const std::string& host) {
        return "function FindProxyForURL(url, host) {\n"
               "  if (host == \"" + host + "\") return \"PROXY " + proxy + "\";\n"
               "  return \"DIRECT\";\n}\n";
    }

private:
    Json control(const std::string& path, const Json& body) const {
        return post_control("http://" + address_ + path, body, "test proxy");
    }

    std::string address_;
};

#ifdef _WIN32
struct InternetSettings {
    std::string proxy;   // ProxyServer; empty: no fixed proxy
    std::string bypass;  // ProxyOverride
    std::string script;  // AutoConfigURL; empty: none
    bool detect = false;
};

// Sets the user's Internet settings for the life of the object, then puts back what was there:
// the values beside "Connections" and the binary DefaultConnectionSettings that WinHTTP reads
// (a version, a counter, the flags 1 direct, 2 proxy, 4 script, 8 detect, then the proxy, the
// bypass list and the script address, each after its length).
class ScopedInternetSettings {
public:
    explicit ScopedInternetSettings(const InternetSettings& s) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        RegCreateKeyExW(key_, L"Connections", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &connections_, nullptr);
        for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"ProxyOverride", L"AutoConfigURL"}) {
            saved_.push_back(read(key_, name));
        }
        saved_.push_back(read(connections_, L"DefaultConnectionSettings"));

        const DWORD enable = s.proxy.empty() ? 0 : 1;
        RegSetValueExW(key_, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
        write_text(key_, L"ProxyServer", s.proxy);
        write_text(key_, L"ProxyOverride", s.bypass);
        if (s.script.empty()) {
            RegDeleteValueW(key_, L"AutoConfigURL");
        } else {
            write_text(key_, L"AutoConfigURL", s.script);
        }
        std::vector<BYTE> blob;
        const auto put = [&](DWORD value) {
            const auto* p = reinterpret_cast<const BYTE*>(&value);
            blob.insert(blob.end(), p, p + sizeof value);
        };
        const auto put_text = [&](const std::string& text) {
            put(static_cast<DWORD>(text.size()));
            blob.insert(blob.end(), text.begin(), text.end());
        };
        put(0x46);
        put(++counter_);
        put(1 | (s.proxy.empty() ? 0 : 2) | (s.script.empty() ? 0 : 4) | (s.detect ? 8 : 0));
        put_text(s.proxy);
        put_text(s.bypass);
        put_text(s.script);
        blob.resize(blob.size() + 32, 0);  // what Windows keeps about the last detection
        RegSetValueExW(connections_, L"DefaultConnectionSettings", 0, REG_BINARY, blob.data(),
                       static_cast<DWORD>(blob.size()));
    }
    ~ScopedInternetSettings() {
        const wchar_t* names[] = {L"ProxyEnable", L"ProxyServer", L"ProxyOverride", L"AutoConfigURL"};
        for (std::size_t i = 0; i < 4; ++i) restore(key_, names[i], saved_[i]);
        restore(connections_, L"DefaultConnectionSettings", saved_[4]);
        RegCloseKey(connections_);
        RegCloseKey(key_);
    }
    ScopedInternetSettings(const ScopedInternetSettings&) = delete;
    ScopedInternetSettings& operator=(const ScopedInternetSettings&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    struct Value {
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    static std::optional<Value> read(HKEY key, const wchar_t* name) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        Value v {type, std::vector<BYTE>(size)};
        RegQueryValueExW(key, name, nullptr, nullptr, v.data.data(), &size);
        return v;
    }
    static void restore(HKEY key, const wchar_t* name, const std::optional<Value>& v) {
        if (!v) {
            RegDeleteValueW(key, name);
        } else {
            RegSetValueExW(key, name, 0, v->type, v->data.data(), static_cast<DWORD>(v->data.size()));
        }
    }
    static void write_text(HKEY key, const wchar_t* name, const std::string& text) {
        const std::wstring w = wide(text);
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                       static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    }

    inline static DWORD counter_ = 0;
    HKEY key_ = nullptr;
    HKEY connections_ = nullptr;
    std::vector<std::optional<Value>> saved_;
};
#endif

}  // namespace tolvek::test
