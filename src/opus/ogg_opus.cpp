#include "opus/ogg_opus.h"

#include <opus/opus.h>

#include <array>
#include <cstring>
#include <memory>

#include "base/dictation_values.h"
#include "base/log.h"
#include "util/platform.h"

namespace tolvek {
namespace {

constexpr std::size_t kMaxPacket = 4000;
constexpr opus_int32 kOpusBitrate = 32000;
constexpr std::size_t kPagePackets = 50;
constexpr std::size_t kPageLacing = 200;

const std::array<std::uint32_t, 256>& crc_table() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t {};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k) r = r & 0x80000000u ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    return table;
}

void put_le(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::size_t lacing_count(std::size_t packet_size) { return packet_size / 255 + 1; }

struct EncoderDeleter {
    void operator()(OpusEncoder* e) const { opus_encoder_destroy(e); }
};

// A cheap fingerprint of sample bytes (whole 640-byte frames), to tell whether the samples
// encoded early are still the recording's.
constexpr std::uint64_t kFingerprintSeed = 0x6A09E667F3BCC909ull;
std::uint64_t fingerprint(std::uint64_t h, std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        h = (h ^ word) * 0x100000001B3ull;
        h ^= h >> 31;
    }
    for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
    return h;
}

// One page around packets given by their sizes and their bytes one after the other.
void put_page(Bytes& out, std::uint32_t sequence, std::uint8_t header_type, std::uint64_t granule,
              std::span<const std::size_t> sizes, std::span<const std::uint8_t> data) {
    const std::size_t start = out.size();
    const char capture[] = "OggS";
    out.insert(out.end(), capture, capture + 4);
    out.push_back(0);
    out.push_back(header_type);
    put_le(out, granule, 8);
    put_le(out, kOggSerial, 4);
    put_le(out, sequence, 4);
    put_le(out, 0, 4);  // checksum, filled in below
    std::size_t segments = 0;
    for (const std::size_t size : sizes) segments += lacing_count(size);
    out.push_back(static_cast<std::uint8_t>(segments));
    for (const std::size_t size : sizes) {
        out.insert(out.end(), size / 255, 255);
        out.push_back(static_cast<std::uint8_t>(size % 255));
    }
    out.insert(out.end(), data.begin(), data.end());
    const std::uint32_t crc = ogg_crc(std::span(out).subspan(start));
    for (int i = 0; i < 4; ++i) out[start + 22 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

std::optional<OggOpus> failed() {
    log("Opus-Kodierung gescheitert, sende WAV");
    return std::nullopt;
}

}  // namespace

std::uint32_t ogg_crc(std::span<const std::uint8_t> data) {
    std::uint32_t crc = 0;
    for (std::uint8_t byte : data) crc = (crc << 8) ^ crc_table()[((crc >> 24) ^ byte) & 0xFF];
    return crc;
}

void ogg_page(Bytes& out, std::uint32_t sequence, std::uint8_t header_type, std::uint64_t granule,
              std::span<const Bytes> packets) {
    std::vector<std::size_t> sizes;
    Bytes data;
    for (const Bytes& p : packets) {
        sizes.push_back(p.size());
        data.insert(data.end(), p.begin(), p.end());
    }
    put_page(out, sequence, header_type, granule, sizes, data);
}

std::optional<std::span<const std::uint8_t>> wav_samples(std::span<const std::uint8_t> wav) {
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(wav[at] | wav[at + 1] << 8 | wav[at + 2] << 16) |
               static_cast<std::uint32_t>(wav[at + 3]) << 24;
    };
    if (wav.size() < 20) return std::nullopt;
    std::uint64_t p = 12;
    while (p + 8 <= wav.size()) {
        const std::uint32_t size = u32(static_cast<std::size_t>(p) + 4);
        if (wav[p] == 'd' && wav[p + 1] == 'a' && wav[p + 2] == 't' && wav[p + 3] == 'a') {
            const std::uint64_t begin = p + 8;
            const std::uint64_t end = std::min<std::uint64_t>(begin + size, wav.size());
            return wav.subspan(static_cast<std::size_t>(begin), static_cast<std::size_t>((end - begin) & ~1ull));
        }
        p += 8 + static_cast<std::uint64_t>(size) + size % 2;
    }
    return std::nullopt;
}

OggOpusWriter::OggOpusWriter(std::uint64_t lookahead, std::size_t reserve) : lookahead_(lookahead) {
    out_.reserve(reserve);
    Bytes head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 1};
    put_le(head, lookahead * 3, 2);
    put_le(head, 16000, 4);
    put_le(head, 0, 2);
    head.push_back(0);
    ogg_page(out_, sequence_++, 2, 0, std::span(&head, 1));
    Bytes tags = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's'};
    put_le(tags, 6, 4);
    for (char c : std::string_view("Tolvek")) tags.push_back(static_cast<std::uint8_t>(c));
    put_le(tags, 0, 4);
    ogg_page(out_, sequence_++, 0, 0, std::span(&tags, 1));
}

void OggOpusWriter::add(std::span<const std::uint8_t> packet) {
    if (open_full_) write_open_page(false, 0);
    open_bytes_.insert(open_bytes_.end(), packet.begin(), packet.end());
    open_sizes_.push_back(packet.size());
    open_lacing_ += lacing_count(packet.size());
    ++packets_;
    open_full_ = open_sizes_.size() == kPagePackets || open_lacing_ > kPageLacing;
}

void OggOpusWriter::write_open_page(bool last, std::uint64_t samples) {
    put_page(out_, sequence_++, last ? 4 : 0, last ? (samples + lookahead_) * 3 : packets_ * 960, open_sizes_,
             open_bytes_);
    open_bytes_.clear();
    open_sizes_.clear();
    open_lacing_ = 0;
    open_full_ = false;
}

Bytes OggOpusWriter::finish(std::uint64_t samples) {
    if (!open_sizes_.empty()) write_open_page(true, samples);
    return std::move(out_);
}

Bytes mux_ogg_opus(const std::vector<Bytes>& packets, std::uint64_t samples, std::uint64_t lookahead) {
    std::size_t bytes = 0;
    for (const Bytes& p : packets) bytes += p.size();
    OggOpusWriter writer(lookahead, bytes + bytes / 50 + 256);
    for (const Bytes& p : packets) writer.add(p);
    return writer.finish(samples);
}

struct OpusStream::Encoder {
    std::unique_ptr<OpusEncoder, EncoderDeleter> handle;
    std::uint64_t lookahead = 0;
};

// The stream's bytes per second of speech, with room for the pages and for louder passages.
constexpr std::size_t kStreamBytesPerSecond = std::size_t {kOpusBitrate} / 8 * 5 / 4;

OpusStream::OpusStream() : OpusStream(std::size_t {kRecordingLimitSeconds} * 16000) {}
OpusStream::OpusStream(std::size_t expected_samples) { restart(expected_samples); }
OpusStream::~OpusStream() = default;

bool OpusStream::restart(std::size_t expected_samples) {
    writer_.reset();
    fingerprint_ = kFingerprintSeed;
    encoder_ = std::make_unique<Encoder>();
    int error = 0;
    encoder_->handle.reset(opus_encoder_create(16000, 1, OPUS_APPLICATION_VOIP, &error));
    failed_ = !encoder_->handle || error != OPUS_OK;
    if (failed_) return false;
    OpusEncoder* e = encoder_->handle.get();
    opus_encoder_ctl(e, OPUS_SET_BITRATE(kOpusBitrate));
    opus_encoder_ctl(e, OPUS_SET_VBR(1));
    opus_encoder_ctl(e, OPUS_SET_COMPLEXITY(5));
    opus_int32 lookahead = 0;
    opus_encoder_ctl(e, OPUS_GET_LOOKAHEAD(&lookahead));
    encoder_->lookahead = lookahead < 0 ? 0 : static_cast<std::uint64_t>(lookahead);
    // Set aside, not touched: a page of it is taken only when the stream reaches it.
    writer_.emplace(encoder_->lookahead, expected_samples / 16000 * kStreamBytesPerSecond + 4096);
    return true;
}

// Frame `frame` of the samples, zero beyond their end, as the next packet.
bool OpusStream::encode_frame(std::span<const std::uint8_t> samples, std::size_t frame) {
    const std::size_t s = samples.size() / 2;
    std::array<opus_int16, kOpusFrame> pcm {};
    const std::size_t first = frame * kOpusFrame;
    const std::size_t count = first >= s ? 0 : std::min<std::size_t>(kOpusFrame, s - first);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 2 * (first + i);
        pcm[i] = static_cast<opus_int16>(samples[at] | samples[at + 1] << 8);
    }
    unsigned char packet[kMaxPacket];
    const opus_int32 n = opus_encode(encoder_->handle.get(), pcm.data(), kOpusFrame, packet,
                                     static_cast<opus_int32>(kMaxPacket));
    if (n < 0) {
        failed_ = true;
        return false;
    }
    writer_->add(std::span(packet, static_cast<std::size_t>(n)));
    return true;
}

void OpusStream::advance(std::span<const std::uint8_t> samples) {
    constexpr std::size_t kFrameBytes = 2 * kOpusFrame;
    while (!failed_ && (encoded_frames() + 1) * kFrameBytes <= samples.size()) {
        const std::size_t frame = encoded_frames();
        fingerprint_ = fingerprint(fingerprint_, samples.subspan(frame * kFrameBytes, kFrameBytes));
        if (!encode_frame(samples, frame)) return;
    }
}

std::optional<OggOpus> OpusStream::finish(std::span<const std::uint8_t> samples) {
    samples = samples.first(samples.size() & ~std::size_t {1});
    const std::size_t s = samples.size() / 2;
    if (s == 0) return std::nullopt;
    const std::size_t early = encoded_frames() * 2 * kOpusFrame;
    if (!writer_ || early > samples.size() ||
        fingerprint(kFingerprintSeed, samples.first(early)) != fingerprint_) {
        restart(s);
    }
    if (failed_) return std::nullopt;
    const std::uint64_t frames = (s + encoder_->lookahead + kOpusFrame - 1) / kOpusFrame;
    while (encoded_frames() < frames) {
        if (!encode_frame(samples, encoded_frames())) return std::nullopt;
    }
    // The stream's bytes leave with the result; what is left of this stream starts over.
    OggOpus result;
    result.bytes = writer_->finish(s);
    writer_.reset();
    result.duration_ms = static_cast<std::uint32_t>(s * 1000 / 16000);
    return result;
}

std::optional<OggOpus> encode_ogg_opus(std::span<const std::uint8_t> wav) {
    const auto samples = wav_samples(wav);
    if (!samples) return std::nullopt;  // not a recording: the WAV goes as it is
    if (samples->size() < 2) return failed();
    OpusStream stream(samples->size() / 2);
    auto result = stream.finish(*samples);
    if (!result) return failed();
    return result;
}

LiveOpus::LiveOpus(Recorded recorded)
    : recorded_(std::move(recorded)), stream_(std::make_shared<OpusStream>()), thread_([this] {
          std::unique_lock<std::mutex> lock(mutex_);
          while (!stopping_) {
              wake_.wait_for(lock, std::chrono::milliseconds(kLiveOpusWakeMs));
              if (stopping_) break;
              lock.unlock();
              stream_->advance(recorded_());
              lock.lock();
          }
      }) {}

LiveOpus::~LiveOpus() { stop(); }

std::shared_ptr<OpusStream> LiveOpus::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return stream_;
}

void apply_test_halving(Bytes& ogg) {
    if (get_env("TOLVEK_TEST_OPUS_HALB")) ogg.resize(ogg.size() / 2);
}

}  // namespace tolvek
