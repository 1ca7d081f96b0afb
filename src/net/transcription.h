// One recording to text: the multipart upload, the Opus-then-WAV order and the processing facts
// the service reports with its answer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "net/http.h"

namespace tolvek {

inline constexpr char kBoundary[] = "----TolvekBoundary7f3a9c2e";
inline constexpr std::size_t kPromptLimit = 1500;  // characters

// The multipart body is `head`, the audio file's bytes, `tail`: the audio goes out from where
// it lies.
struct MultipartFrame {
    std::string head;
    std::string tail;
};
MultipartFrame multipart_frame(bool is_opus, const std::string& language, const std::string& prompt);

struct OpusUpload {
    std::span<const std::uint8_t> bytes;
    std::uint32_t duration_ms = 0;
};

struct TranscriptionInput {
    std::string server;
    std::string token;
    std::span<const std::uint8_t> wav;
    std::optional<OpusUpload> opus;
    std::string language = "auto";
    std::string prompt;
};

struct TranscriptText {
    std::string text;
};
// Text, or a ServiceError of kind Rejected or Failed.
using TranscriptionResult = std::variant<TranscriptText, ServiceError>;

TranscriptionResult transcribe(const TranscriptionInput& input);

// What the service says about how it processed the request ("tolvek" member of the answer).
struct ProcessingFacts {
    std::string transfer_summary;
    std::string engine_name;
    std::optional<std::string> region;
    std::string format_label;                // "Opus" or "WAV"
    std::optional<std::uint64_t> upload_rate;  // bytes per second, when measured well enough
};
ProcessingFacts read_processing_facts(const Json& facts, bool is_opus, std::size_t audio_bytes);

// Bytes per second of the recent uploads (400,000 until the service measured one).
std::uint64_t upload_rate();
void set_upload_rate(std::uint64_t rate);

}  // namespace tolvek
