// The company word list at the development service, and the spellings file around a sharing.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devservice_client.h"
#include "net/dictionary.h"
#include "net/hello.h"
#include "unit/test_support.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

class CompanyWords : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        service.reset();
        service.config({{"terms", {"Kestrom", "ST-Nord"}}});
        token = std::get<Enrollment>(enroll(service.base(), "ST-3PVA-8RKE")).token;
    }
    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }
    // Waits until the log holds the text (the change runs on a worker).
    bool logged(const std::string& text) {
        for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(50ms)) {
            if (log().find(text) != std::string::npos) return true;
        }
        return false;
    }
    test::ScopedDataDir data;
    test::DevService service;
    std::string token;
};

TEST_F(CompanyWords, FetchAndChangeRequests) {
    auto fetched = fetch_company_words(service.base(), token);
    ASSERT_EQ(fetched.wait_for(4s), std::future_status::ready);
    EXPECT_EQ(fetched.get(), (std::vector<std::string> {"Kestrom", "ST-Nord"}));
    const Json get = service.requests().back();
    EXPECT_EQ(get["method"], "GET");
    EXPECT_EQ(get["path"], "/v1/app/dictionary");
    EXPECT_EQ(test::logged_headers(get).back(), (std::pair<std::string, std::string> {"Content-Type", "application/json"}));
    EXPECT_TRUE(test::has_header(get, "Authorization"));

    update_company_words(service.base(), token, {"Huber"}, {});
    ASSERT_TRUE(logged("Firmen-Wörterbuch: 1 freigegeben, 0 entfernt\n")) << log();
    EXPECT_EQ(service.requests().back()["body"], R"({"add":["Huber"],"remove":[]})");
    update_company_words(service.base(), token, {}, {"ST-Nord"});
    ASSERT_TRUE(logged("Firmen-Wörterbuch: 0 freigegeben, 1 entfernt\n"));
    EXPECT_EQ(service.requests().back()["body"], R"({"add":[],"remove":["ST-Nord"]})");
    auto again = fetch_company_words(service.base(), token);
    EXPECT_EQ(again.get(), (std::vector<std::string> {"Kestrom", "Huber"}));

    // Any failure gives an empty list.
    EXPECT_TRUE(fetch_company_words("http://127.0.0.1:1", token).get().empty());
    EXPECT_TRUE(fetch_company_words(service.base(), "falsch").get().empty());
}

TEST_F(CompanyWords, NotEnrolledSendsAndLogsNothing) {
    const std::size_t before = service.requests().size();
    update_company_words(service.base(), "", {"Huber"}, {});
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(service.requests().size(), before);
    EXPECT_EQ(log(), "");
}

// A word being shared leaves schreibweisen.txt only when the service has it. Both ways of the
// window to share (the box and "↑") go through share_and_save.
TEST_F(CompanyWords, SharingNeverLosesTheWord) {
    save_own_words({{"Müller", false}, {"Huber", false}});
    const std::vector<WordEntry> window {{"Müller", false}, {"Huber", true}};
    service.next({{"path", "/v1/app/dictionary"}, {"delay", 1}, {"status", 503},
                  {"body", {{"error", {{"message", "Wartung"}}}}}});
    EXPECT_TRUE(share_and_save(service.base(), token, window, "Huber"));
    EXPECT_EQ(read_file(dictionary_path()), "Müller\r\nHuber") << "saved before the service had it";
    EXPECT_FALSE(sharing_refused("Huber"));
    ASSERT_TRUE(logged("Firmen-Wörterbuch: Wartung\n")) << log();
    EXPECT_EQ(read_file(dictionary_path()), "Müller\r\nHuber") << "refused: the word stays an own word";
    save_own_words(window);  // and the window's closing save keeps it
    EXPECT_EQ(read_file(dictionary_path()), "Müller\r\nHuber");

    EXPECT_TRUE(sharing_refused("Huber"));
    forget_refused_sharings();  // a new window
    EXPECT_TRUE(share_and_save(service.base(), token, window, "Huber"));
    ASSERT_TRUE(logged("Firmen-Wörterbuch: 1 freigegeben, 0 entfernt\n"));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(read_file(dictionary_path()), "Müller") << "confirmed: it is the company's now";
}

TEST_F(CompanyWords, FailedSaveKeepsTheOldListAndSaysSo) {
    EXPECT_TRUE(save_own_words({{"Müller", false}}));
    // A folder where the temporary file would go makes every write fail.
    ASSERT_TRUE(create_directories(dictionary_path() + ".tmp"));
    EXPECT_FALSE(save_own_words({{"Huber", false}}));
    EXPECT_EQ(read_file(dictionary_path()), "Müller");
}

// A word the user removed after its sharing was refused is not kept in the file any more.
TEST_F(CompanyWords, RemovedRefusedWordLeavesTheFile) {
    service.next({{"path", "/v1/app/dictionary"}, {"status", 503}, {"body", {{"error", {{"message", "Wartung"}}}}}});
    EXPECT_TRUE(share_and_save(service.base(), token, {{"Huber", true}}, "Huber"));
    ASSERT_TRUE(logged("Firmen-Wörterbuch: Wartung\n")) << log();
    EXPECT_TRUE(save_own_words({}));
    EXPECT_EQ(read_file(dictionary_path()), "Huber") << "refused: kept";
    forget_word("Huber");
    EXPECT_TRUE(save_own_words({}));
    EXPECT_EQ(read_file(dictionary_path()), "");
    forget_refused_sharings();
}

}  // namespace
}  // namespace tolvek
