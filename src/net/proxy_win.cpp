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

// The automatic configuration's answer through WinHttpGetProxyForUrlEx, which keeps a DIRECT of
// the answer ("PROXY p:8080; DIRECT"); nothing where that call cannot be made (Wine has none),
// so that the older call decides.
struct ExCall {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD error = ERROR_SUCCESS;
};

void CALLBACK ex_callback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    auto* call = reinterpret_cast<ExCall*>(context);
    if (!call) return;
    if (status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) {
        call->error = info ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR;
    }
    if (status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR || status == WINHTTP_CALLBACK_STATUS_GETPROXYFORURL_COMPLETE) {
        SetEvent(call->done);
    }
}

std::optional<std::optional<ProxyRoute>> evaluate_ex(const std::wstring& url, const std::string& scheme,
                                                     WINHTTP_AUTOPROXY_OPTIONS& options) {
    static const HINTERNET session = WinHttpOpen(L"Tolvek", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                                 WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    HINTERNET resolver = nullptr;
    if (!session || WinHttpCreateProxyResolver(session, &resolver) != ERROR_SUCCESS) return std::nullopt;
    // Left behind if the answer never comes: the callback may still write to it afterwards.
    auto* call = new ExCall;
    WinHttpSetStatusCallback(resolver, ex_callback,
                             WINHTTP_CALLBACK_FLAG_REQUEST_ERROR | WINHTTP_CALLBACK_FLAG_GETPROXYFORURL_COMPLETE, 0);
    const DWORD started = WinHttpGetProxyForUrlEx(resolver, url.c_str(), &options, reinterpret_cast<DWORD_PTR>(call));
    if (started != ERROR_IO_PENDING || !call->done) {
        WinHttpCloseHandle(resolver);
        if (call->done) CloseHandle(call->done);
        delete call;
        return std::nullopt;  // the older call decides
    }
    if (WaitForSingleObject(call->done, 60000) != WAIT_OBJECT_0) {
        WinHttpCloseHandle(resolver);
        return std::optional<ProxyRoute>();  // nothing found
    }
    std::optional<ProxyRoute> answer;
    WINHTTP_PROXY_RESULT result {};
    if (call->error == ERROR_SUCCESS && WinHttpGetProxyResult(resolver, &result) == ERROR_SUCCESS) {
        ProxyRoute route;
        route.direct = false;
        for (DWORD i = 0; i < result.cEntries; ++i) {
            const WINHTTP_PROXY_RESULT_ENTRY& entry = result.pEntries[i];
            if (!entry.fProxy) {  // DIRECT: after the proxies before it, and nothing after it
                route.direct = true;
                break;
            }
            if (entry.ProxyScheme != INTERNET_SCHEME_HTTP || !entry.pwszProxy) continue;
            const std::string named = narrow(entry.pwszProxy) + ":" + std::to_string(entry.ProxyPort);
            for (auto& proxy : proxies_for_scheme(named, scheme)) route.proxies.push_back(std::move(proxy));
        }
        if (route.proxies.empty()) route.direct = true;
        WinHttpFreeProxyResult(&result);
        answer = std::move(route);
    }
    WinHttpCloseHandle(resolver);
    CloseHandle(call->done);
    delete call;
    return answer;
}

// Runs on the resolver's thread only.
std::optional<ProxyRoute> evaluate(const ProxySettings& settings, const std::string& url) {
    static std::once_flag watching;
    std::call_once(watching, watch_network);
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
    const auto target = url_target(url);
    const std::string scheme = target ? target->scheme : "https";
    if (auto answer = evaluate_ex(wide(url), scheme, options)) return *answer;

    static const HINTERNET session = WinHttpOpen(L"Tolvek", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                                 WINHTTP_NO_PROXY_BYPASS, 0);
    WINHTTP_PROXY_INFO info {};
    if (!session || !WinHttpGetProxyForUrl(session, wide(url).c_str(), &options, &info)) return std::nullopt;
    const std::string servers = take(info.lpszProxy);
    take(info.lpszProxyBypass);
    ProxyRoute route;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
        // This older call ends its list at a DIRECT: what it gives are proxies only.
        route.proxies = proxies_for_scheme(servers, scheme);
        route.direct = route.proxies.empty();
    }
    return route;
}

}  // namespace

ProxyResolver::Sources system_proxy_sources() { return {read_settings, evaluate}; }

}  // namespace tolvek
