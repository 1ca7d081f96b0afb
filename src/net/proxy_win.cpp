// The user's proxy settings and the automatic configuration, through WinHTTP (delay-loaded, so
// from System32 only).
#include <windows.h>
#include <iphlpapi.h>
#include <winhttp.h>

#include <mutex>
#include <thread>

#include "net/proxy.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

std::string take(LPWSTR text) {
    if (!text) return {};
    std::string out = narrow(text);
    GlobalFree(text);
    return out;
}

ProxySettings read_settings() {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
    ProxySettings settings;
    settings.auto_detect = config.fAutoDetect != FALSE;
    settings.script_url = take(config.lpszAutoConfigUrl);
    settings.servers = take(config.lpszProxy);
    settings.bypass = take(config.lpszProxyBypass);
    return settings;
}

// A change of the machine's addresses (another network, a VPN) makes every answer old. Where
// Windows cannot tell (Wine), answers simply age.
void watch_network() {
    std::thread([] {
        while (NotifyAddrChange(nullptr, nullptr) == NO_ERROR) proxy_resolver()->forget();
    }).detach();
}

// Runs on the resolver's thread only.
std::optional<ProxyRoute> evaluate(const ProxySettings& settings, const std::string& url) {
    static std::once_flag watching;
    std::call_once(watching, watch_network);
    static const HINTERNET session = WinHttpOpen(L"Tolvek", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                                 WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return std::nullopt;
    // A script the settings name wins; detection only where there is none.
    const std::wstring script = wide(settings.script_url);
    WINHTTP_AUTOPROXY_OPTIONS options {};
    if (!script.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = script.c_str();
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info {};
    if (!WinHttpGetProxyForUrl(session, wide(url).c_str(), &options, &info)) return std::nullopt;
    const std::string servers = take(info.lpszProxy);
    take(info.lpszProxyBypass);
    ProxyRoute route;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
        // WinHTTP ends the list at a DIRECT: what it gives are proxies only.
        const auto target = url_target(url);
        route.proxies = proxies_for_scheme(servers, target ? target->scheme : "https");
        route.direct = route.proxies.empty();
    }
    return route;
}

}  // namespace

ProxyResolver::Sources system_proxy_sources() { return {read_settings, evaluate}; }

}  // namespace tolvek
