// The endpoints as the program calls them (enrollment, hello, company words, transcription as
// Opus and as WAV), with the transport replaced by one that replays answers from the input:
// every request is well formed, and whatever the answers, a result is text the user can read.
// Each answer: status (2 bytes; below 100 the connection failed), flags (1: the body went beyond
// the cap), body length (2 bytes) and the body. When the answers run out, nothing is reachable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/check.h"
#include "net/dictionary.h"
#include "net/hello.h"
#include "net/http.h"
#include "net/transcription.h"
#include "util/text.h"

namespace tolvek {
namespace {

std::string_view g_answers;
int g_requests = 0;

std::size_t take(std::size_t count) {
    std::size_t value = 0;
    for (std::size_t i = 0; i < count && !g_answers.empty(); ++i) {
        value |= static_cast<std::size_t>(static_cast<unsigned char>(g_answers[0])) << (8 * i);
        g_answers.remove_prefix(1);
    }
    return value;
}

bool readable(const ServiceError& error) {
    return !error.message.empty() && is_valid_utf8(error.message) &&
           error.message.find('\x01') == std::string::npos;
}

}  // namespace

HttpResult perform(const HttpRequest& request) {
    ++g_requests;
    FUZZ_CHECK(request.method == "GET" || request.method == "POST");
    FUZZ_CHECK(request.url.starts_with("https://"));
    FUZZ_CHECK((request.method == "GET") == request.body.empty());
    for (const auto& [name, value] : request.headers) {
        if (name == "Content-Length") FUZZ_CHECK(value == std::to_string(body_size(request.body)));
        if (name == "Authorization") FUZZ_CHECK(value.starts_with("Bearer ") && value.size() > 7);
    }
    if (g_answers.empty()) return ServiceError {ServiceError::Unreachable, "Could not resolve host"};
    const long status = static_cast<long>(take(2) % 600);
    const std::size_t flags = take(1);
    const std::size_t announced = take(2);
    const std::size_t length = std::min(announced, g_answers.size());
    std::string body(g_answers.substr(0, length));
    g_answers.remove_prefix(length);
    if (status < 100) return ServiceError {ServiceError::Unreachable, body};
    return HttpResponse {status, std::move(body), (flags & 1) != 0, {}};
}

}  // namespace tolvek

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvek;
    // The log goes to a private folder, not into a profile.
    static char folder[] = "/tmp/tolvek-fuzz-requests.XXXXXX";
    static const bool private_profile = [] {
        if (!mkdtemp(folder) || setenv("APPDATA", folder, 1) != 0) return false;
        std::atexit([] { std::filesystem::remove_all(folder); });
        return true;
    }();
    FUZZ_CHECK(private_profile);
    g_answers = std::string_view(reinterpret_cast<const char*>(data), size);
    g_requests = 0;
    fallback_memory().set(std::nullopt);
    const std::string server = service_hosts().current;

    const auto enrolled = enroll(server, "ST-3PVA-8RKE");
    if (const auto* e = std::get_if<Enrollment>(&enrolled)) {
        FUZZ_CHECK(!e->token.empty() && !e->audio.empty());
    } else {
        FUZZ_CHECK(readable(std::get<ServiceError>(enrolled)));
    }

    for (const bool manual : {true, false}) {
        const auto outcome = hello(server, "token", manual);
        if (manual) FUZZ_CHECK(outcome.has_value());
        if (outcome && outcome->unreachable) FUZZ_CHECK(manual && !outcome->logged_out);
    }

    for (const std::string& term : company_words(server, "token")) {
        FUZZ_CHECK(!term.empty() && is_valid_utf8(term));
    }

    static const std::vector<std::uint8_t> audio(64, 0);
    for (const bool opus : {true, false}) {
        TranscriptionInput input;
        input.server = server;
        input.token = "token";
        input.wav = audio;
        if (opus) input.opus = OpusUpload {audio, 2000};
        const int before = g_requests;
        const TranscriptionResult result = transcribe(input);
        // At most the current and the legacy host, for Opus and then for WAV.
        FUZZ_CHECK(g_requests - before <= (opus ? 4 : 2));
        if (const auto* text = std::get_if<TranscriptText>(&result)) {
            FUZZ_CHECK(is_valid_utf8(text->text) && trim_unicode_space(text->text) == text->text);
        } else {
            const auto& error = std::get<ServiceError>(result);
            FUZZ_CHECK(readable(error) && error.kind != ServiceError::Unreachable);
        }
    }
    return 0;
}
