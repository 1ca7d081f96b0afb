#include "dictation/dictation.h"

#include <cstdio>

#include "net/hello.h"
#include "net/transcription.h"
#include "opus/ogg_opus.h"

namespace tolvek {
namespace {

std::mutex g_engine_mutex;
std::string g_last_engine;

DictationResult error_result(const WorkerInput& input, std::string message, bool auth_invalid,
                             std::optional<Credentials> renewed = std::nullopt) {
    DictationResult r;
    r.renewed = std::move(renewed);
    r.resend = input.resend;
    // A refused login keeps the recording too: once the code is entered again it can be sent.
    r.kept = KeptRecording {input.payload, input.ogg, input.seconds, input.code};
    r.is_error = true;
    r.text = std::move(message);
    r.length_seconds = input.seconds;
    r.auth_invalid = auth_invalid;
    return r;
}

std::string tenths(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

DictationResult run_dictation(const WorkerInput& input) {
    std::string token = input.token;
    std::optional<Credentials> renewed;
    const auto renew = [&]() -> std::optional<DictationResult> {
        auto enrolled = enroll(input.server, input.code);
        if (auto* error = std::get_if<ServiceError>(&enrolled)) {
            return error_result(input, error->message, error->kind == ServiceError::Rejected);
        }
        const Enrollment& e = std::get<Enrollment>(enrolled);
        token = e.token;
        renewed = Credentials {e.token, e.firm};
        return std::nullopt;
    };
    if (token.empty()) {
        if (auto failed = renew()) return *failed;
    }

    std::optional<OggOpus> ogg;
    if (input.opus) {
        if (input.ogg) {
            ogg = input.ogg;
        } else {
            // Encoded while recording, only the last frames are left; otherwise all of it.
            const auto samples = wav_samples(input.payload);
            if (input.live && samples) ogg = input.live->finish(*samples);
            if (!ogg) ogg = encode_ogg_opus(input.payload);
            if (ogg) apply_test_halving(ogg->bytes);
        }
    }
    const auto request = [&] {
        TranscriptionInput t;
        t.server = input.server;
        t.token = token;
        t.wav = input.payload;
        if (ogg) t.opus = OpusUpload {ogg->bytes, ogg->duration_ms};
        t.language = input.language;
        t.prompt = input.prompt;
        return transcribe(t);
    };
    TranscriptionResult answer = request();
    if (const auto* error = std::get_if<ServiceError>(&answer); error && error->kind == ServiceError::Rejected) {
        // Credentials an enrollment of this dictation brought are kept even then: the result
        // handling stores the company name and clears the refused token.
        if (renewed || input.code.empty()) return error_result(input, error->message, true, renewed);
        if (auto failed = renew()) return *failed;
        answer = request();
    }

    DictationResult r;
    r.length_seconds = input.seconds;
    r.renewed = renewed;
    r.resend = input.resend;
    if (const auto* error = std::get_if<ServiceError>(&answer)) {
        r.is_error = true;
        r.text = error->message;
        // Nothing said is lost: the recording waits to be sent again.
        r.kept = KeptRecording {input.payload, ogg, input.seconds, input.code};
    } else {
        r.text = std::get<TranscriptText>(answer).text;
    }
    return r;
}

std::string result_label(const DictationResult& result) {
    if (result.is_error) return "Fehler: " + result.text;
    return result.text.empty() ? "nichts erkannt" : "Text eingefügt";
}

std::string statistics_line(const LocalTime& t, float length_seconds, std::uint32_t peak,
                            float wait_seconds, const std::string& label,
                            const std::string& transfer_summary, const std::string& region,
                            const std::string& engine_name) {
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    std::string line = std::string(stamp) + "   Aufnahme " + tenths(length_seconds) + " s · Pegel " +
                       std::to_string(peak) + " · Wartezeit " + tenths(wait_seconds) + " s · " + label;
    const std::string indent = "\r\n" + std::string(13, ' ');
    if (!transfer_summary.empty()) {
        line += indent;
        if (!region.empty()) line += "[" + region + "] ";
        line += transfer_summary;
    }
    if (!engine_name.empty()) line += indent + engine_name;
    return line;
}

void TechnicalHistory::add(std::string line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.insert(lines_.begin(), std::move(line));
    if (lines_.size() > kLimit) lines_.resize(kLimit);
}

std::vector<std::string> TechnicalHistory::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

TechnicalHistory& technical_history() {
    static TechnicalHistory history;
    return history;
}

std::optional<std::string> engine_change_line(const std::string& engine_name,
                                              const std::string& transfer_summary) {
    std::lock_guard<std::mutex> lock(g_engine_mutex);
    if (engine_name.empty() || engine_name == g_last_engine) return std::nullopt;
    g_last_engine = engine_name;
    const bool fallback = transfer_summary.find("Rückfall") != std::string::npos;
    return "Spracherkennung" + std::string(fallback ? " (Rückfall)" : "") + ": " + engine_name;
}

}  // namespace tolvek
