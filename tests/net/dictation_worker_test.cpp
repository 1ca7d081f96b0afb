// The dictation worker against the development service: token renewal, Opus and its refusal.
#include <gtest/gtest.h>

#include "devservice_client.h"
#include "dictation/dictation.h"
#include "base/dictation_values.h"
#include "dictation/wav.h"
#include "net/hello.h"
#include "opus/ogg_opus.h"
#include "net/system_facts.h"
#include "unit/test_support.h"

namespace tolvek {
namespace {

Bytes speech() {
    const auto fixture = read_file(TOLVEK_SPEECH_FIXTURE);
    EXPECT_TRUE(fixture.has_value());
    const std::string pcm = fixture->substr(0, 32000 * 2);  // 2 s
    return wav_bytes(Bytes(pcm.begin(), pcm.end()), 16000);
}

class Worker : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        service.reset();
        fallback_memory().set(std::nullopt);
        skipped = service.requests().size();
    }
    WorkerInput input(std::string token, std::string code = "ST-3PVA-8RKE") {
        WorkerInput in;
        in.server = service.base();
        in.token = std::move(token);
        in.code = std::move(code);
        in.payload = speech();
        in.seconds = 2.0f;
        return in;
    }
    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        const Json all = service.requests();
        for (std::size_t i = skipped; i < all.size(); ++i) out.push_back(all[i]["path"].get<std::string>());
        return out;
    }
    Json uploads() const {
        Json out = Json::array();
        for (const auto& r : service.requests()) {
            if (r["path"] == "/v1/audio/transcriptions") out.push_back(r);
        }
        return out;
    }
    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }

    test::ScopedDataDir data;
    test::DevService service;
    std::size_t skipped = 0;
};

TEST_F(Worker, EmptyTokenIsRenewedFirst) {
    const DictationResult r = run_dictation(input(""));
    EXPECT_FALSE(r.is_error) << r.text;
    EXPECT_EQ(r.text, "Hallo Welt");
    ASSERT_TRUE(r.renewed.has_value());
    EXPECT_EQ(r.renewed->firm, "Muster GmbH");
    EXPECT_EQ(r.length_seconds, 2.0f);
    EXPECT_EQ(paths(), (std::vector<std::string> {"/v1/app/enroll", "/v1/audio/transcriptions"}));
}

TEST_F(Worker, RejectedTokenIsRenewedOnce) {
    const DictationResult r = run_dictation(input("abgelaufen"));
    EXPECT_FALSE(r.is_error) << r.text;
    EXPECT_TRUE(r.renewed.has_value());
    EXPECT_FALSE(r.auth_invalid);
    EXPECT_EQ(paths(), (std::vector<std::string> {"/v1/audio/transcriptions", "/v1/app/enroll",
                                                  "/v1/audio/transcriptions"}));
}

TEST_F(Worker, RejectedTwiceIsAnOrdinaryError) {
    for (int i = 0; i < 2; ++i) {
        service.next({{"path", "/v1/audio/transcriptions"}, {"status", 401},
                      {"body", {{"error", {{"message", "Token ungültig"}}}}}});
    }
    const DictationResult r = run_dictation(input("abgelaufen"));
    EXPECT_TRUE(r.is_error);
    EXPECT_EQ(r.text, "Token ungültig");
    EXPECT_FALSE(r.auth_invalid);
}

TEST_F(Worker, FreshTokenRefusedAtOnceKeepsTheNewCredentials) {
    service.config({{"firm", "Beispiel AG"}});
    service.next({{"path", "/v1/audio/transcriptions"}, {"status", 403},
                  {"body", {{"error", {{"message", "Zugang gesperrt"}}}}}});
    const DictationResult r = run_dictation(input(""));
    EXPECT_TRUE(r.is_error);
    EXPECT_TRUE(r.auth_invalid);
    EXPECT_EQ(r.text, "Zugang gesperrt");
    ASSERT_TRUE(r.renewed.has_value()) << "the enrollment's company name is stored";
    EXPECT_EQ(r.renewed->firm, "Beispiel AG");
    EXPECT_FALSE(r.renewed->token.empty());
    EXPECT_EQ(paths(), (std::vector<std::string> {"/v1/app/enroll", "/v1/audio/transcriptions"}));
}

// A failed sending keeps the recording as it went out, with the company code it was made for, a
// refused login too; a success keeps none.
TEST_F(Worker, FailedSendingKeepsTheRecording) {
    WorkerInput wav = input("tok");
    service.next({{"path", "/v1/audio/transcriptions"}, {"fault", "close_before"}});
    DictationResult r = run_dictation(wav);
    EXPECT_TRUE(r.is_error);
    ASSERT_TRUE(r.kept.has_value());
    EXPECT_EQ(r.kept->wav, wav.payload);
    EXPECT_FALSE(r.kept->ogg.has_value());
    EXPECT_EQ(r.kept->seconds, wav.seconds);
    EXPECT_EQ(r.kept->code, "ST-3PVA-8RKE");

    WorkerInput opus = input("tok");
    opus.opus = true;
    service.next({{"path", "/v1/audio/transcriptions"}, {"status", 503}, {"body", {{"error", {{"message", "Wartung"}}}}}});
    r = run_dictation(opus);
    EXPECT_EQ(r.text, "Wartung");
    ASSERT_TRUE(r.kept.has_value() && r.kept->ogg.has_value());
    EXPECT_EQ(r.kept->ogg->bytes, encode_ogg_opus(opus.payload)->bytes);

    // Sent again with the kept stream: the same bytes go out, and success keeps nothing.
    opus.ogg = r.kept->ogg;
    opus.resend = true;
    r = run_dictation(opus);
    EXPECT_FALSE(r.is_error) << r.text;
    EXPECT_TRUE(r.resend);
    EXPECT_FALSE(r.kept.has_value());


    service.next({{"path", "/v1/audio/transcriptions"}, {"status", 401}, {"body", {{"error", {{"message", "weg"}}}}}});
    r = run_dictation(input("tok", ""));
    EXPECT_TRUE(r.auth_invalid);
    ASSERT_TRUE(r.kept.has_value()) << "a refused login keeps the recording for after the new login";
    EXPECT_EQ(r.kept->wav, wav.payload);
}

TEST_F(Worker, RejectedWithoutCodeOrWithRefusedCode) {
    DictationResult r = run_dictation(input("abgelaufen", ""));
    EXPECT_TRUE(r.is_error);
    EXPECT_TRUE(r.auth_invalid);
    EXPECT_EQ(paths().size(), 1u) << "no enrollment without a code";

    service.config({{"reject_codes", {"ST-3PVA-8RKE"}}});
    r = run_dictation(input(""));
    EXPECT_TRUE(r.is_error);
    EXPECT_TRUE(r.auth_invalid) << "the code is not accepted";
    EXPECT_EQ(r.text, "Firmen-Code nicht bekannt");
}

TEST_F(Worker, OpusIsDecodedByTheService) {
    const std::string token = std::get<Enrollment>(enroll(service.base(), "ST-3PVA-8RKE")).token;
    WorkerInput in = input(token);
    in.opus = true;
    const DictationResult r = run_dictation(in);
    EXPECT_FALSE(r.is_error) << r.text;
    const Json up = uploads();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0]["upload"]["kind"], "opus");
    EXPECT_EQ(up[0]["upload"]["valid"], true) << up[0]["upload"].dump();
    EXPECT_EQ(up[0]["upload"]["samples"], 32000) << "opusdec returns exactly the recorded samples";
    EXPECT_TRUE(test::has_header(up[0], "X-Tolvek-Dauer"));
}

TEST_F(Worker, RefusedOpusFallsBackToWav) {
    service.config({{"reject_opus", true}});
    const std::string token = std::get<Enrollment>(enroll(service.base(), "ST-3PVA-8RKE")).token;
    WorkerInput in = input(token);
    in.opus = true;
    const DictationResult r = run_dictation(in);
    EXPECT_FALSE(r.is_error) << r.text;
    EXPECT_EQ(r.text, "Hallo Welt");
    const Json up = uploads();
    ASSERT_EQ(up.size(), 2u);
    EXPECT_EQ(up[1]["upload"]["kind"], "wav");
    EXPECT_NE(log().find(" Opus abgelehnt (Opus wird nicht unterstützt), sende WAV\n"), std::string::npos);
}

TEST_F(Worker, HalvedOpusIsRefusedByTheStrictService) {
    const std::string token = std::get<Enrollment>(enroll(service.base(), "ST-3PVA-8RKE")).token;
    WorkerInput in = input(token);
    in.opus = true;
    test::set_env("TOLVEK_TEST_OPUS_HALB", "1");
    const DictationResult r = run_dictation(in);
    test::set_env("TOLVEK_TEST_OPUS_HALB", std::nullopt);
    EXPECT_TRUE(r.is_error);
    EXPECT_EQ(r.text.rfind("Ungültige Aufnahme", 0), 0u) << r.text;
}

TEST(Enrollment, AnswerDefaultsAndHello) {
    test::DevService service;
    if (!service.available()) GTEST_SKIP() << "needs the development service";
    test::ScopedDataDir data;
#ifdef _WIN32
    // The facts the service hears are what this test wrote into the registry.
    for (const auto& [name, value] : {std::pair {L"CurrentBuildNumber", L"22631"},
                                      std::pair {L"EditionID", L"Professional"}, std::pair {L"DisplayVersion", L"23H2"}}) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name, REG_SZ,
                                  value, static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    const std::string os = "Windows 11 Pro 23H2 (22631)";
#else
    const std::string os = "Windows 10";  // the native build has no registry
#endif
    const std::string mic = "anderes";  // no wave-input device in this test program
    service.reset();
    service.next({{"path", "/v1/app/enroll"}, {"status", 200}, {"body", {{"token", "t"}, {"firm", 5}}}});
    const Enrollment e = std::get<Enrollment>(enroll(service.base(), "ST-AAAA-BBBB"));
    EXPECT_EQ(e.token, "t");
    EXPECT_EQ(e.firm, "") << "a mistyped member takes its default";
    EXPECT_EQ(e.audio, "wav");
    EXPECT_EQ(e.latest, std::nullopt);
    EXPECT_EQ(service.requests().back()["body"],
              "{\"code\":\"ST-AAAA-BBBB\",\"os\":\"" + os + "\",\"version\":\"0.5.24\"}");

    // A 200 without a usable token enrols nothing: it is an unexpected answer.
    for (const Json& body : {Json {{"firm", "Acme"}}, Json {{"token", ""}}, Json {{"token", 7}},
                             Json {{"token", "t\r\nX-Evil: 1"}}, Json {{"token", "t\n"}}}) {
        service.next({{"path", "/v1/app/enroll"}, {"status", 200}, {"body", body}});
        EXPECT_EQ(std::get<ServiceError>(enroll(service.base(), "ST-AAAA-BBBB")),
                  (ServiceError {ServiceError::Failed, "Der Server hat unerwartet geantwortet."}))
            << body.dump();
    }

    const std::string token = std::get<Enrollment>(enroll(service.base(), "ST-AAAA-BBBB")).token;
    service.config({{"latest", "0.6.0"}, {"audio", "opus"}});
    const auto outcome = hello(service.base(), token, false);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->offered_version, "0.6.0");
    EXPECT_EQ(outcome->audio, "opus");
    EXPECT_EQ(outcome->region, "eu");
    EXPECT_FALSE(outcome->logged_out);

    // Two silent recordings since the last hello are reported once.
    dictation_values().silent_recordings = 2;
    hello(service.base(), token, false);
    EXPECT_EQ(service.requests().back()["body"],
              "{\"empty\":2,\"mic\":\"" + mic + "\",\"os\":\"" + os +
                  "\",\"version\":\"0.5.24\"}");
    hello(service.base(), token, false);
    EXPECT_EQ(Json::parse(service.requests().back()["body"].get<std::string>())["empty"], 0);

    // A token that could not stand in a header is no new token, nor an empty one (applied, it
    // would log the user out).
    for (const char* renewed : {"neu\r\nX-Evil: 1", ""}) {
        service.next({{"path", "/v1/app/hello"}, {"status", 200}, {"body", {{"token", renewed}}}});
        EXPECT_EQ(hello(service.base(), token, false)->token, std::nullopt) << renewed;
    }
    // One that comes from elsewhere (a changed settings file) is never written into a request:
    // the request ends as a revoked token does, without a connection.
    const std::size_t sent = service.requests().size();
    const auto refused = hello(service.base(), "alt\r\nX-Evil: 1", false);
    EXPECT_TRUE(refused->logged_out);
    EXPECT_EQ(service.requests().size(), sent);

    service.next({{"path", "/v1/app/hello"}, {"status", 403}, {"raw", ""}});
    EXPECT_TRUE(hello(service.base(), token, false)->logged_out);
    EXPECT_EQ(hello("http://127.0.0.1:1", token, false), std::nullopt) << "automatic: silent";
    const auto manual = hello("http://127.0.0.1:1", token, true);
    ASSERT_TRUE(manual.has_value());
    EXPECT_TRUE(manual->unreachable);
}

}  // namespace
}  // namespace tolvek
