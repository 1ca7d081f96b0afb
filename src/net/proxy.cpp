#include "net/proxy.h"

#include <algorithm>
#include <thread>

#include "util/guarded.h"
#include "util/text.h"

namespace tolvek {
namespace {

bool is_separator(char c) { return c == ';' || c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

std::vector<std::string_view> entries(std::string_view list) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && is_separator(list[i])) ++i;
        const std::size_t start = i;
        while (i < list.size() && !is_separator(list[i])) ++i;
        if (i > start) out.push_back(list.substr(start, i - start));
    }
    return out;
}

bool host_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

std::optional<std::uint16_t> parse_port(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// "host", "host:port", "[v6]" or "[v6]:port" → host (v6 without brackets) and port (0: none).
std::optional<std::pair<std::string, std::uint16_t>> split_host_port(std::string_view text) {
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
                       c == '.';
            })) {
            return std::nullopt;
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), host_char)) return std::nullopt;
    }
    std::uint16_t number = 0;
    if (!port.empty()) {
        const auto parsed = parse_port(port);
        if (!parsed) return std::nullopt;
        number = *parsed;
    } else if (text.back() == ':') {
        return std::nullopt;
    }
    return std::make_pair(to_lower_ascii(host), number);
}

std::string host_port(const std::string& host, std::uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// Glob with "*" (any run), ASCII case already folded by the caller.
bool glob(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool is_loopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.starts_with("127.") || host == "0:0:0:0:0:0:0:1";
}

std::string answer_key(const ProxySettings& s, const UrlTarget& t) {
    return std::string(s.auto_detect ? "1" : "0") + '\n' + s.script_url + '\n' + s.servers + '\n' + s.bypass +
           '\n' + t.scheme + "://" + host_port(t.host, t.port);
}

}  // namespace

std::optional<UrlTarget> url_target(std::string_view url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos) return std::nullopt;
    UrlTarget target;
    target.scheme = to_lower_ascii(url.substr(0, colon));
    std::string_view rest = url.substr(colon + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
    const auto split = split_host_port(rest);
    if (!split) return std::nullopt;
    target.host = split->first;
    target.port = split->second ? split->second : (target.scheme == "https" ? 443 : 80);
    return target;
}

std::vector<std::string> proxies_for_scheme(std::string_view list, std::string_view scheme) {
    std::vector<std::string> general, specific;
    for (std::string_view entry : entries(list)) {
        bool for_scheme = false;
        if (const std::size_t equals = entry.find('='); equals != std::string_view::npos) {
            if (to_lower_ascii(entry.substr(0, equals)) != scheme) continue;
            entry = entry.substr(equals + 1);
            for_scheme = true;
        }
        if (const std::size_t sep = entry.find("://"); sep != std::string_view::npos) {
            // Only a proxy spoken to in plain HTTP; SOCKS and HTTPS proxies are not used.
            if (to_lower_ascii(entry.substr(0, sep)) != "http") continue;
            entry = entry.substr(sep + 3);
        }
        if (const std::size_t at = entry.rfind('@'); at != std::string_view::npos) entry = entry.substr(at + 1);
        while (!entry.empty() && entry.back() == '/') entry.remove_suffix(1);
        const auto split = split_host_port(entry);
        if (!split) continue;
        (for_scheme ? specific : general).push_back(host_port(split->first, split->second ? split->second : 80));
    }
    return specific.empty() ? general : specific;
}

bool bypassed(const UrlTarget& target, std::string_view list) {
    bool loopback = true;
    const std::string host_with_port = host_port(target.host, target.port);
    for (std::string_view entry : entries(list)) {
        const std::string lower = to_lower_ascii(entry);
        if (lower == "<-loopback>") {
            loopback = false;
            continue;
        }
        if (lower == "<local>") {
            if (target.host.find('.') == std::string::npos && target.host.find(':') == std::string::npos) return true;
            continue;
        }
        std::string_view pattern = lower;
        if (const std::size_t sep = pattern.find("://"); sep != std::string_view::npos) {
            if (pattern.substr(0, sep) != target.scheme) continue;
            pattern = pattern.substr(sep + 3);
        }
        // "host:port" and "[v6]:port" name a port; a bare IPv6 address names none.
        const bool with_port = pattern.starts_with('[') ? pattern.find("]:") != std::string_view::npos
                                                        : std::count(pattern.begin(), pattern.end(), ':') == 1;
        if (with_port) {
            if (glob(pattern, host_with_port)) return true;
        } else {
            std::string_view bare = pattern;
            if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
            if (glob(bare, target.host)) return true;
        }
    }
    return loopback && is_loopback(target.host);
}

ProxyRoute fixed_route(const ProxySettings& settings, const UrlTarget& target) {
    ProxyRoute route;
    route.proxies = proxies_for_scheme(settings.servers, target.scheme);
    if (route.proxies.empty() || bypassed(target, settings.bypass)) return ProxyRoute {};
    route.direct = false;
    return route;
}

std::string route_label(const ProxyRoute& route) { return route.proxies.empty() ? "direkt" : route.proxies.front(); }

ProxyResolver::~ProxyResolver() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !working_; });
}

void ProxyResolver::forget() {
    std::lock_guard lock(mutex_);
    ++generation_;
    answers_.clear();
}

ProxyRoute ProxyResolver::route(const std::string& url, bool may_wait) {
    const auto target = url_target(url);
    if (!target) return ProxyRoute {};
    const ProxySettings settings = sources_.settings ? sources_.settings() : ProxySettings {};
    const ProxyRoute fixed = fixed_route(settings, *target);
    if (!settings.auto_detect && settings.script_url.empty()) return fixed;

    const std::string key = answer_key(settings, *target);
    const auto usable = [&](const Answer& a) { return a.route ? *a.route : fixed; };
    std::unique_lock lock(mutex_);
    const auto now = sources_.now();
    auto found = answers_.find(key);
    if (found != answers_.end()) {
        const Answer& a = found->second;
        const auto keep = a.route ? kFoundFor : kNothingFoundFor;
        if (a.generation == generation_ && now - a.at < keep) return usable(a);
    }
    if (pending_.insert(key).second) {
        queue_.push_back({key, {settings, target->scheme + "://" + host_port(target->host, target->port) + "/"}});
        if (!working_) {
            working_ = true;
            std::thread([this] { work(); }).detach();
        }
        changed_.notify_all();
    }
    // An old answer serves until the new one is there; detection alone never holds a request.
    if (found != answers_.end() || settings.script_url.empty() || !may_wait) {
        return found != answers_.end() ? usable(found->second) : fixed;
    }
    const unsigned generation = generation_;
    changed_.wait_for(lock, kScriptWait, [&] { return !pending_.contains(key) || generation_ != generation; });
    found = answers_.find(key);
    return found != answers_.end() ? usable(found->second) : fixed;
}

void ProxyResolver::work() {
    std::unique_lock lock(mutex_);
    while (!queue_.empty() && !stopping_) {
        auto [key, job] = std::move(queue_.front());
        queue_.erase(queue_.begin());
        const unsigned generation = generation_;
        lock.unlock();
        std::optional<ProxyRoute> answer;
        try {
            answer = sources_.evaluate ? sources_.evaluate(job.first, job.second) : std::nullopt;
        } catch (...) {
        }
        const auto now = sources_.now();
        lock.lock();
        pending_.erase(key);
        if (generation == generation_) answers_[key] = Answer {std::move(answer), now, generation};
        changed_.notify_all();
    }
    working_ = false;
    changed_.notify_all();
}

namespace {

Guarded<std::shared_ptr<ProxyResolver>>& resolver_slot() {
    // Never destroyed: a lookup may still run on its thread when the program ends.
    static auto* slot = new Guarded<std::shared_ptr<ProxyResolver>>();
    return *slot;
}

Guarded<std::string>& route_label_slot() {
    static Guarded<std::string> label;
    return label;
}

}  // namespace

std::shared_ptr<ProxyResolver> proxy_resolver() {
    return resolver_slot().with([](std::shared_ptr<ProxyResolver>& r) {
        if (!r) r = std::make_shared<ProxyResolver>(system_proxy_sources());
        return r;
    });
}

void set_proxy_sources(std::optional<ProxyResolver::Sources> sources) {
    resolver_slot().set(std::make_shared<ProxyResolver>(sources ? std::move(*sources) : system_proxy_sources()));
}

std::string last_route_label() { return route_label_slot().get(); }
void remember_route_label(std::string label) { route_label_slot().set(std::move(label)); }

}  // namespace tolvek
