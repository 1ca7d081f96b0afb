// The HTTP layer against the development service and its faults.
#include <gtest/gtest.h>

#include <thread>

#include "devservice_client.h"
#include "net/http.h"
#include "unit/test_support.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

constexpr char kRefused[] = "http://127.0.0.1:1";

class Http : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        service.reset();
        saved_settings = http_settings();
        saved_hosts = service_hosts();
        fallback_memory().set(std::nullopt);
    }
    void TearDown() override {
        http_settings() = saved_settings;
        service_hosts() = saved_hosts;
        fallback_memory().set(std::nullopt);
    }

    std::variant<Json, ServiceError> hello(const std::string& base, const std::string& token = "x") {
        return interpret_json_response(post_hello(base, token, Json {{"empty", 0}}));
    }
    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }

    test::ScopedDataDir data;
    test::DevService service;
    HttpSettings saved_settings;
    ServiceHosts saved_hosts;
};

ServiceError error_of(const std::variant<Json, ServiceError>& r) {
    EXPECT_TRUE(std::holds_alternative<ServiceError>(r));
    return std::holds_alternative<ServiceError>(r) ? std::get<ServiceError>(r) : ServiceError {};
}

// An answer far beyond anything the service sends (a captive portal, a broken proxy) is not read
// to its end: it is the unexpected answer.
TEST_F(Http, AnswerBeyondTheCapIsUnexpected) {
    std::string big = "[";
    for (int i = 0; i < 2500000; ++i) big += "1,";
    big += "1]";  // about 5 MB of valid JSON
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"raw", big}});
    EXPECT_EQ(error_of(hello(service.base())),
              (ServiceError {ServiceError::Failed, "Der Server hat unerwartet geantwortet."}));
}

TEST_F(Http, StatusAndBodyTable) {
    struct Case {
        const char* name;
        Json script;
        ServiceError expected;
        bool opus_refusal = false;  // the transcription reads it as a refused Opus upload
    };
    const std::string marker(kOpusMarker);
    const Json opus_body = {{"error", {{"message", "Opus geht nicht"}}}, {"code", "opus_error"}};
    const std::vector<Case> cases = {
        {"401 with message", {{"status", 401}, {"body", {{"error", {{"message", "Token abgelaufen"}}}}}},
         {ServiceError::Rejected, "Token abgelaufen"}},
        {"401 empty", {{"status", 401}, {"raw", ""}},
         {ServiceError::Rejected, "Der Server antwortet mit Fehler 401."}},
        {"403 with message", {{"status", 403}, {"body", {{"error", {{"message", "Code gesperrt"}}}}}},
         {ServiceError::Rejected, "Code gesperrt"}},
        {"403 message not a string", {{"status", 403}, {"body", {{"error", {{"message", 5}}}}}},
         {ServiceError::Rejected, "Der Server antwortet mit Fehler 403."}},
        {"500 plain text", {{"status", 500}, {"raw", "Internal Server Error"}},
         {ServiceError::Failed, "Der Server antwortet mit Fehler 500."}},
        {"422 opus_error", {{"status", 422}, {"body", opus_body}},
         {ServiceError::Failed, "Opus geht nicht"}, true},
        {"415 opus_error in text", {{"status", 415}, {"raw", "x \"opus_error\" y"}},
         {ServiceError::Failed, "Der Server antwortet mit Fehler 415."}, true},
        {"500 opus_error", {{"status", 500}, {"body", opus_body}},
         {ServiceError::Failed, "Opus geht nicht"}},
        {"422 opus_error unquoted", {{"status", 422}, {"raw", "opus_error"}},
         {ServiceError::Failed, "Der Server antwortet mit Fehler 422."}},
        {"200 OK is no JSON", {{"status", 200}, {"raw", "OK"}},
         {ServiceError::Failed, "Der Server hat unerwartet geantwortet."}},
        {"200 not UTF-8", {{"status", 200}, {"raw_base64", "eyJ0ZXh0IjoiTfxsbGVyIn0="}},
         {ServiceError::Failed, "Antwort unlesbar: ungültiges UTF-8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json script = c.script;
        script["path"] = "/v1/app/hello";
        service.next(script);
        const HttpResult answer = post_hello(service.base(), "x", Json {{"empty", 0}});
        // Other endpoints never carry the Opus marker into a message the user sees.
        EXPECT_EQ(error_of(interpret_json_response(answer)), c.expected);
        ServiceError transcription = c.expected;
        if (c.opus_refusal) transcription.message = marker + transcription.message;
        EXPECT_EQ(error_of(interpret_json_response(answer, true)), transcription);
    }
    // Any JSON value is a success; 3xx without a target too.
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"raw", "[1,2]"}});
    EXPECT_EQ(std::get<Json>(hello(service.base())), Json::parse("[1,2]"));
}

TEST_F(Http, FaultsAreUnreachable) {
    http_settings().deadline = 3s;
    for (const char* fault : {"close_before", "close_mid_body", "close_after_body", "silent", "trickle"}) {
        SCOPED_TRACE(fault);
        service.next({{"path", "/v1/app/hello"}, {"fault", fault}, {"delay", 10}});
        const auto started = std::chrono::steady_clock::now();
        const ServiceError e = error_of(hello(service.base()));
        EXPECT_EQ(e.kind, ServiceError::Unreachable) << e.message;
        EXPECT_FALSE(e.message.empty());
        EXPECT_LT(std::chrono::steady_clock::now() - started, 8s) << "the deadline ends the wait";
    }
    // A reset while a large body is still going out: no answer, and the progress shows the
    // body was not handed over completely.
    service.next({{"path", "/v1/app/hello"}, {"fault", "reset_mid_body"}});
    const std::string large(24 * 1024 * 1024, 'x');
    std::uint64_t handed = 0;
    HttpRequest r;
    r.method = "POST";
    r.url = service.base() + "/v1/app/hello";
    r.body = {large};
    r.on_sent = [&](std::uint64_t sent) { handed = sent; };
    const ServiceError reset = error_of(interpret_json_response(perform(r)));
    EXPECT_EQ(reset.kind, ServiceError::Unreachable) << reset.message;
    EXPECT_LT(handed, large.size());
    const ServiceError refused = error_of(hello(kRefused));
    EXPECT_EQ(refused.kind, ServiceError::Unreachable);
    EXPECT_EQ(error_of(hello("")).kind, ServiceError::Unreachable) << "no server configured";
}

// A peer that never answers the connection attempt (its queue is full): the product's own
// 10 s connect limit ends the wait, long before the deadline.
TEST_F(Http, ConnectAttemptEndsAfterTenSeconds) {
    const std::string port = get_env("TOLVEK_TEST_STALLED_PORT").value_or("");
    if (port.empty()) GTEST_SKIP() << "needs the development service's stalled port";
    http_settings() = HttpSettings {};
    const auto started = std::chrono::steady_clock::now();
    const ServiceError e = error_of(hello("http://127.0.0.1:" + port));
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(e.kind, ServiceError::Unreachable) << e.message;
    EXPECT_GE(waited, 9500ms);
    EXPECT_LT(waited, 20s);
}

TEST_F(Http, RedirectsAtMostFiveWithoutTheToken) {
    const std::string path = "/v1/app/hello";
    const auto redirect_to = [&](const std::string& target) {
        service.next({{"path", path}, {"status", 307}, {"headers", {{"Location", target + path}}}, {"raw", ""}});
    };
    for (int i = 0; i < 5; ++i) redirect_to(service.base());
    service.next({{"path", path}, {"status", 200}, {"body", Json::object()}});
    EXPECT_TRUE(std::holds_alternative<Json>(hello(service.base(), "geheim")));
    const Json log5 = service.requests();
    ASSERT_EQ(log5.size(), 6u);
    EXPECT_TRUE(test::has_header(log5[0], "Authorization"));
    for (std::size_t i = 1; i < 6; ++i) {
        EXPECT_FALSE(test::has_header(log5[i], "Authorization")) << "hop " << i;
        EXPECT_EQ(log5[i]["method"], "POST") << "307 keeps the method";
    }

    service.reset();
    for (int i = 0; i < 6; ++i) redirect_to(service.base());
    EXPECT_EQ(error_of(hello(service.base())).kind, ServiceError::Unreachable);

    // Another host (localhost instead of 127.0.0.1) never sees the token.
    service.reset();
    const std::string other = "http://localhost:" + service.base().substr(service.base().rfind(':') + 1);
    service.next({{"path", path}, {"status", 302}, {"headers", {{"Location", other + path}}}, {"raw", ""}});
    service.next({{"path", path}, {"status", 200}, {"body", {{"ok", true}}}});
    EXPECT_TRUE(std::holds_alternative<Json>(hello(service.base(), "geheim")));
    const Json moved = service.requests();
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_FALSE(test::has_header(moved[1], "Authorization"));
    EXPECT_EQ(moved[1]["method"], "GET") << "302 turns the POST into a GET";
}

// What a hostile or broken peer may send: a redirect to another scheme, JSON nested a million
// deep (within the cap); and a proxy named in the environment is not used.
TEST_F(Http, OddPeersAndAProxyInTheEnvironment) {
    const std::string path = "/v1/app/hello";
    service.next({{"path", path}, {"status", 302}, {"headers", {{"Location", "ftp://127.0.0.1/x"}}}, {"raw", ""}});
    EXPECT_EQ(error_of(hello(service.base())).kind, ServiceError::Unreachable) << "only http and https are followed";

    const std::string deep = std::string(1000000, '[') + std::string(1000000, ']');
    service.next({{"path", path}, {"status", 200}, {"raw", deep}});
    const auto nested = hello(service.base());  // parsed and freed without running out of stack
    ASSERT_TRUE(std::holds_alternative<Json>(nested)) << error_of(nested).message;
    EXPECT_TRUE(std::get<Json>(nested).is_array());

    for (const char* variable : {"http_proxy", "HTTP_PROXY", "https_proxy", "ALL_PROXY"}) {
        test::set_env(variable, "http://127.0.0.1:1");
    }
    service.next({{"path", path}, {"status", 200}, {"body", {{"direct", true}}}});
    const auto direct = hello(service.base());
    for (const char* variable : {"http_proxy", "HTTP_PROXY", "https_proxy", "ALL_PROXY"}) {
        test::set_env(variable, std::nullopt);
    }
    ASSERT_TRUE(std::holds_alternative<Json>(direct)) << error_of(direct).message;
    EXPECT_EQ(std::get<Json>(direct)["direct"], true);
}

// What was asked over https never goes on in clear, for any request: such a redirect counts as
// no connection, and nothing is sent to the http address.
TEST_F(Http, NoRedirectFromHttpsToHttp) {
    http_settings().ca_file = get_env("TOLVEK_TEST_CA").value_or("");
    for (const std::string path : {"/v1/app/hello", "/dl/ST-3PVA-8RKE"}) {
        SCOPED_TRACE(path);
        service.reset();
        service.next({{"path", path}, {"status", 302}, {"headers", {{"Location", service.base() + path}}}, {"raw", ""}});
        service.next({{"path", path}, {"status", 200}, {"body", {{"clear", true}}}});
        const HttpResult result = path == "/dl/ST-3PVA-8RKE" ? get_download(service.tls_base(), path)
                                                             : post_hello(service.tls_base(), "geheim", Json::object());
        ASSERT_TRUE(std::holds_alternative<ServiceError>(result));
        EXPECT_EQ(std::get<ServiceError>(result).kind, ServiceError::Unreachable);
        EXPECT_EQ(std::get<ServiceError>(result).message, "Umleitung von https auf http abgelehnt");
        EXPECT_EQ(service.requests().size(), 1u) << "only the https request went out";
    }
    // From http to http, and from http to https, redirects are still followed.
    service.reset();
    service.next({{"path", "/v1/app/hello"}, {"status", 302},
                  {"headers", {{"Location", service.tls_base() + "/v1/app/hello"}}}, {"raw", ""}});
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"body", {{"ok", true}}}});
    const auto upgraded = hello(service.base());
    ASSERT_TRUE(std::holds_alternative<Json>(upgraded)) << error_of(upgraded).message;
}

TEST_F(Http, RequestHeadersInOrder) {
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"body", Json::object()}});
    hello(service.base(), "t1");
    interpret_json_response(post_enroll(service.base(), Json {{"version", "0.5.24"}, {"code", "ST-AAAA-BBBB"}, {"os", "W"}}));
    interpret_json_response(dictionary_request(service.base(), "t2", {}, {}));
    interpret_json_response(dictionary_request(service.base(), "t2", {"Kestrom"}, {}));
    interpret_json_response(get_download(service.base(), "/dl/ST-AAAA-BBBB"));
    const Json requests = service.requests();
    ASSERT_EQ(requests.size(), 5u);
    using H = std::vector<std::pair<std::string, std::string>>;
    const auto host = service.base().substr(7);
    EXPECT_EQ(test::logged_headers(requests[0]),
              (H {{"Host", host}, {"User-Agent", "Tolvek/0.5.24"}, {"Authorization", "Bearer t1"},
                  {"Content-Type", "application/json"}, {"Content-Length", "11"}}));
    EXPECT_EQ(requests[0]["body"], "{\"empty\":0}");
    EXPECT_EQ(test::logged_headers(requests[1]),
              (H {{"Host", host}, {"User-Agent", "Tolvek/0.5.24"}, {"Content-Type", "application/json"},
                  {"Content-Length", "51"}}));
    EXPECT_EQ(requests[1]["body"], "{\"code\":\"ST-AAAA-BBBB\",\"os\":\"W\",\"version\":\"0.5.24\"}");
    EXPECT_EQ(requests[2]["method"], "GET");
    EXPECT_EQ(test::logged_headers(requests[2]),
              (H {{"Host", host}, {"User-Agent", "Tolvek/0.5.24"}, {"Authorization", "Bearer t2"},
                  {"Content-Type", "application/json"}}));
    EXPECT_EQ(requests[3]["method"], "POST");
    EXPECT_EQ(requests[3]["body"], "{\"add\":[\"Kestrom\"],\"remove\":[]}");
    EXPECT_EQ(requests[4]["path"], "/dl/ST-AAAA-BBBB");
    EXPECT_EQ(test::logged_headers(requests[4]), (H {{"Host", host}, {"User-Agent", "Tolvek/0.5.24"}}));
}

TEST_F(Http, FallBackToTheLegacyHostAndRemember) {
    service_hosts() = {kRefused, service.base()};
    const auto call = [&] {
        return call_with_fallback(kRefused, [](const std::string& base) { return post_hello(base, "x", Json::object()); });
    };
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"body", {{"n", 1}}}});
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"body", {{"n", 2}}}});
    EXPECT_EQ(std::get<Json>(call())["n"], 1);
    const std::string first_log = log();
    EXPECT_NE(first_log.find(std::string(" ") + kRefused + " nicht erreichbar ("), std::string::npos) << first_log;
    EXPECT_NE(first_log.find("), Rückfall auf " + service.base() + "\n"), std::string::npos);
    EXPECT_EQ(std::count(first_log.begin(), first_log.end(), '\n'), 1);
    EXPECT_TRUE(fallback_memory().get().has_value());
    EXPECT_EQ(resolve_base_url(kRefused), service.base());

    EXPECT_EQ(std::get<Json>(call())["n"], 2) << "straight to the legacy host";
    EXPECT_EQ(log(), first_log) << "no further log line";

    // After four hours the current host is tried again.
    fallback_memory().set(std::chrono::steady_clock::now() - kFallbackWindow - 1s);
    EXPECT_EQ(resolve_base_url(kRefused), kRefused);

    // The remembered legacy host fails: the memory goes, the current host comes next.
    fallback_memory().set(std::chrono::steady_clock::now());
    service_hosts() = {kRefused, "http://127.0.0.1:2"};
    EXPECT_EQ(error_of(call()), (ServiceError {ServiceError::Failed, kNoConnection}));
    EXPECT_FALSE(fallback_memory().get().has_value());
    EXPECT_NE(log().find(" Verbindung zu http://127.0.0.1:2 gescheitert: "), std::string::npos);
}

TEST_F(Http, BothHostsUnreachableOrOtherServer) {
    service_hosts() = {kRefused, "http://127.0.0.1:2"};
    const auto request = [](const std::string& base) { return post_hello(base, "x", Json::object()); };
    EXPECT_EQ(error_of(call_with_fallback(kRefused, request)),
              (ServiceError {ServiceError::Failed, kNoConnection}));
    const std::string both = log();
    EXPECT_EQ(std::count(both.begin(), both.end(), '\n'), 1) << "one line for both hosts";
    EXPECT_FALSE(fallback_memory().get().has_value());

    // A server of its own never falls back.
    const std::string other = "http://127.0.0.1:3";
    EXPECT_EQ(error_of(call_with_fallback(other, request)),
              (ServiceError {ServiceError::Failed, kNoConnection}));
    EXPECT_NE(log().find(" Verbindung zu http://127.0.0.1:3 gescheitert: "), std::string::npos);

    // An answer with an error from the legacy host is passed on without remembering it.
    service_hosts() = {kRefused, service.base()};
    service.next({{"path", "/v1/app/hello"}, {"status", 500}, {"raw", ""}});
    EXPECT_EQ(error_of(call_with_fallback(kRefused, request)),
              (ServiceError {ServiceError::Failed, "Der Server antwortet mit Fehler 500."}));
    EXPECT_FALSE(fallback_memory().get().has_value());
}

#ifndef _WIN32
// Wine's Schannel does not verify certificates, so this is proven natively (OpenSSL).
TEST_F(Http, TlsVerifiesAuthorityAndName) {
    const std::string port = get_env("TOLVEK_TEST_TLS_PORT").value_or("");
    http_settings().ca_file.clear();
    EXPECT_EQ(error_of(hello(service.tls_base())).kind, ServiceError::Unreachable) << "unknown CA";
    http_settings().ca_file = get_env("TOLVEK_TEST_CA").value_or("");
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"body", Json::object()}});
    EXPECT_TRUE(std::holds_alternative<Json>(hello(service.tls_base())));
    EXPECT_EQ(error_of(hello("https://127.0.0.1:" + port)).kind, ServiceError::Unreachable)
        << "certificate for another name";
    http_settings().ca_file = "/nonexistent/ca.pem";
    const ServiceError setup = error_of(hello(service.tls_base()));
    EXPECT_EQ(setup.kind, ServiceError::Failed);
    EXPECT_EQ(setup.message.rfind("TLS: ", 0), 0u) << setup.message;
}
#else
TEST_F(Http, HttpsWithSchannel) {
    service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"body", {{"ok", true}}}});
    EXPECT_EQ(std::get<Json>(hello(service.tls_base()))["ok"], true);
}
#endif

}  // namespace
}  // namespace tolvek
