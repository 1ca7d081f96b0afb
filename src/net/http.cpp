#include "net/http.h"

#include <algorithm>

#include "build_config.h"
#include "util/text.h"

namespace tolvek {

std::uint64_t body_size(const std::vector<std::string_view>& body) {
    std::uint64_t total = 0;
    for (const std::string_view piece : body) total += piece.size();
    return total;
}

bool fits_in_header(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::string server_error_text(std::string_view body, long status) {
    const Json doc = Json::parse(body.begin(), body.end(), nullptr, false);
    if (doc.is_object()) {
        const auto error = doc.find("error");
        if (error != doc.end() && error->is_object()) {
            const auto message = error->find("message");
            if (message != error->end() && message->is_string()) return message->get<std::string>();
        }
    }
    return "Der Server antwortet mit Fehler " + std::to_string(status) + ".";
}

std::variant<Json, ServiceError> interpret_json_response(const HttpResult& result, bool opus_marker) {
    if (const auto* error = std::get_if<ServiceError>(&result)) return *error;
    const auto& response = std::get<HttpResponse>(result);
    if (response.status >= 400) {
        const std::string text = server_error_text(response.body, response.status);
        if (response.status == 401 || response.status == 403) {
            return ServiceError {ServiceError::Rejected, text};
        }
        if (opus_marker && (response.status == 400 || response.status == 415 || response.status == 422) &&
            response.body.find("\"opus_error\"") != std::string::npos) {
            return ServiceError {ServiceError::Failed, std::string(kOpusMarker) + text};
        }
        return ServiceError {ServiceError::Failed, text};
    }
    if (response.too_large) return ServiceError {ServiceError::Failed, kUnexpectedAnswer};
    if (!is_valid_utf8(response.body)) {
        return ServiceError {ServiceError::Failed, "Antwort unlesbar: ungültiges UTF-8"};
    }
    Json doc = Json::parse(response.body, nullptr, false);
    if (doc.is_discarded()) return ServiceError {ServiceError::Failed, kUnexpectedAnswer};
    return doc;
}

std::string compact_json(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

ServiceHosts& service_hosts() {
    static ServiceHosts hosts {std::string("https://") + kServiceHost,
                               std::string("https://") + kLegacyHost};
    return hosts;
}

Guarded<std::optional<std::chrono::steady_clock::time_point>>& fallback_memory() {
    static Guarded<std::optional<std::chrono::steady_clock::time_point>> memory;
    return memory;
}

std::string resolve_base_url(const std::string& server) {
    if (server.empty()) return {};
    const ServiceHosts& hosts = service_hosts();
    if (server == hosts.current) {
        const auto since = fallback_memory().get();
        if (since && std::chrono::steady_clock::now() - *since < kFallbackWindow) return hosts.legacy;
    }
    return server;
}

HttpResult post_transcription(const std::string& base, const std::string& token,
                              std::vector<std::string_view> body,
                              std::optional<std::uint32_t> opus_duration_ms,
                              std::function<void(std::uint64_t)> on_sent) {
    HttpRequest r;
    r.method = "POST";
    r.url = base + "/v1/audio/transcriptions";
    r.headers = {{"Authorization", "Bearer " + token},
                 {"X-Tolvek-Version", kVersion},
                 {"Content-Type", "multipart/form-data; boundary=----TolvekBoundary7f3a9c2e"},
                 {"Content-Length", std::to_string(body_size(body))}};
    if (opus_duration_ms) r.headers.emplace_back("X-Tolvek-Dauer", std::to_string(*opus_duration_ms));
    r.body = std::move(body);
    r.on_sent = std::move(on_sent);
    return perform(r);
}

HttpResult post_hello(const std::string& base, const std::string& token, const Json& body) {
    HttpRequest r;
    r.method = "POST";
    r.url = base + "/v1/app/hello";
    r.headers = {{"Authorization", "Bearer " + token}, {"Content-Type", "application/json"}};
    const std::string json = compact_json(body);
    r.body = {json};
    return perform(r);
}

HttpResult post_enroll(const std::string& base, const Json& body) {
    HttpRequest r;
    r.method = "POST";
    r.url = base + "/v1/app/enroll";
    r.headers = {{"Content-Type", "application/json"}};
    const std::string json = compact_json(body);
    r.body = {json};
    return perform(r);
}

HttpResult dictionary_request(const std::string& base, const std::string& token,
                              const std::vector<std::string>& add,
                              const std::vector<std::string>& remove) {
    HttpRequest r;
    r.url = base + "/v1/app/dictionary";
    r.headers = {{"Authorization", "Bearer " + token}, {"Content-Type", "application/json"}};
    std::string json;
    if (add.empty() && remove.empty()) {
        r.method = "GET";
    } else {
        r.method = "POST";
        json = compact_json(Json {{"add", add}, {"remove", remove}});
        r.body = {json};
    }
    return perform(r);
}

HttpResult get_download(const std::string& base, const std::string& path) {
    HttpRequest r;
    r.method = "GET";
    r.url = base + path;
    r.max_body = kMaxDownload;
    r.partial_is_answer = true;
    return perform(r);
}

}  // namespace tolvek
