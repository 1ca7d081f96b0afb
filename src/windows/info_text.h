// What the "Technik-Info" window says: version, edition, company, endpoint, proxy, the region of the
// last processing and the history of this session (never a dictated text).
#pragma once

#include <string>
#include <vector>

namespace tolvek {

// "EU" → "EU (Mistral)" and so on; "–" when no region is known yet.
std::string region_label(const std::string& region);

struct TechInfo {
    std::string version;
    std::string edition;
    std::string firm;
    std::string endpoint;
    std::string proxy;  // "direkt" or the proxy's "host:port"
    std::string region;
    std::vector<std::string> history;  // newest first
};

// Lines end with CR LF; history entries are separated by an empty line.
std::string tech_info_text(const TechInfo& info);

}  // namespace tolvek
