// Reading the user's proxy settings and remembering what an automatic configuration answered.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "net/proxy.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

UrlTarget target(const std::string& url) { return url_target(url).value(); }

TEST(ProxyList, EntriesPerSchemeWithoutCredentials) {
    const struct {
        const char* list;
        const char* scheme;
        std::vector<std::string> proxies;
    } cases[] = {
        {"proxy.firma.example:8080", "https", {"proxy.firma.example:8080"}},
        {"Proxy.Firma.Example", "https", {"proxy.firma.example:80"}},
        {"http=p1:3128;https=p2:3129", "https", {"p2:3129"}},
        {"http=p1:3128;https=p2:3129", "http", {"p1:3128"}},
        {"http=p1:3128", "https", {}},  // only for http: https goes directly
        {"p1:8080; p2:8080", "https", {"p1:8080", "p2:8080"}},
        {"http://p1:8080/", "https", {"p1:8080"}},
        {"socks=s:1080;p1:8080", "https", {"p1:8080"}},
        {"socks5://s:1080", "https", {}},
        {"anna:geheim@p1:8080", "https", {"p1:8080"}},  // a password in the settings is never used
        {"[fd00::1]:8080", "https", {"[fd00::1]:8080"}},
        {"p1:0;p2:99999;p3:;b%d:1;p4:80x;p\x01x:1;[zz]:1;[fd00::1", "https", {}},
        {"p1:8080 p2:8080\r\n", "https", {"p1:8080", "p2:8080"}},
        {"", "https", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(proxies_for_scheme(c.list, c.scheme), c.proxies) << c.list << " for " << c.scheme;
    }
}

TEST(ProxyBypass, ListsWildcardsLocalNamesAndLoopback) {
    const struct {
        const char* url;
        const char* list;
        bool bypassed;
    } cases[] = {
        {"https://sprache.tolvek.example", "", false},
        {"https://sprache.tolvek.example", "*.tolvek.example", true},
        {"https://sprache.tolvek.example", "*.TOLVEK.example", true},
        {"https://tolvek.example", "*.tolvek.example", false},
        {"https://sprache.tolvek.example", "sprache.tolvek.example:8443", false},
        {"https://sprache.tolvek.example:8443", "sprache.tolvek.example:8443", true},
        {"https://sprache.tolvek.example", "http://sprache.tolvek.example", false},
        {"https://sprache.tolvek.example", "https://sprache.tolvek.example", true},
        {"https://intranet/x", "<local>", true},
        {"https://sprache.tolvek.example", "<local>", false},
        {"http://10.1.2.3:8000", "10.*", true},
        {"https://127.0.0.1:4443", "", true},  // Windows never sends loopback to a proxy ...
        {"https://localhost:4443", "", true},
        {"https://[::1]:4443", "", true},
        {"https://127.0.0.1:4443", "<-loopback>", false},  // ... unless the list says so
        {"https://localhost:4443", "<-loopback>;localhost", true},
        {"https://[fd00::5]:443", "fd00::5", true},
        {"https://[fd00::5]:443", "[fd00::5]:443", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bypassed(target(c.url), c.list), c.bypassed) << c.url << " with " << c.list;
    }
}

TEST(ProxyRoute, FixedSettings) {
    ProxySettings s;
    EXPECT_EQ(fixed_route(s, target("https://a.example")), ProxyRoute {}) << "nothing set: directly";
    s.servers = "p1:8080";
    s.bypass = "*.intern.example";
    EXPECT_EQ(fixed_route(s, target("https://a.example")), (ProxyRoute {{"p1:8080"}, false}))
        << "a fixed proxy is never bypassed by a direct attempt";
    EXPECT_EQ(fixed_route(s, target("https://b.intern.example")), ProxyRoute {});
    EXPECT_EQ(route_label(ProxyRoute {}), "direkt");
    EXPECT_EQ(route_label(ProxyRoute {{"p1:8080", "p2:8080"}, true}), "p1:8080");
}

// A resolver over settings and an evaluation the test controls, on a clock it moves.
struct Fake {
    std::mutex mutex;
    ProxySettings settings;
    std::atomic<int> evaluations {0};
    std::optional<ProxyRoute> answer;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<ProxyResolver::Clock::time_point> now {ProxyResolver::Clock::now()};

    ProxyResolver::Sources sources() {
        return {[this] {
                    std::lock_guard lock(mutex);
                    return settings;
                },
                [this](const ProxySettings&, const std::string&) {
                    released.wait();
                    ++evaluations;
                    std::lock_guard lock(mutex);
                    return answer;
                },
                [this] { return now.load(); }};
    }
    void pass(std::chrono::seconds time) { now = now.load() + time; }
};

// Waits (briefly) until the resolver's thread has put its answer down.
template <class F>
bool soon(F done) {
    for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(5ms);
    return done();
}

TEST(ProxyResolver, DetectionNeverHoldsARequestAndNothingFoundIsRemembered) {
    Fake fake;
    fake.settings.auto_detect = true;
    fake.settings.servers = "fixed:3128";
    ProxyResolver resolver(fake.sources());
    // The detection hangs: the request goes at once, by the fixed settings.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(resolver.route("https://sprache.tolvek.example/v1"), (ProxyRoute {{"fixed:3128"}, false}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    fake.release.set_value();
    ASSERT_TRUE(soon([&] { return fake.evaluations == 1; }));
    std::this_thread::sleep_for(20ms);
    // "Nothing found" holds for minutes: no new detection per request.
    for (int i = 0; i < 5; ++i) resolver.route("https://sprache.tolvek.example/v1/audio");
    fake.pass(ProxyResolver::kNothingFoundFor - 1s);
    resolver.route("https://sprache.tolvek.example/");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fake.evaluations, 1);
    // Then it is asked again; a new network forgets at once.
    fake.pass(2s);
    resolver.route("https://sprache.tolvek.example/");
    ASSERT_TRUE(soon([&] { return fake.evaluations == 2; }));
    std::this_thread::sleep_for(20ms);
    resolver.forget();
    resolver.route("https://sprache.tolvek.example/");
    EXPECT_TRUE(soon([&] { return fake.evaluations == 3; }));
}

TEST(ProxyResolver, AScriptIsWaitedForOnceThenItsAnswerServesAndIsRenewedBehindTheRequests) {
    Fake fake;
    fake.settings.script_url = "http://wpad.firma.example/proxy.pac";
    fake.answer = ProxyRoute {{"pac:8080"}, true};
    ProxyResolver resolver(fake.sources());
    auto first = std::async(std::launch::async, [&] { return resolver.route("https://sprache.tolvek.example/"); });
    EXPECT_EQ(first.wait_for(200ms), std::future_status::timeout) << "the first request waits for the script";
    fake.release.set_value();
    EXPECT_EQ(first.get(), (ProxyRoute {{"pac:8080"}, true}));
    EXPECT_EQ(resolver.route("https://sprache.tolvek.example/"), (ProxyRoute {{"pac:8080"}, true}));
    EXPECT_EQ(fake.evaluations, 1);
    // After a minute the old answer still serves while the new one is fetched.
    {
        std::lock_guard lock(fake.mutex);
        fake.answer = std::nullopt;  // the script can no longer be loaded
    }
    fake.pass(ProxyResolver::kFoundFor + 1s);
    EXPECT_EQ(resolver.route("https://sprache.tolvek.example/"), (ProxyRoute {{"pac:8080"}, true}));
    ASSERT_TRUE(soon([&] { return fake.evaluations == 2; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(resolver.route("https://sprache.tolvek.example/"), ProxyRoute {})
        << "without an answer, the fixed settings (none: directly)";
    // Another host is its own question; changed settings are a new question at once.
    resolver.route("https://alt.tolvek.example/");
    EXPECT_EQ(fake.evaluations, 3);
    {
        std::lock_guard lock(fake.mutex);
        fake.settings.servers = "fixed:3128";
        fake.answer = ProxyRoute {{"pac2:8080"}, false};
    }
    EXPECT_EQ(resolver.route("https://alt.tolvek.example/"), (ProxyRoute {{"pac2:8080"}, false}));
}

TEST(ProxyResolver, WithoutAutomaticConfigurationNothingIsLookedUp) {
    Fake fake;
    fake.settings.servers = "fixed:3128";
    fake.release.set_value();
    ProxyResolver resolver(fake.sources());
    EXPECT_EQ(resolver.route("https://sprache.tolvek.example/"), (ProxyRoute {{"fixed:3128"}, false}));
    EXPECT_EQ(resolver.route("not a url"), ProxyRoute {});
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(fake.evaluations, 0);
}

}  // namespace
}  // namespace tolvek
