// The libcurl side of the client: one request, its redirects, time limits and the answer's cap.
// Kept apart from the endpoint helpers so that a program can put its own transport in place.
#include "net/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

#include "build_config.h"
#include "net/proxy.h"
#include "util/text.h"

namespace tolvek {
namespace {

constexpr std::size_t kPiece = 65536;
constexpr int kMaxRedirects = 5;

struct Upload {
    const std::vector<std::string_view>* body;
    std::size_t piece = 0;   // the piece being sent
    std::size_t offset = 0;  // within that piece
    std::uint64_t sent = 0;
    const std::function<void(std::uint64_t)>* on_sent;
};

std::size_t read_body(char* buffer, std::size_t size, std::size_t count, void* user) noexcept {
    auto* upload = static_cast<Upload*>(user);
    const std::size_t room = std::min(size * count, kPiece);
    std::size_t n = 0;
    while (n < room && upload->piece < upload->body->size()) {
        const std::string_view piece = (*upload->body)[upload->piece];
        const std::size_t take = std::min(room - n, piece.size() - upload->offset);
        std::copy_n(piece.data() + upload->offset, take, buffer + n);
        n += take;
        upload->offset += take;
        if (upload->offset == piece.size()) {
            ++upload->piece;
            upload->offset = 0;
        }
    }
    upload->sent += n;
    if (n > 0 && *upload->on_sent) {
        try {
            (*upload->on_sent)(upload->sent);
        } catch (...) {
        }
    }
    return n;
}

struct Answer {
    std::string* body;
    std::size_t max;
    bool too_large = false;
};

std::size_t write_body(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto* answer = static_cast<Answer*>(user);
    const std::size_t n = size * count;
    if (n > answer->max - answer->body->size()) {
        answer->too_large = true;
        return 0;  // ends the transfer: nothing beyond the limit is read
    }
    try {
        answer->body->append(data, n);
        return n;
    } catch (...) {
        return 0;  // aborts the transfer
    }
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// Runs the transfer like curl_easy_perform, but never sleeps longer than a few milliseconds
// between two looks at the socket. On Windows libcurl waits for a socket to become writable
// through a Winsock event; where that notice comes late or not at all (Wine), easy_perform
// stalls for up to a second each time the send buffer runs full, and a 19 MB upload took 25 s
// instead of a quarter of one.
CURLcode run_transfer(CURL* c) {
    constexpr int kLookMs = 5;
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK) return curl_easy_perform(c);
    CURLcode result = CURLE_OK;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running && curl_multi_poll(multi.get(), nullptr, 0, kLookMs, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == c) result = message->data.result;
    }
    curl_multi_remove_handle(multi.get(), c);
    return result;
}

bool is_http_url(std::string_view url) {
    return starts_with_ascii_ci(url, "http://") || starts_with_ascii_ci(url, "https://");
}

// Local TLS set-up failures: the request never left the machine.
bool is_tls_setup_error(CURLcode code) {
    return code == CURLE_SSL_ENGINE_INITFAILED || code == CURLE_SSL_CERTPROBLEM ||
           code == CURLE_SSL_CACERT_BADFILE || code == CURLE_SSL_CRL_BADFILE ||
           code == CURLE_SSL_ENGINE_NOTFOUND || code == CURLE_SSL_CIPHER;
}

struct Hop {
    CURLcode code = CURLE_OK;
    std::string error;
    long status = 0;
    std::string body;
    bool too_large = false;
    std::string location;
    long proxy_answer = 0;  // the proxy's answer to CONNECT
    std::string way;        // "direkt" or the proxy's "host:port"
};

// `proxy` "host:port", or empty for a direct connection.
Hop perform_once(const std::string& method, const std::string& url, const Headers& headers,
                 const std::vector<std::string_view>& body, const std::function<void(std::uint64_t)>& on_sent,
                 std::size_t max_body, std::chrono::milliseconds remaining, const std::string& proxy) {
    Hop hop;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        hop.code = CURLE_FAILED_INIT;
        hop.error = curl_easy_strerror(CURLE_FAILED_INIT);
        return hop;
    }
    CURL* c = curl.get();
    char error[CURL_ERROR_SIZE] = {};
    const HttpSettings& settings = http_settings();
    const std::string user_agent = std::string("Tolvek/") + kVersion;
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, user_agent.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    // Set either way, so that no proxy variable of the environment is ever used.
    const std::string proxy_url = proxy.empty() ? std::string() : "http://" + proxy;
    curl_easy_setopt(c, CURLOPT_PROXY, proxy_url.c_str());
    curl_easy_setopt(c, CURLOPT_NOPROXY, proxy.empty() ? "*" : "");
    if (!proxy.empty()) {
        // Every request goes through a tunnel: TLS runs end to end with the service, and the
        // proxy sees neither the Authorization header nor the body, even of a plain http URL.
        curl_easy_setopt(c, CURLOPT_HTTPPROXYTUNNEL, 1L);
        // A proxy that asks for a login gets the user's Windows logon (SSPI), never a password.
        curl_easy_setopt(c, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_NEGOTIATE | CURLAUTH_NTLM));
        curl_easy_setopt(c, CURLOPT_PROXYUSERPWD, ":");
    }
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connect_timeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(1, remaining.count())));
    // TLS 1.2 or newer; the system negotiates 1.3 where it can. Certificates and host names are
    // verified; revocation is not checked.
    curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NO_REVOKE));
    if (!settings.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, settings.ca_file.c_str());

    std::unique_ptr<curl_slist, SlistDeleter> list;
    const auto add = [&](const std::string& line) {
        list.reset(curl_slist_append(list.release(), line.c_str()));
    };
    add("Accept:");  // only the headers the service expects
    for (const auto& [name, value] : headers) add(name + ": " + value);
    Upload upload {&body, 0, 0, 0, &on_sent};
    if (method == "POST") {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, read_body);
        curl_easy_setopt(c, CURLOPT_READDATA, &upload);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_size(body)));
        curl_easy_setopt(c, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(kPiece));
        // Large bodies go at once instead of waiting for "100 Continue".
        add("Expect:");
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_body);
    Answer answer {&hop.body, max_body};
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer);

    hop.code = run_transfer(c);
    if (hop.code == CURLE_WRITE_ERROR && answer.too_large) {
        // An answer arrived, longer than allowed: the caller decides what that means.
        hop.code = CURLE_OK;
        hop.too_large = true;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &hop.status);
    curl_easy_getinfo(c, CURLINFO_HTTP_CONNECTCODE, &hop.proxy_answer);
    if (hop.code != CURLE_OK) {
        hop.error = error[0] ? std::string(error) : curl_easy_strerror(hop.code);
        while (!hop.error.empty() && (hop.error.back() == '\n' || hop.error.back() == '\r')) {
            hop.error.pop_back();
        }
        return hop;
    }
    char* location = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location) {
        hop.location = location;
    }
    return hop;
}

// Whether the proxy itself could not be reached (rather than the service behind it).
bool proxy_unreachable(const Hop& hop) {
    return hop.proxy_answer == 0 && (hop.code == CURLE_COULDNT_RESOLVE_PROXY || hop.code == CURLE_COULDNT_CONNECT);
}

// Tries the route's proxies in order and, where the route allows it, then directly. A proxy that
// answered (even with a refusal) ends the search: only one that cannot be reached hands on.
Hop by_route(const ProxyRoute& route, const std::function<Hop(const std::string& proxy)>& attempt) {
    for (const std::string& proxy : route.proxies) {
        Hop hop = attempt(proxy);
        const bool last = &proxy == &route.proxies.back() && !route.direct;
        if (hop.code != CURLE_OK && proxy_unreachable(hop)) {
            hop.error = "Proxy " + proxy + " nicht erreichbar: " + hop.error;
            if (!last) continue;
        } else if (hop.proxy_answer == 407) {
            log("Proxy " + proxy + " verlangt eine Anmeldung, die nicht gelang (407)");
            hop.error = kProxyLoginFailed;
        } else if (hop.code != CURLE_OK && hop.proxy_answer / 100 != 2 && hop.proxy_answer != 0) {
            hop.error = "Proxy " + proxy + " lehnt die Verbindung ab (" + std::to_string(hop.proxy_answer) + ")";
        }
        hop.way = proxy;
        return hop;
    }
    Hop hop = attempt({});
    hop.way = "direkt";
    return hop;
}

}  // namespace

HttpSettings& http_settings() {
    static HttpSettings settings;
    return settings;
}

void http_global_init() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

HttpResult perform(const HttpRequest& request) {
    for (const auto& [name, value] : request.headers) {
        if (!fits_in_header(name) || !fits_in_header(value)) {
            return ServiceError {ServiceError::Rejected, kUnusableAccess};
        }
    }
    http_global_init();
    const auto deadline = std::chrono::steady_clock::now() + http_settings().deadline;
    std::string method = request.method;
    std::string url = request.url;
    Headers headers = request.headers;
    std::vector<std::string_view> body = request.body;
    for (int redirects = 0;; ++redirects) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (remaining.count() <= 0) {
            return ServiceError {ServiceError::Unreachable, curl_easy_strerror(CURLE_OPERATION_TIMEDOUT)};
        }
        const ProxyRoute route = request.system_proxy ? proxy_resolver()->route(url) : ProxyRoute {};
        Hop hop = by_route(route, [&](const std::string& proxy) {
            return perform_once(method, url, headers, body, request.on_sent, request.max_body, remaining, proxy);
        });
        if (request.system_proxy) remember_route_label(hop.way);
        if (hop.code != CURLE_OK) {
            if (is_tls_setup_error(hop.code)) return ServiceError {ServiceError::Failed, "TLS: " + hop.error};
            if (hop.error == kProxyLoginFailed) return ServiceError {ServiceError::Failed, kProxyLoginFailed};
            if (request.partial_is_answer && hop.status > 0) {
                return HttpResponse {hop.status, std::move(hop.body), false, hop.error};
            }
            return ServiceError {ServiceError::Unreachable, hop.error};
        }
        const bool redirect = hop.status == 301 || hop.status == 302 || hop.status == 303 ||
                              hop.status == 307 || hop.status == 308;
        if (!redirect || hop.location.empty()) return HttpResponse {hop.status, std::move(hop.body), hop.too_large, {}};
        if (redirects == kMaxRedirects) {
            return ServiceError {ServiceError::Unreachable, curl_easy_strerror(CURLE_TOO_MANY_REDIRECTS)};
        }
        if (!is_http_url(hop.location)) {
            return ServiceError {ServiceError::Unreachable, curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL)};
        }
        // What was asked over https never goes on in clear: an upload would carry the user's
        // voice, a download could be swapped on the way.
        if (starts_with_ascii_ci(url, "https://") && !starts_with_ascii_ci(hop.location, "https://")) {
            return ServiceError {ServiceError::Unreachable, "Umleitung von https auf http abgelehnt"};
        }
        url = hop.location;
        // The token stays with the address it was meant for.
        std::erase_if(headers, [](const auto& h) { return to_lower_ascii(h.first) == "authorization"; });
        if (method == "POST" && hop.status != 307 && hop.status != 308) {
            // As browsers do: the redirected request is a GET without the body.
            method = "GET";
            body.clear();
            std::erase_if(headers, [](const auto& h) {
                const std::string name = to_lower_ascii(h.first);
                return name == "content-length" || name == "content-type" || name == "x-tolvek-dauer";
            });
        }
    }
}

}  // namespace tolvek
