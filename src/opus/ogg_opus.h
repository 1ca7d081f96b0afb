// Ogg Opus from a recording's WAV image: libopus for the packets, the Ogg pages our own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
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

// The same stream written while the packets come, so that a packet is kept only as the page's
// bytes: a full page goes out when the next packet shows that it is not the last one, and
// finish() writes the last page. `reserve`: the bytes to set aside (untouched) up front.
class OggOpusWriter {
public:
    OggOpusWriter(std::uint64_t lookahead, std::size_t reserve);
    void add(std::span<const std::uint8_t> packet);
    Bytes finish(std::uint64_t samples);
    std::size_t packets() const { return packets_; }

private:
    void write_open_page(bool last, std::uint64_t samples);

    Bytes out_;
    Bytes open_bytes_;  // the packets of the page not yet written, one after the other
    std::vector<std::size_t> open_sizes_;
    std::size_t open_lacing_ = 0;
    bool open_full_ = false;
    std::uint32_t sequence_ = 0;
    std::size_t packets_ = 0;
    std::uint64_t lookahead_;
};

// The samples of a WAV image (its "data" chunk), or nothing when the image has none.
std::optional<std::span<const std::uint8_t>> wav_samples(std::span<const std::uint8_t> wav);

// The stream and its length, or nothing: then the WAV is sent. Failures of the encoder are
// logged; a WAV without samples to look at is not.
std::optional<OggOpus> encode_ogg_opus(std::span<const std::uint8_t> wav);

// Encodes a recording while it grows: advance() encodes every whole 20 ms frame of the samples
// so far, finish() the rest from the final samples, padded as encode_ogg_opus pads them. The
// result equals encode_ogg_opus of the final samples byte for byte: when the samples encoded
// early are not the start of the final ones (a driver that rewrote its buffer, a recording
// replaced by another), finish starts over from the final samples.
class OpusStream {
public:
    // Room is set aside (untouched) for `expected_samples`, or for the longest recording.
    OpusStream();
    explicit OpusStream(std::size_t expected_samples);
    ~OpusStream();
    OpusStream(const OpusStream&) = delete;
    OpusStream& operator=(const OpusStream&) = delete;

    // `samples`: the little-endian 16-bit samples recorded so far, from the first one on.
    void advance(std::span<const std::uint8_t> samples);
    // Nothing when the encoder failed or there are no samples (not logged here).
    std::optional<OggOpus> finish(std::span<const std::uint8_t> samples);
    std::size_t encoded_frames() const { return writer_ ? writer_->packets() : 0; }

private:
    bool restart(std::size_t expected_samples);
    bool encode_frame(std::span<const std::uint8_t> samples, std::size_t frame);

    struct Encoder;
    std::unique_ptr<Encoder> encoder_;
    std::optional<OggOpusWriter> writer_;  // none before the encoder and after finish()
    std::uint64_t fingerprint_ = 0;  // of the sample bytes encoded so far
    bool failed_ = false;
};

// An OpusStream on its own thread while a recording runs: every kLiveOpusWakeMs it encodes what
// `recorded` reports (the samples written so far; called on that thread). stop() ends the
// thread and hands the stream over.
inline constexpr int kLiveOpusWakeMs = 50;
class LiveOpus {
public:
    using Recorded = std::function<std::span<const std::uint8_t>()>;
    explicit LiveOpus(Recorded recorded);
    ~LiveOpus();
    LiveOpus(const LiveOpus&) = delete;
    LiveOpus& operator=(const LiveOpus&) = delete;
    std::shared_ptr<OpusStream> stop();

private:
    Recorded recorded_;
    std::shared_ptr<OpusStream> stream_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

// With TOLVEK_TEST_OPUS_HALB set, only the first half of the stream goes out (a cut-off stream
// for the service's error path).
void apply_test_halving(Bytes& ogg);

}  // namespace tolvek
