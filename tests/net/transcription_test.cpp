// The transcription request: multipart body, progress, Opus-then-WAV, facts and fall-back.
#include <gtest/gtest.h>

#include "devservice_client.h"
#include "base/dictation_values.h"
#include "dictation/wav.h"
#include "net/transcription.h"
#include "unit/test_support.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

Bytes tone_wav(std::size_t samples) {
    std::vector<std::int16_t> s(samples);
    for (std::size_t i = 0; i < samples; ++i) s[i] = static_cast<std::int16_t>((i % 40) * 500 - 10000);
    return wav_bytes(sample_bytes(s), 16000);
}

// The whole body as it goes over the wire.
std::string build_multipart(std::span<const std::uint8_t> audio, bool is_opus, const std::string& language,
                            const std::string& prompt) {
    const MultipartFrame frame = multipart_frame(is_opus, language, prompt);
    return frame.head + std::string(audio.begin(), audio.end()) + frame.tail;
}

TEST(Multipart, ByteForByte) {
    const Bytes audio = {'A', 'B', 0, 'C'};
    const std::string expected =
        "------TolvekBoundary7f3a9c2e\r\n"
        "Content-Disposition: form-data; name=\"model\"\r\n\r\nwhisper-1\r\n"
        "------TolvekBoundary7f3a9c2e\r\n"
        "Content-Disposition: form-data; name=\"response_format\"\r\n\r\njson\r\n"
        "------TolvekBoundary7f3a9c2e\r\n"
        "Content-Disposition: form-data; name=\"language\"\r\n\r\nde\r\n"
        "------TolvekBoundary7f3a9c2e\r\n"
        "Content-Disposition: form-data; name=\"prompt\"\r\n\r\nKestrom, ST-Nord\r\n"
        "------TolvekBoundary7f3a9c2e\r\n"
        "Content-Disposition: form-data; name=\"file\"; filename=\"diktat.opus\"\r\n"
        "Content-Type: audio/ogg\r\n\r\n" +
        std::string("AB\0C", 4) +
        "\r\n------TolvekBoundary7f3a9c2e--\r\n";
    EXPECT_EQ(build_multipart(audio, true, "de", "Kestrom, ST-Nord"), expected);

    const std::string plain = build_multipart(audio, false, "auto", "");
    EXPECT_EQ(plain.find("name=\"language\""), std::string::npos);
    EXPECT_EQ(plain.find("name=\"prompt\""), std::string::npos);
    EXPECT_NE(plain.find("filename=\"audio.wav\"\r\nContent-Type: audio/wav\r\n"), std::string::npos);
    std::size_t parts = 0;
    for (std::size_t at = 0; (at = plain.find("Content-Disposition", at)) != std::string::npos; ++at) ++parts;
    EXPECT_EQ(parts, 3u);
    EXPECT_NE(build_multipart(audio, false, "en", "").find("\r\n\r\nen\r\n"), std::string::npos);
    EXPECT_EQ(build_multipart(audio, false, "DE", "").find("name=\"language\""), std::string::npos);
}

TEST(Multipart, PromptCutAtFifteenHundredCharacters) {
    std::string prompt;
    for (int i = 0; i < 2000; ++i) prompt += i % 2 ? "ä" : "b";
    const std::string body = build_multipart({}, false, "auto", prompt);
    std::string expected;
    for (int i = 0; i < 1500; ++i) expected += i % 2 ? "ä" : "b";
    EXPECT_NE(body.find("\r\n\r\n" + expected + "\r\n"), std::string::npos);
    EXPECT_EQ(body.find(expected + "b"), std::string::npos);
}

TEST(ProcessingFacts, SummaryAndRate) {
    const Json t = {{"model", "m"}, {"ms", 1340}, {"uploadMs", 400}, {"fallback", true}};
    const ProcessingFacts f = read_processing_facts(t, true, 10241);
    EXPECT_EQ(f.transfer_summary, "m · Opus 11 KB · Server 1.3 s · Upload 0.4 s, Rückfall");
    EXPECT_EQ(f.format_label, "Opus");
    EXPECT_EQ(f.upload_rate, std::nullopt);
    EXPECT_EQ(f.engine_name, "");
    EXPECT_EQ(f.region, std::nullopt);

    EXPECT_EQ(read_processing_facts({{"bytes", 2000000}, {"uploadMs", 500}}, false, 1).upload_rate, 4000000u);
    EXPECT_EQ(read_processing_facts({{"bytes", 2000000}, {"uploadMs", 300}}, false, 1).upload_rate, std::nullopt);
    EXPECT_EQ(read_processing_facts({{"bytes", 1000000}, {"uploadMs", 500}}, false, 1).upload_rate, std::nullopt);
    // A huge figure gives a huge rate (capped), never a wrapped-around small one.
    EXPECT_EQ(read_processing_facts({{"bytes", UINT64_MAX}, {"uploadMs", 400}}, false, 1).upload_rate, UINT64_MAX);
    EXPECT_EQ(read_processing_facts({{"bytes", 1ull << 60}, {"uploadMs", 1024}}, false, 1).upload_rate,
              (1ull << 50) * 1000);

    const ProcessingFacts wrong = read_processing_facts(
        {{"model", 5}, {"ms", -3}, {"uploadMs", 1.5}, {"fallback", "ja"}, {"audio", "opus"},
         {"engine", "E-1"}, {"region", ""}},
        false, 0);
    EXPECT_EQ(wrong.transfer_summary, "? · Opus 0 KB · Server 0.0 s · Upload 0.0 s");
    EXPECT_EQ(wrong.engine_name, "E-1");
    EXPECT_EQ(wrong.region, "");
    EXPECT_EQ(read_processing_facts("kein Objekt", false, 1024).transfer_summary,
              "? · WAV 1 KB · Server 0.0 s · Upload 0.0 s");
}

class Transcription : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        service.reset();
        saved_hosts = service_hosts();
        fallback_memory().set(std::nullopt);
        dictation_values().latest.set({});
        token = std::get<Json>(interpret_json_response(post_enroll(
            service.base(), Json {{"code", "ST-TEST-0001"}, {"os", "W"}, {"version", "0.5.24"}})))["token"]
                    .get<std::string>();
        // Only the uploads of the test itself are looked at.
        forget_requests();
    }
    void forget_requests() { skipped = service.requests().size(); }
    void TearDown() override {
        service_hosts() = saved_hosts;
        fallback_memory().set(std::nullopt);
    }

    TranscriptionInput input(const Bytes& wav, const std::string& server) const {
        TranscriptionInput in;
        in.server = server;
        in.token = token;
        in.wav = wav;
        return in;
    }
    std::string log() const { return read_file(data.file("tolvek.log")).value_or(""); }
    Json uploads() const {
        Json out = Json::array();
        const Json all = service.requests();
        for (std::size_t i = skipped; i < all.size(); ++i) {
            if (all[i]["path"] == "/v1/audio/transcriptions") out.push_back(all[i]);
        }
        return out;
    }

    test::ScopedDataDir data;
    test::DevService service;
    ServiceHosts saved_hosts;
    std::string token;
    std::size_t skipped = 0;
};

TEST_F(Transcription, WavUploadComesBackAsText) {
    service.config({{"text", "  Hallo Welt \n"}});
    const Bytes wav = tone_wav(16000);
    TranscriptionInput in = input(wav, service.base());
    in.prompt = "Kestrom";
    const auto result = transcribe(in);
    ASSERT_TRUE(std::holds_alternative<TranscriptText>(result)) << std::get<ServiceError>(result).message;
    EXPECT_EQ(std::get<TranscriptText>(result).text, "Hallo Welt");

    const Json up = uploads();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0]["upload"]["valid"], true);
    EXPECT_EQ(up[0]["upload"]["samples"], 16000);
    EXPECT_EQ(up[0]["fields"]["prompt"], "Kestrom");
    EXPECT_EQ(up[0]["order"], Json::parse(R"(["model","response_format","prompt","file"])"));
    using H = std::vector<std::pair<std::string, std::string>>;
    const std::string body_length = std::to_string(build_multipart(wav, false, "auto", "Kestrom").size());
    EXPECT_EQ(test::logged_headers(up[0]),
              (H {{"Host", service.base().substr(7)}, {"User-Agent", "Tolvek/0.5.24"},
                  {"Authorization", "Bearer " + token}, {"X-Tolvek-Version", "0.5.24"},
                  {"Content-Type", "multipart/form-data; boundary=----TolvekBoundary7f3a9c2e"},
                  {"Content-Length", body_length}}));
    DictationValues& v = dictation_values();
    EXPECT_EQ(v.upload_total.load(), std::stoull(body_length));
    EXPECT_EQ(v.upload_written.load(), v.upload_total.load());
    EXPECT_TRUE(v.upload_start.get().has_value());
    EXPECT_EQ(v.latest.get().transfer_summary, "") << "no facts in the answer: nothing changes";
}

TEST_F(Transcription, AnswerTexts) {
    const Bytes wav = tone_wav(8000);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"text":null})", ""}, {R"({"x":1})", ""}, {R"({"text":"\u3000 Grüße\r\n"})", "Grüße"},
        {R"({"text":5})", ""}, {R"("nur Text")", ""}};
    for (const auto& [answer, text] : cases) {
        service.next({{"path", "/v1/audio/transcriptions"}, {"status", 200}, {"raw", answer}});
        const auto result = transcribe(input(wav, service.base()));
        ASSERT_TRUE(std::holds_alternative<TranscriptText>(result)) << answer;
        EXPECT_EQ(std::get<TranscriptText>(result).text, text) << answer;
    }
}

TEST_F(Transcription, FactsAndTheFormatLogLine) {
    service.config({{"facts", {{"model", "m"}, {"ms", 1340}, {"uploadMs", 400}, {"fallback", true},
                               {"engine", "Whisper groß"}, {"region", "ch"}, {"audio", "opus"}}}});
    const Bytes wav = tone_wav(8000);
    const std::uint64_t rate = upload_rate();
    ASSERT_TRUE(std::holds_alternative<TranscriptText>(transcribe(input(wav, service.base()))));
    const LatestRequest latest = dictation_values().latest.get();
    EXPECT_EQ(latest.transfer_summary, "m · Opus 16 KB · Server 1.3 s · Upload 0.4 s, Rückfall");
    EXPECT_EQ(latest.engine_name, "Whisper groß");
    EXPECT_EQ(latest.processing_region, "ch");
    EXPECT_EQ(upload_rate(), rate) << "no bytes reported";
    ASSERT_TRUE(std::holds_alternative<TranscriptText>(transcribe(input(wav, service.base()))));
    const std::string text = log();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find(" Übertragung: Opus\n"), std::string::npos);

    service.config({{"facts", {{"bytes", 2000000}, {"uploadMs", 500}}}});
    ASSERT_TRUE(std::holds_alternative<TranscriptText>(transcribe(input(wav, service.base()))));
    EXPECT_EQ(upload_rate(), 4000000u);
    EXPECT_NE(log().find(" Übertragung: WAV\n"), std::string::npos);
    set_upload_rate(rate);
}

TEST_F(Transcription, RefusedOpusIsSentAgainAsWav) {
    service.config({{"reject_opus", true}});
    const Bytes wav = tone_wav(16000);
    const Bytes not_really_opus = {'O', 'g', 'g', 'S', 0, 2};
    TranscriptionInput in = input(wav, service.base());
    in.opus = OpusUpload {not_really_opus, 1000};
    const auto result = transcribe(in);
    ASSERT_TRUE(std::holds_alternative<TranscriptText>(result)) << std::get<ServiceError>(result).message;
    EXPECT_EQ(std::get<TranscriptText>(result).text, "Hallo Welt");
    const Json up = uploads();
    ASSERT_EQ(up.size(), 2u);
    EXPECT_EQ(up[0]["upload"]["filename"], "diktat.opus");
    EXPECT_TRUE(test::has_header(up[0], "X-Tolvek-Dauer"));
    EXPECT_EQ(test::logged_headers(up[0]).back(), (std::pair<std::string, std::string> {"X-Tolvek-Dauer", "1000"}));
    EXPECT_EQ(up[1]["upload"]["filename"], "audio.wav");
    EXPECT_FALSE(test::has_header(up[1], "X-Tolvek-Dauer"));
    EXPECT_NE(log().find(" Opus abgelehnt (Opus wird nicht unterstützt), sende WAV\n"), std::string::npos);
}

TEST_F(Transcription, ErrorsPassThrough) {
    const Bytes wav = tone_wav(8000);
    TranscriptionInput in = input(wav, service.base());
    in.token = "unbekannt";
    EXPECT_EQ(std::get<ServiceError>(transcribe(in)),
              (ServiceError {ServiceError::Rejected, "Anmeldung abgelaufen"}));

    // A WAV upload refused with the Opus marker keeps no marker in its message.
    service.next({{"path", "/v1/audio/transcriptions"}, {"status", 422},
                  {"body", {{"error", {{"message", "kaputt"}}}, {"c", "opus_error"}}}});
    EXPECT_EQ(std::get<ServiceError>(transcribe(input(wav, service.base()))),
              (ServiceError {ServiceError::Failed, "kaputt"}));
}

TEST_F(Transcription, BodyHandedOverIsNotSentAgain) {
    service_hosts() = {service.base(), service.tls_base()};
    service.next({{"path", "/v1/audio/transcriptions"}, {"fault", "close_after_body"}});
    const Bytes wav = tone_wav(16000);
    EXPECT_EQ(std::get<ServiceError>(transcribe(input(wav, service.base()))),
              (ServiceError {ServiceError::Failed, kNoConnection}));
    EXPECT_EQ(uploads().size(), 1u) << "no second upload";
    EXPECT_NE(log().find(" Verbindung zu " + service.base() + " gescheitert: "), std::string::npos);
    EXPECT_FALSE(fallback_memory().get().has_value());
}

TEST_F(Transcription, UnfinishedUploadFallsBack) {
    // A refused connection takes nothing, so the whole body goes to the legacy host.
    service_hosts() = {"http://127.0.0.1:1", service.base()};
    const Bytes wav = tone_wav(16000);
    const auto result = transcribe(input(wav, "http://127.0.0.1:1"));
    ASSERT_TRUE(std::holds_alternative<TranscriptText>(result)) << std::get<ServiceError>(result).message;
    EXPECT_EQ(uploads().size(), 1u);
    EXPECT_NE(log().find("), Rückfall auf " + service.base()), std::string::npos);
    EXPECT_TRUE(fallback_memory().get().has_value());
}

TEST_F(Transcription, OverHttpsAndToARefusedPort) {
    const HttpSettings saved = http_settings();
    http_settings().ca_file = get_env("TOLVEK_TEST_CA").value_or("");  // unused by Schannel
    const Bytes wav = tone_wav(16000);
    const auto result = transcribe(input(wav, service.tls_base()));
    http_settings() = saved;
    ASSERT_TRUE(std::holds_alternative<TranscriptText>(result)) << std::get<ServiceError>(result).message;
    EXPECT_EQ(std::get<TranscriptText>(result).text, "Hallo Welt");

    EXPECT_EQ(std::get<ServiceError>(transcribe(input(wav, "http://127.0.0.1:1"))),
              (ServiceError {ServiceError::Failed, kNoConnection}));
    EXPECT_NE(log().find(" Verbindung zu http://127.0.0.1:1 gescheitert: "), std::string::npos);
}

}  // namespace
}  // namespace tolvek
