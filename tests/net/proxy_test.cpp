// Requests through a company proxy (the harness's proxy.py, which tunnels CONNECT and can refuse
// or demand a login): the way the resolver gives, and, under Wine, the way the user's Internet
// settings give through WinHTTP.
#include <gtest/gtest.h>

#include "devservice_client.h"
#include "net/hello.h"
#include "net/http.h"
#include "net/proxy.h"
#include "test_proxy.h"
#include "unit/test_support.h"
#include "util/text.h"

namespace tolvek {
namespace {

constexpr char kDeadProxy[] = "127.0.0.1:1";

class Proxy : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available() || !proxy.available()) GTEST_SKIP() << "needs the development service and its proxy";
        service.reset();
        proxy.reset();
        saved_settings = http_settings();
        saved_hosts = service_hosts();
        http_settings().ca_file = get_env("TOLVEK_TEST_CA").value_or("");
        fallback_memory().set(std::nullopt);
    }
    void TearDown() override {
        set_proxy_sources(std::nullopt);
        http_settings() = saved_settings;
        service_hosts() = saved_hosts;
        fallback_memory().set(std::nullopt);
    }
    // Every request takes `route`.
    void route_all(const ProxyRoute& route) {
        set_proxy_sources(ProxyResolver::Sources {[] { return ProxySettings {true, "x", {}, {}}; },
                                                  [route](const ProxySettings&, const std::string&) {
                                                      return std::optional<ProxyRoute>(route);
                                                  }});
    }
    // Whether the service answered (its answer to an unknown token is answer enough).
    bool reached(const std::string& base) {
        const HttpResult result = post_hello(base, "geheim", Json {{"empty", 0}});
        if (const auto* error = std::get_if<ServiceError>(&result)) ADD_FAILURE() << error->message;
        return std::holds_alternative<HttpResponse>(result);
    }
    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }
    std::string tls_target() const { return "localhost:" + get_env("TOLVEK_TEST_TLS_PORT").value_or(""); }

    test::ScopedDataDir data;
    test::DevService service;
    test::TestProxy proxy;
    HttpSettings saved_settings;
    ServiceHosts saved_hosts;
};

// The request runs in a tunnel: the service gets it as sent (token included, TLS checked end to
// end), the proxy sees the target only.
TEST_F(Proxy, TunnelCarriesTheRequestAndKeepsTheTokenFromTheProxy) {
    route_all({{proxy.address()}, false});
    ASSERT_TRUE(reached(service.tls_base()));
    const Json seen = proxy.log();
    ASSERT_EQ(seen.size(), 1u) << seen.dump();
    EXPECT_EQ(seen[0]["method"], "CONNECT");
    EXPECT_EQ(seen[0]["target"], tls_target());
    for (const auto& header : seen[0]["headers"]) {
        EXPECT_NE(to_lower_ascii(header[0].get<std::string>()), "authorization");
    }
    const Json requests = service.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["path"], "/v1/app/hello");
    EXPECT_TRUE(test::has_header(requests[0], "Authorization"));
    EXPECT_EQ(last_route_label(), proxy.address());

    // Even a plain http address goes through a tunnel, so the token never lies open at the proxy.
    proxy.reset();
    ASSERT_TRUE(reached(service.base()));
    ASSERT_EQ(proxy.log().size(), 1u);
    EXPECT_EQ(proxy.log()[0]["method"], "CONNECT");
}

// A proxy that cannot be reached hands on to the next one, and to a direct connection only where
// the route allows it; otherwise the request fails naming the proxy.
TEST_F(Proxy, UnreachableProxyHandsOnOnlyWhereTheRouteSaysSo) {
    route_all({{kDeadProxy, proxy.address()}, false});
    EXPECT_TRUE(reached(service.tls_base()));
    EXPECT_EQ(proxy.log().size(), 1u);

    route_all({{kDeadProxy}, true});
    EXPECT_TRUE(reached(service.tls_base()));
    EXPECT_EQ(last_route_label(), "direkt");

    route_all({{kDeadProxy}, false});
    const auto raw = post_hello(service.tls_base(), "geheim", Json::object());
    ASSERT_TRUE(std::holds_alternative<ServiceError>(raw));
    EXPECT_EQ(std::get<ServiceError>(raw).kind, ServiceError::Unreachable);
    const std::string expected = std::string("Proxy ") + kDeadProxy + " nicht erreichbar: ";
    EXPECT_EQ(std::get<ServiceError>(raw).message.rfind(expected, 0), 0u)
        << std::get<ServiceError>(raw).message;
    EXPECT_EQ(service.requests().size(), 2u) << "only the two requests that were allowed reached the service";
}

// Refusals of the proxy: a login the Windows logon cannot give is its own message; any other
// refusal counts as no connection, and the fall-back host is tried through the proxy too.
TEST_F(Proxy, LoginAndRefusal) {
    service_hosts() = {service.tls_base(), service.base()};
    route_all({{proxy.address()}, false});
    proxy.config({{"login", "ntlm"}});
    const auto login = interpret_json_response(post_hello(service.tls_base(), "geheim", Json::object()));
    ASSERT_TRUE(std::holds_alternative<ServiceError>(login));
    EXPECT_EQ(std::get<ServiceError>(login),
              (ServiceError {ServiceError::Failed, "Der Proxy verlangt eine Anmeldung, die nicht gelang."}));
    EXPECT_NE(log().find("Proxy " + proxy.address() + " verlangt eine Anmeldung, die nicht gelang (407)"),
              std::string::npos)
        << log();
    EXPECT_TRUE(service.requests().empty());

    proxy.reset();
    proxy.config({{"refuse", 403}});
    const auto refused = call_with_fallback(service.tls_base(), [&](const std::string& base) {
        return post_hello(base, "geheim", Json::object());
    });
    ASSERT_TRUE(std::holds_alternative<ServiceError>(refused));
    EXPECT_EQ(std::get<ServiceError>(refused).message, kNoConnection);
    const Json seen = proxy.log();
    ASSERT_EQ(seen.size(), 2u) << seen.dump();
    EXPECT_EQ(seen[0]["target"], tls_target());
    EXPECT_EQ(seen[1]["target"], service.base().substr(std::string("http://").size()));
    EXPECT_NE(log().find("Proxy " + proxy.address() + " lehnt die Verbindung ab (403)"), std::string::npos) << log();
}

#ifdef _WIN32
// The user's Internet settings as the Windows settings page writes them, read through WinHTTP.
class InternetSettings : public Proxy {
protected:
    void SetUp() override {
        Proxy::SetUp();
        set_proxy_sources(std::nullopt);
    }
    void TearDown() override {
        settings.reset();
        Proxy::TearDown();
    }
    std::optional<test::ScopedInternetSettings> settings;
};

TEST_F(InternetSettings, FixedBypassScriptAndNone) {
    const std::string pac_url = "http://" + proxy.address() + "/proxy.pac";
    const struct {
        const char* name;
        test::InternetSettings values;
        bool through_proxy;
    } cases[] = {
        {"fixed proxy", {proxy.address(), "<-loopback>", ""}, true},
        {"fixed proxy, the service's host bypassed", {proxy.address(), "<-loopback>;localhost", ""}, false},
        {"fixed proxy without <-loopback>", {proxy.address(), "", ""}, false},
        {"configuration script", {"", "", pac_url}, true},
        {"nothing set", {"", "", ""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.reset();
        settings.emplace(c.values);
        proxy.reset();
        proxy.config({{"pac", test::TestProxy::script_through(proxy.address(), "localhost")}});
        ASSERT_TRUE(reached(service.tls_base()));
        const Json seen = proxy.log();
        std::size_t tunnels = 0;
        for (const auto& entry : seen) tunnels += entry["method"] == "CONNECT" && entry["target"] == tls_target();
        EXPECT_EQ(tunnels, c.through_proxy ? 1u : 0u) << seen.dump();
        EXPECT_EQ(last_route_label(), c.through_proxy ? proxy.address() : "direkt");
    }
}

TEST_F(InternetSettings, UnreachableFixedProxyIsNotBypassed) {
    settings.emplace(test::InternetSettings {kDeadProxy, "<-loopback>", ""});
    const auto result = call_with_fallback(service.tls_base(), [](const std::string& base) {
        return post_hello(base, "geheim", Json::object());
    });
    ASSERT_TRUE(std::holds_alternative<ServiceError>(result));
    EXPECT_EQ(std::get<ServiceError>(result).message, kNoConnection);
    EXPECT_TRUE(service.requests().empty()) << "no direct attempt";
    EXPECT_NE(log().find(std::string("Proxy ") + kDeadProxy + " nicht erreichbar"), std::string::npos) << log();
}
#endif

}  // namespace
}  // namespace tolvek
