// The one way the program talks to the speech service: a fresh libcurl handle per request,
// fixed time limits, TLS 1.2 or newer with verification, redirects without the Authorization
// header, and one error model (ServiceError) for everything that can go wrong.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/log.h"
#include "util/guarded.h"

namespace tolvek {

using Json = nlohmann::json;

struct ServiceError {
    enum Kind { Rejected = 0, Failed = 1, Unreachable = 2 };
    Kind kind = Failed;
    std::string message;
    bool operator==(const ServiceError&) const = default;
};

inline constexpr char kNoConnection[] =
    "Keine Verbindung zum Server. Bitte die Internetverbindung prüfen.";
inline constexpr char kUnexpectedAnswer[] = "Der Server hat unerwartet geantwortet.";
// The proxy still answered 407 after the attempt with the user's Windows logon.
inline constexpr char kProxyLoginFailed[] = "Der Proxy verlangt eine Anmeldung, die nicht gelang.";
// Put in front of the message when the service refused an Opus upload.
inline constexpr std::string_view kOpusMarker = "\x01opus:";

using Headers = std::vector<std::pair<std::string, std::string>>;

// JSON answers are far smaller (long word lists included); a larger answer is not the service's.
inline constexpr std::size_t kMaxJsonAnswer = 4 * 1024 * 1024;
// The update download.
inline constexpr std::size_t kMaxDownload = 41943040;

struct HttpRequest {
    std::string method;  // "GET" or "POST"
    std::string url;
    Headers headers;     // sent in this order after the client's own
    // The body's pieces, sent one after another. They stay the caller's: a recording is sent
    // from where it lies, without a copy.
    std::vector<std::string_view> body;
    // Called after each piece (at most 64 KiB) of the body was handed to the connection, with
    // the total handed over so far.
    std::function<void(std::uint64_t)> on_sent;
    // The most of the answer's body that is read; a longer answer is cut off there and marked.
    std::size_t max_body = kMaxJsonAnswer;
    // An answer whose body broke off is returned as an answer with its read error (the update
    // download tells that apart from no connection); otherwise it counts as no answer.
    bool partial_is_answer = false;
    // Through the proxy Windows is set up to use, if any; off for the tests' own loopback helpers.
    bool system_proxy = true;
};

struct HttpResponse {
    long status = 0;
    std::string body;
    bool too_large = false;  // the body went beyond max_body and was not read to its end
    std::string read_error;  // the body broke off (only with partial_is_answer)
};

using HttpResult = std::variant<HttpResponse, ServiceError>;

// Time limits and trust anchors of the client. The product uses the defaults; tests shorten the
// limits and the native test build names its own certificate authority.
struct HttpSettings {
    std::chrono::milliseconds connect_timeout {10000};
    std::chrono::milliseconds deadline {120000};
    std::string ca_file;  // empty: the system's trust store
};
HttpSettings& http_settings();

// Once at start-up, on the main thread, before any other thread runs.
void http_global_init();

// The length of a body made of pieces.
std::uint64_t body_size(const std::vector<std::string_view>& body);

// Whether a text may stand in a request header: no line break or other control character
// (a token with CR LF would write headers of its own into the request).
bool fits_in_header(std::string_view text);
inline constexpr char kUnusableAccess[] =
    "Der gespeicherte Zugang ist ungültig. Bitte den Firmen-Code neu eingeben.";

// One request with a new client. A transport failure (no HTTP answer) is Unreachable with the
// library's description. A header that does not fit in a header is never sent: the request
// is Rejected (kUnusableAccess) without a connection, as a revoked token would be.
HttpResult perform(const HttpRequest& request);

std::string server_error_text(std::string_view body, long status);
// Status, body and JSON: the errors every JSON endpoint shares.
// With `opus_marker` (the transcription only), a 400, 415 or 422 naming "opus_error" is marked
// as a refused Opus upload.
std::variant<Json, ServiceError> interpret_json_response(const HttpResult& result, bool opus_marker = false);
// Compact JSON with keys in byte order.
std::string compact_json(const Json& value);

// The current and the legacy base URL ("https://" + host). The product takes the build's hosts;
// tests point them at loopback servers.
struct ServiceHosts {
    std::string current;
    std::string legacy;
};
ServiceHosts& service_hosts();

// Since when a fall-back to the legacy host is remembered: for 4 hours, requests for the
// current host go there directly.
Guarded<std::optional<std::chrono::steady_clock::time_point>>& fallback_memory();
inline constexpr std::chrono::seconds kFallbackWindow {14400};

std::string resolve_base_url(const std::string& server);

// Sends the request to the resolved base URL and applies the fall-back rules; `interpret` turns
// each raw answer into the caller's result. `may_fall_back` is asked before a retry against the
// legacy host (the transcription refuses when its body was already handed over completely).
using BaseRequest = std::function<HttpResult(const std::string& base)>;
template <class T>
using Interpret = std::function<std::variant<T, ServiceError>(const HttpResult&)>;

template <class T>
std::variant<T, ServiceError> with_fallback(const std::string& server, const BaseRequest& request,
                                            const Interpret<T>& interpret,
                                            const std::function<bool()>& may_fall_back = [] { return true; }) {
    const ServiceHosts hosts = service_hosts();
    const std::string base = resolve_base_url(server);
    auto result = interpret(request(base));
    const auto* error = std::get_if<ServiceError>(&result);
    if (!error || error->kind != ServiceError::Unreachable) return result;

    if (base == hosts.current && may_fall_back()) {
        log(hosts.current + " nicht erreichbar (" + error->message + "), Rückfall auf " + hosts.legacy);
        auto second = interpret(request(hosts.legacy));
        const auto* again = std::get_if<ServiceError>(&second);
        if (!again) {
            fallback_memory().set(std::chrono::steady_clock::now());
            return second;
        }
        if (again->kind == ServiceError::Unreachable) return ServiceError {ServiceError::Failed, kNoConnection};
        return second;
    }
    if (base == hosts.legacy && server == hosts.current) fallback_memory().set(std::nullopt);
    log("Verbindung zu " + base + " gescheitert: " + error->message);
    return ServiceError {ServiceError::Failed, kNoConnection};
}

inline std::variant<Json, ServiceError> call_with_fallback(
    const std::string& server, const BaseRequest& request,
    const std::function<bool()>& may_fall_back = [] { return true; }) {
    return with_fallback<Json>(
        server, request, [](const HttpResult& answer) { return interpret_json_response(answer); }, may_fall_back);
}

// The raw requests of the endpoints (base URL given).
HttpResult post_transcription(const std::string& base, const std::string& token,
                              std::vector<std::string_view> body,
                              std::optional<std::uint32_t> opus_duration_ms,
                              std::function<void(std::uint64_t)> on_sent);
HttpResult post_hello(const std::string& base, const std::string& token, const Json& body);
HttpResult post_enroll(const std::string& base, const Json& body);
HttpResult dictionary_request(const std::string& base, const std::string& token,
                              const std::vector<std::string>& add,
                              const std::vector<std::string>& remove);
HttpResult get_download(const std::string& base, const std::string& path);

}  // namespace tolvek
