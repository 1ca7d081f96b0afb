// How a request reaches the service: directly, or through the proxy Windows is set up to use for
// this user (a fixed proxy with its bypass list, or an automatic configuration script, given by
// the settings or found by WPAD). Proxy variables of the environment are never used.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek {

// The user's Internet settings, as Windows reports them.
struct ProxySettings {
    bool auto_detect = false;  // "Automatically detect settings" (WPAD)
    std::string script_url;    // the automatic configuration script
    std::string servers;       // "host:port", or per scheme "http=host:port;https=host:port"
    std::string bypass;        // "*.example.com;<local>;<-loopback>"
    bool operator==(const ProxySettings&) const = default;
};

// The way of one request: the proxies to try in order ("host:port"), then, where `direct` is
// set, a direct connection. No proxies and `direct`: directly, as without any proxy.
struct ProxyRoute {
    std::vector<std::string> proxies;
    bool direct = true;
    bool operator==(const ProxyRoute&) const = default;
};

struct UrlTarget {
    std::string scheme;  // lower case
    std::string host;    // lower case, an IPv6 address without its brackets
    std::uint16_t port = 0;
};
std::optional<UrlTarget> url_target(std::string_view url);

// The proxies a proxy list names for a scheme, each as "host:port" (port 80 when none is given).
// Entries for other schemes, other proxy kinds and malformed entries are left out; user names
// and passwords in an entry are dropped, never used.
std::vector<std::string> proxies_for_scheme(std::string_view list, std::string_view scheme);

// Whether the bypass list sends `target` around the proxy. Loopback addresses are bypassed unless
// the list says "<-loopback>"; "<local>" bypasses names without a dot; "*" matches any run of
// characters; an entry with a port matches that port only.
bool bypassed(const UrlTarget& target, std::string_view list);

// The way the fixed settings give (the automatic configuration left aside).
ProxyRoute fixed_route(const ProxySettings& settings, const UrlTarget& target);

// "direkt", or the first proxy's "host:port".
std::string route_label(const ProxyRoute& route);

// Looks up the way per request. The fixed settings are read each time; what an automatic
// configuration answers is remembered for a minute, "nothing found" for five minutes, both until
// the network changes. A lookup runs on a thread of its own: where only detection (WPAD) is on,
// a request never waits for it and goes by the fixed settings until it has an answer; a request
// that has a configuration script and no answer yet waits for it, at most `kScriptWait`.
class ProxyResolver {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kFoundFor {60};
    static constexpr std::chrono::seconds kNothingFoundFor {300};
    static constexpr std::chrono::seconds kScriptWait {10};

    struct Sources {
        std::function<ProxySettings()> settings;
        // The automatic configuration's answer for a URL; nothing when none was found.
        std::function<std::optional<ProxyRoute>(const ProxySettings&, const std::string& url)> evaluate;
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
    };
    explicit ProxyResolver(Sources sources) : sources_(std::move(sources)) {}
    ~ProxyResolver();
    ProxyResolver(const ProxyResolver&) = delete;
    ProxyResolver& operator=(const ProxyResolver&) = delete;

    // `may_wait` false: never waits, not even for a script (for showing the way, not using it).
    ProxyRoute route(const std::string& url, bool may_wait = true);
    // Forgets every answer (the network changed).
    void forget();

private:
    struct Answer {
        std::optional<ProxyRoute> route;
        Clock::time_point at;
        unsigned generation = 0;
    };
    void work();

    Sources sources_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Answer> answers_;
    std::vector<std::pair<std::string, std::pair<ProxySettings, std::string>>> queue_;
    std::set<std::string> pending_;
    unsigned generation_ = 0;
    bool working_ = false;  // a worker thread runs
    bool stopping_ = false;
};

// The program's resolver, reading the user's Windows settings (natively: never a proxy).
std::shared_ptr<ProxyResolver> proxy_resolver();
// The sources the program reads: the user's settings and WinHTTP's evaluation.
ProxyResolver::Sources system_proxy_sources();
// Puts a fresh resolver in place: with other sources (tests), or with none the system's again.
void set_proxy_sources(std::optional<ProxyResolver::Sources> sources);

// The way the last request to the service took: "direkt" or "host:port"; empty before the first.
std::string last_route_label();
void remember_route_label(std::string label);

}  // namespace tolvek
