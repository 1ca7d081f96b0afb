// Ogg Opus from a recording's WAV image: libopus for the packets, the Ogg pages our own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tolvek {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kOggSerial = 0x546C566B;  // "TlVk"
inline constexpr int kOpusFrame = 320;                     // 20 ms at 16 kHz

struct OggOpus {
    Bytes bytes;
    std::uint32_t duration_ms = 0;
};

// The Ogg checksum (polynomial 0x04C11DB7, initial 0, not reflected, no final XOR).
std::uint32_t ogg_crc(std::span<const std::uint8_t> data);

// Appends one page with the given sequence number; the packets must fit in 255 lacing values.
void ogg_page(Bytes& out, std::uint32_t sequence, std::uint8_t header_type, std::uint64_t granule,
              std::span<const Bytes> packets);

// The whole stream around the encoded 20 ms packets of `samples` samples: OpusHead (pre-skip
// 3 × lookahead) and OpusTags pages, then pages of at most 50 packets or just over 200 lacing
// values, the last one ending the stream. There is at least one packet.
Bytes mux_ogg_opus(const std::vector<Bytes>& packets, std::uint64_t samples, std::uint64_t lookahead);

// The samples of a WAV image (its "data" chunk), or nothing when the image has none.
std::optional<std::span<const std::uint8_t>> wav_samples(std::span<const std::uint8_t> wav);

// The stream and its length, or nothing: then the WAV is sent. Failures of the encoder are
// logged; a WAV without samples to look at is not.
std::optional<OggOpus> encode_ogg_opus(std::span<const std::uint8_t> wav);

// With TOLVEK_TEST_OPUS_HALB set, only the first half of the stream goes out (a cut-off stream
// for the service's error path).
void apply_test_halving(Bytes& ogg);

}  // namespace tolvek
