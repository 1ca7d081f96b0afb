#include "windows/info_text.h"

namespace tolvek {

std::string region_label(const std::string& region) {
    if (region.empty()) return "–";
    if (region == "EU2") return "EU2 (OpenRouter EU-Endpunkt)";
    if (region == "EU") return "EU (Mistral)";
    if (region == "DE") return "DE (Kestrom On-Premise, Deutschland)";
    return region;
}

std::string tech_info_text(const TechInfo& info) {
    std::string text = "Tolvek " + info.version + " · " + info.edition + "\r\n";
    text += "Firma: " + (info.firm.empty() ? std::string("–") : info.firm) + "\r\n";
    text += "Server: " + info.endpoint + "\r\n";
    text += "Proxy: " + info.proxy + "\r\n";
    text += "Verarbeitung zuletzt: " + region_label(info.region) + "\r\n";
    text += "\r\n";
    if (info.history.empty()) return text + "Noch kein Diktat in dieser Sitzung.";
    for (std::size_t i = 0; i < info.history.size(); ++i) {
        if (i > 0) text += "\r\n\r\n";
        text += info.history[i];
    }
    return text;
}

}  // namespace tolvek
