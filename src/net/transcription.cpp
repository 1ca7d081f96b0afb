#include "net/transcription.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "base/log.h"
#include "base/dictation_values.h"
#include "util/text.h"

namespace tolvek {
namespace {

std::atomic<std::uint64_t> g_upload_rate {400000};
std::mutex g_label_mutex;
std::string g_last_format_label;

void text_field(std::string& body, const char* name, const std::string& value) {
    body += "--";
    body += kBoundary;
    body += "\r\nContent-Disposition: form-data; name=\"";
    body += name;
    body += "\"\r\n\r\n";
    body += value;
    body += "\r\n";
}

std::string first_characters(const std::string& text, std::size_t count) {
    std::size_t i = 0;
    std::size_t chars = 0;
    while (i < text.size() && chars < count) {
        const auto lead = static_cast<unsigned char>(text[i]);
        i += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        ++chars;
    }
    return text.substr(0, std::min(i, text.size()));
}

std::optional<std::uint64_t> non_negative(const Json& t, const char* key) {
    if (!t.is_object()) return std::nullopt;
    const auto it = t.find(key);
    if (it == t.end()) return std::nullopt;
    if (it->is_number_unsigned()) return it->get<std::uint64_t>();
    if (it->is_number_integer() && it->get<std::int64_t>() >= 0) return it->get<std::uint64_t>();
    return std::nullopt;
}

std::optional<std::string> string_member(const Json& t, const char* key) {
    if (!t.is_object()) return std::nullopt;
    const auto it = t.find(key);
    if (it == t.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::string tenths(std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms) / 1000.0);
    return text;
}

// One upload with its fall-back rule: a body that was handed over completely is never sent a
// second time to the legacy host.
std::variant<Json, ServiceError> attempt(const TranscriptionInput& input,
                                         std::span<const std::uint8_t> audio, bool is_opus,
                                         std::optional<std::uint32_t> duration_ms) {
    const MultipartFrame frame = multipart_frame(is_opus, input.language, input.prompt);
    const std::vector<std::string_view> body = {
        frame.head, {reinterpret_cast<const char*>(audio.data()), audio.size()}, frame.tail};
    DictationValues& values = dictation_values();
    const auto send = [&](const std::string& base) {
        values.upload_written = 0;
        values.upload_total = frame.head.size() + audio.size() + frame.tail.size();
        values.upload_start.set(std::nullopt);
        values.upload_end.set(std::nullopt);
        return post_transcription(base, input.token, body, duration_ms, [&values](std::uint64_t sent) {
            values.upload_written = sent;
            const auto now = std::chrono::steady_clock::now();
            if (!values.upload_start.get()) values.upload_start.set(now);
            if (sent >= values.upload_total.load() && !values.upload_end.get()) values.upload_end.set(now);
        });
    };
    // Only the transcription reads a refused Opus upload out of an error answer.
    auto result = with_fallback<Json>(
        input.server, send, [](const HttpResult& answer) { return interpret_json_response(answer, true); },
        [&values] { return values.upload_written.load() < values.upload_total.load(); });
    if (const auto* json = std::get_if<Json>(&result); json && json->is_object()) {
        const auto facts = json->find("tolvek");
        if (facts != json->end()) {
            const ProcessingFacts f = read_processing_facts(*facts, is_opus, audio.size());
            bool label_changed = false;
            {
                std::lock_guard<std::mutex> lock(g_label_mutex);
                if (f.format_label != g_last_format_label) {
                    g_last_format_label = f.format_label;
                    label_changed = true;
                }
            }
            // The log writer takes its own lock: never while holding the label's.
            if (label_changed) log("Übertragung: " + f.format_label);
            values.latest.set({f.transfer_summary, f.engine_name, f.region});
            if (f.upload_rate) set_upload_rate(*f.upload_rate);
        }
    }
    return result;
}

TranscriptionResult to_text(std::variant<Json, ServiceError> result) {
    if (auto* error = std::get_if<ServiceError>(&result)) return *error;
    const Json& v = std::get<Json>(result);
    std::string text;
    if (v.is_object()) {
        const auto it = v.find("text");
        if (it != v.end() && it->is_string()) text = it->get<std::string>();
    }
    return TranscriptText {trim_unicode_space(text)};
}

}  // namespace

MultipartFrame multipart_frame(bool is_opus, const std::string& language, const std::string& prompt) {
    std::string body;
    text_field(body, "model", "whisper-1");
    text_field(body, "response_format", "json");
    if (language == "de" || language == "en") text_field(body, "language", language);
    if (!prompt.empty()) text_field(body, "prompt", first_characters(prompt, kPromptLimit));
    body += "--";
    body += kBoundary;
    body += "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"";
    body += is_opus ? "diktat.opus" : "audio.wav";
    body += "\"\r\nContent-Type: ";
    body += is_opus ? "audio/ogg" : "audio/wav";
    body += "\r\n\r\n";
    return {std::move(body), std::string("\r\n--") + kBoundary + "--\r\n"};
}

ProcessingFacts read_processing_facts(const Json& t, bool is_opus, std::size_t audio_bytes) {
    ProcessingFacts f;
    const std::string model = string_member(t, "model").value_or("?");
    const std::uint64_t ms = non_negative(t, "ms").value_or(0);
    const bool fallback = t.is_object() && t.contains("fallback") && t["fallback"].is_boolean() &&
                          t["fallback"].get<bool>();
    const std::uint64_t upload_ms = non_negative(t, "uploadMs").value_or(0);
    const std::string audio = string_member(t, "audio").value_or(is_opus ? "opus" : "wav");
    f.format_label = audio == "opus" ? "Opus" : "WAV";
    const std::uint64_t kb = (audio_bytes + 1023) / 1024;
    f.transfer_summary = model + " · " + f.format_label + " " + std::to_string(kb) + " KB · Server " +
                         tenths(ms) + " s · Upload " + tenths(upload_ms) + " s" +
                         (fallback ? ", Rückfall" : "");
    f.engine_name = string_member(t, "engine").value_or("");
    f.region = string_member(t, "region");
    const std::optional<std::uint64_t> bytes = non_negative(t, "bytes");
    if (upload_ms >= 301 && bytes && *bytes > 1000000) {
        // In floating point: a huge "bytes" must not wrap around to a tiny rate.
        const double rate = static_cast<double>(*bytes) * 1000.0 / static_cast<double>(upload_ms);
        f.upload_rate = rate >= 18446744073709549568.0 ? UINT64_MAX : static_cast<std::uint64_t>(rate);
    }
    return f;
}

std::uint64_t upload_rate() { return g_upload_rate; }
void set_upload_rate(std::uint64_t rate) { g_upload_rate = rate; }

TranscriptionResult transcribe(const TranscriptionInput& input) {
    if (input.opus) {
        auto result = to_text(attempt(input, input.opus->bytes, true, input.opus->duration_ms));
        const auto* error = std::get_if<ServiceError>(&result);
        const bool refused = error && error->kind == ServiceError::Failed &&
                             error->message.size() > 5 &&
                             error->message.compare(0, kOpusMarker.size(), kOpusMarker) == 0;
        if (!refused) return result;
        log("Opus abgelehnt (" + error->message.substr(kOpusMarker.size()) + "), sende WAV");
    }
    auto result = to_text(attempt(input, input.wav, false, std::nullopt));
    if (auto* error = std::get_if<ServiceError>(&result); error && error->kind == ServiceError::Failed) {
        while (error->message.compare(0, kOpusMarker.size(), kOpusMarker) == 0) {
            error->message.erase(0, kOpusMarker.size());
        }
    }
    return result;
}

}  // namespace tolvek
