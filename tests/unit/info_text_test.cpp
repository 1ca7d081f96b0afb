#include <gtest/gtest.h>

#include "windows/info_text.h"

namespace tolvek {
namespace {

TEST(TechInfo, RegionLabels) {
    EXPECT_EQ(region_label(""), "–");
    EXPECT_EQ(region_label("EU2"), "EU2 (OpenRouter EU-Endpunkt)");
    EXPECT_EQ(region_label("EU"), "EU (Mistral)");
    EXPECT_EQ(region_label("DE"), "DE (Kestrom On-Premise, Deutschland)");
    EXPECT_EQ(region_label("US"), "US");
    EXPECT_EQ(region_label("eu"), "eu") << "codes are compared exactly";
}

TEST(TechInfo, TextRightAfterStartAndWithHistory) {
    TechInfo info {"0.5.24", "Windows 11 Pro (22631)", "", "https://sprache.tolvek.example", "direkt", "", {}};
    EXPECT_EQ(tech_info_text(info),
              "Tolvek 0.5.24 · Windows 11 Pro (22631)\r\nFirma: –\r\nServer: https://sprache.tolvek.example\r\n"
              "Proxy: direkt\r\nVerarbeitung zuletzt: –\r\n\r\nNoch kein Diktat in dieser Sitzung.");
    info.firm = "Muster GmbH";
    info.region = "DE";
    info.proxy = "proxy.muster.example:8080";
    info.history = {"10:02:03   Aufnahme 2.5 s · Pegel 9000 · Wartezeit 0.4 s · Text eingefügt",
                    "10:01:00   Aufnahme 1.0 s · Pegel 800 · Wartezeit 0.2 s · nichts erkannt"};
    EXPECT_EQ(tech_info_text(info),
              "Tolvek 0.5.24 · Windows 11 Pro (22631)\r\nFirma: Muster GmbH\r\n"
              "Server: https://sprache.tolvek.example\r\nProxy: proxy.muster.example:8080\r\n"
              "Verarbeitung zuletzt: DE (Kestrom On-Premise, Deutschland)\r\n\r\n"
              "10:02:03   Aufnahme 2.5 s · Pegel 9000 · Wartezeit 0.4 s · Text eingefügt\r\n\r\n"
              "10:01:00   Aufnahme 1.0 s · Pegel 800 · Wartezeit 0.2 s · nichts erkannt");
}

}  // namespace
}  // namespace tolvek
