// The update download against the development service, with programs signed at test time by
// two test publishers (tests/wine/make-signed), and the tidy-up of leftover files.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "devservice_client.h"
#include "net/update.h"
#include "net/update_download.h"
#include "unit/test_support.h"

namespace tolvek {
namespace {

std::string program_dir() {
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::string path = narrow(std::wstring_view(buffer, n));
    return path.substr(0, path.find_last_of('\\'));
}
std::string signed_file(const char* name) { return path_join(path_join(program_dir(), "signed"), name); }
std::string update_dir() { return path_join(install_dir(), "update"); }

class UpdateDownload : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        if (!path_exists(signed_file("Tolvek-A.exe"))) GTEST_SKIP() << "needs the signed programs of make-signed";
        service.reset();
    }
    // Offers `file` under /dl/ and runs the download as a program signed like `running` would.
    DownloadOutcome offer(const std::string& file, const std::optional<std::string>& running,
                          const std::string& version = "0.5.25") {
        service.config({{"download_file", test::service_path(file)}});
        return download_update(service.base(), "ST-3PVA-8RKE", version, running);
    }
    std::string write_fixture(const std::string& name, const std::string& bytes) {
        const std::string path = path_join(data.dir(), name);
        create_directories(data.dir());
        EXPECT_TRUE(write_file_flushed(path, bytes));
        return path;
    }
    test::ScopedDataDir data;
    test::DevService service;
};

TEST_F(UpdateDownload, SignersNameAndTheSamePublisherRule) {
    EXPECT_EQ(check_signature(signed_file("Tolvek-A.exe")), "Kestrom Test A");
    EXPECT_EQ(check_signature(signed_file("next-B.exe")), "Kestrom Test B");
    EXPECT_EQ(check_signature(signed_file("next-unsigned.exe")), std::nullopt);

    const std::string signed_a = signed_file("Tolvek-A.exe");
    const std::string stored = path_join(update_dir(), "Tolvek-update-0.5.25.exe");
    // Same publisher: stored under the version's name, byte for byte, held until it is started.
    DownloadOutcome accepted = offer(signed_file("next-A.exe"), signed_a);
    ASSERT_TRUE(accepted.update.has_value()) << accepted.error;
    EXPECT_EQ(accepted.update->path, stored);
    EXPECT_EQ(read_file(stored), read_file(signed_file("next-A.exe")));
    EXPECT_FALSE(DeleteFileW(wide(stored).c_str())) << "nobody may change the checked file";
    accepted.update.reset();
    const Json request = service.requests().back();
    EXPECT_EQ(request["path"], "/dl/ST-3PVA-8RKE");
    EXPECT_FALSE(test::has_header(request, "Authorization"));

    // A renewed certificate (new key, the same subject) still updates.
    DownloadOutcome renewed = offer(signed_file("next-A2.exe"), signed_a);
    EXPECT_TRUE(renewed.update.has_value()) << renewed.error;
    renewed.update.reset();

    const std::string subject_alike = "CN=Kestrom Test A, O=Andere GmbH, L=Kiel, C=DE";
    const struct {
        const char* file;
        const char* running;
        std::string version;
        std::string error;
    } refused[] = {
        {"next-unsigned.exe", "Tolvek-A.exe", "0.5.25", "Update abgelehnt: Datei ist nicht gültig signiert."},
        {"next-B.exe", "Tolvek-A.exe", "0.5.25", "Update abgelehnt: anderer Herausgeber (Kestrom Test B)."},
        {"next-alike.exe", "Tolvek-A.exe", "0.5.25", "Update abgelehnt: anderer Herausgeber (" + subject_alike + ")."},
        // A signature that is there but does not verify never counts as "unsigned".
        {"next-unsigned.exe", "Tolvek-A-broken.exe", "0.5.25", ""},
        {"next-A.exe", "Tolvek-A-broken.exe", "0.5.25", ""},
        // The file's own version must be the announced one, and newer than the running one.
        {"Tolvek-A.exe", "Tolvek-A.exe", "0.5.25",
         "Update abgelehnt: Die Datei trägt Version 0.5.24, angekündigt war 0.5.25."},
        {"prev-A.exe", "Tolvek-A.exe", "0.5.25",
         "Update abgelehnt: Die Datei trägt Version 0.5.23, angekündigt war 0.5.25."},
        {"next-A.exe", "Tolvek-A.exe", "0.5.26",
         "Update abgelehnt: Die Datei trägt Version 0.5.25, angekündigt war 0.5.26."},
        {"prev-A.exe", "Tolvek-A.exe", "0.5.23",
         "Update abgelehnt: Version 0.5.23 ist nicht neuer als die laufende Version 0.5.24."},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(std::string(c.file) + " for " + c.running + " announced as " + c.version);
        const DownloadOutcome outcome = offer(signed_file(c.file), signed_file(c.running), c.version);
        EXPECT_FALSE(outcome.update.has_value());
        if (c.error.empty()) {
            EXPECT_EQ(outcome.error.rfind("Update abgelehnt: Die Signatur des laufenden Programms lässt sich nicht "
                                          "prüfen (WinVerifyTrust 0x", 0),
                      0u)
                << outcome.error;
        } else {
            EXPECT_EQ(outcome.error, c.error);
        }
        EXPECT_FALSE(path_exists(path_join(update_dir(), update_file_name(c.version)))) << "the refused file is deleted";
    }
    EXPECT_EQ(check_signature(signed_file("Tolvek-A-broken.exe")), std::nullopt);
    const DownloadOutcome unknown_program = offer(signed_file("next-A.exe"), std::nullopt);
    EXPECT_EQ(unknown_program.error,
              "Update abgelehnt: Die Signatur des laufenden Programms lässt sich nicht prüfen (Programmdatei nicht "
              "gefunden).");

    // An unsigned running program takes any program file of the announced version.
    const DownloadOutcome unsigned_running = offer(signed_file("next-B.exe"), signed_file("next-unsigned.exe"));
    EXPECT_TRUE(unsigned_running.update.has_value()) << unsigned_running.error;
}

// The stored file is held from its creation until it is started: a tidy-up of the update folder
// at any moment (a second hello outcome while the download runs) never takes it away.
TEST_F(UpdateDownload, TidyUpsMeanwhileTakeNothingAway) {
    std::atomic<bool> stop = false;
    std::atomic<int> tidy_ups = 0;
    std::thread tidying([&] {
        while (!stop) {
            remove_leftover_files();
            ++tidy_ups;
        }
    });
    const auto expected = read_file(signed_file("next-A.exe"));
    for (int round = 0; round < 12; ++round) {
        DownloadOutcome outcome = offer(signed_file("next-A.exe"), signed_file("next-unsigned.exe"));
        ASSERT_TRUE(outcome.update.has_value()) << "round " << round << ": " << outcome.error;
        EXPECT_EQ(read_file(outcome.update->path), expected);
    }
    stop = true;
    tidying.join();
    EXPECT_GT(tidy_ups, 12);
}

TEST_F(UpdateDownload, WhatIsNotAProgramIsNeverWritten) {
    const std::string unsigned_running = signed_file("next-unsigned.exe");
    const std::string refused = "Update abgelehnt: unerwarteter Dateiinhalt.";
    const std::string mz = "MZ" + std::string(99997, 'x');  // 99,999 bytes
    for (const std::string& bytes : {mz, std::string(200000, 'x'), "MZ" + std::string(41943040, 'x')}) {
        const DownloadOutcome outcome = offer(write_fixture("angebot.bin", bytes), unsigned_running);
        EXPECT_EQ(outcome.error, refused) << bytes.size() << " bytes";
        EXPECT_FALSE(path_exists(update_dir())) << "nothing written";
    }
    // Exactly the limit passes the content check; without a version resource it goes no further.
    const DownloadOutcome limit =
        offer(write_fixture("angebot.bin", "MZ" + std::string(41943038, 'x')), unsigned_running);
    EXPECT_EQ(limit.error, "Update abgelehnt: Die Datei nennt keine Version (angekündigt: 0.5.25).");
    EXPECT_FALSE(path_exists(path_join(update_dir(), "Tolvek-update-0.5.25.exe")));
}

TEST_F(UpdateDownload, VersionTextBecomesACleanFileNameAndErrorsAreTheServices) {
    const DownloadOutcome odd = offer(signed_file("next-A.exe"), signed_file("next-unsigned.exe"), "0.5.25 beta/../x");
    ASSERT_TRUE(odd.update.has_value()) << odd.error;
    EXPECT_EQ(odd.update->path, path_join(update_dir(), "Tolvek-update-0.5.25beta..x.exe"));

    service.config({{"download_file", nullptr}});
    EXPECT_EQ(download_update(service.base(), "ST-3PVA-8RKE", "0.5.25", std::nullopt).error,
              "Keine Version verfügbar");
    EXPECT_EQ(download_update("http://127.0.0.1:1", "ST-3PVA-8RKE", "0.5.25", std::nullopt).error,
              "Keine Verbindung zum Server. Bitte die Internetverbindung prüfen.");

    // A download asked for over https and redirected to http is no connection; nothing is kept.
    service.config({{"download_file", test::service_path(signed_file("next-A.exe"))}});
    service.next({{"path", "/dl/ST-3PVA-8RKE"}, {"status", 302},
                  {"headers", {{"Location", service.base() + "/dl/ST-3PVA-8RKE"}}}, {"raw", ""}});
    EXPECT_EQ(download_update(service.tls_base(), "ST-3PVA-8RKE", "0.5.25", signed_file("next-unsigned.exe")).error,
              "Keine Verbindung zum Server. Bitte die Internetverbindung prüfen.");
    EXPECT_FALSE(path_exists(path_join(update_dir(), "Tolvek-update-0.5.25.exe")));
}

TEST(Leftovers, OnlyTheNamedProgramFilesGo) {
    test::ScopedDataDir data;
    create_directories(path_join(install_dir(), "update"));
    write_file_flushed(path_join(path_join(install_dir(), "update"), "Tolvek-update-0.5.25.exe"), "MZ");
    const std::string temp = temp_dir();
    struct File {
        const char* name;
        bool removed;
    };
    // Two rounds: the file system does not tell names apart that differ only in case.
    const std::vector<std::vector<File>> rounds = {
        {{"Tolvek-update-0.5.25.exe", true}, {"Orvane-update-2.1.exe", true}, {"Tolvek-entfernt-4711.exe", true},
         {"Tolvek-update-0.5.25.txt", false}, {"Tolvek-neu.exe", false}},
        {{"tolvek-update-0.5.25.exe", false}},
    };
    for (const auto& files : rounds) {
        for (const File& f : files) write_file_flushed(path_join(temp, f.name), "MZ");
        remove_leftover_files();
        for (const File& f : files) {
            EXPECT_EQ(path_exists(path_join(temp, f.name)), !f.removed) << f.name;
            remove_file(path_join(temp, f.name));
        }
    }
    EXPECT_FALSE(path_exists(path_join(install_dir(), "update")));
}

}  // namespace
}  // namespace tolvek
#endif
