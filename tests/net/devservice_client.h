// Talks to the development service the harness started (TOLVEK_TEST_SERVICE and friends).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "net/http.h"
#include "util/platform.h"
#ifdef _WIN32
#include <windows.h>

#include "util/win_text.h"
#endif

namespace tolvek::test {

// Posts JSON to a control endpoint of a test helper on loopback (directly, never through a proxy)
// and returns its JSON answer; a failure fails the test, naming `helper`.
inline Json post_control(const std::string& url, const Json& body, const char* helper) {
    HttpRequest r;
    r.method = "POST";
    r.url = url;
    r.headers = {{"Content-Type", "application/json"}};
    r.system_proxy = false;
    const std::string json = compact_json(body);
    r.body = {json};
    const auto result = interpret_json_response(perform(r));
    if (const auto* error = std::get_if<ServiceError>(&result)) {
        ADD_FAILURE() << helper << ": " << error->message;
        return Json();
    }
    return std::get<Json>(result);
}

class DevService {
public:
    DevService()
        : base_(get_env("TOLVEK_TEST_SERVICE").value_or("")),
          tls_base_(get_env("TOLVEK_TEST_SERVICE_TLS").value_or("")) {}

    bool available() const { return !base_.empty(); }
    const std::string& base() const { return base_; }
    // https://localhost:PORT, with a certificate of the test CA for "localhost".
    const std::string& tls_base() const { return tls_base_; }

    Json config(const Json& values) const { return control("/_control/config", values); }
    void next(const Json& script) const { control("/_control/next", script); }
    // How many scripted answers still wait for their request.
    int queued() const { return control("/_control/queued", Json::object()).value("queued", -1); }
    void reset() const { control("/_control/reset", Json::object()); }
    Json requests() const { return control("/_control/requests", Json::object()); }

private:
    Json control(const std::string& path, const Json& body) const {
        return post_control(base_ + path, body, "development service");
    }

    std::string base_;
    std::string tls_base_;
};

// The header values of a logged request, in the order they arrived.
inline std::vector<std::pair<std::string, std::string>> logged_headers(const Json& request) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& h : request["headers"]) out.emplace_back(h[0].get<std::string>(), h[1].get<std::string>());
    return out;
}

// Where the development service (a Linux program) finds a file this test wrote: under Wine the
// file's Unix name, natively the path itself.
inline std::string service_path(const std::string& path) {
#ifdef _WIN32
    using ToUnix = char* (*)(const wchar_t*);
    const auto to_unix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!to_unix) return path;
    char* unix_name = to_unix(wide(path).c_str());
    if (!unix_name) return path;
    std::string out(unix_name);
    HeapFree(GetProcessHeap(), 0, unix_name);
    return out;
#else
    return path;
#endif
}

inline bool has_header(const Json& request, const std::string& name) {
    for (const auto& [k, v] : logged_headers(request)) {
        if (k == name) return true;
    }
    return false;
}

}  // namespace tolvek::test
