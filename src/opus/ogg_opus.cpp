#include "opus/ogg_opus.h"

#include <opus/opus.h>

#include <array>
#include <memory>

#include "base/log.h"
#include "util/platform.h"

namespace tolvek {
namespace {

constexpr std::size_t kMaxPacket = 4000;
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

std::size_t lacing_count(const Bytes& packet) { return packet.size() / 255 + 1; }

struct EncoderDeleter {
    void operator()(OpusEncoder* e) const { opus_encoder_destroy(e); }
};

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
    for (const Bytes& p : packets) segments += lacing_count(p);
    out.push_back(static_cast<std::uint8_t>(segments));
    for (const Bytes& p : packets) {
        for (std::size_t i = 0; i < p.size() / 255; ++i) out.push_back(255);
        out.push_back(static_cast<std::uint8_t>(p.size() % 255));
    }
    for (const Bytes& p : packets) out.insert(out.end(), p.begin(), p.end());
    const std::uint32_t crc = ogg_crc(std::span(out).subspan(start));
    for (int i = 0; i < 4; ++i) out[start + 22 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
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

Bytes mux_ogg_opus(const std::vector<Bytes>& packets, std::uint64_t samples, std::uint64_t lookahead) {
    Bytes out;
    std::uint32_t sequence = 0;
    Bytes head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 1};
    put_le(head, lookahead * 3, 2);
    put_le(head, 16000, 4);
    put_le(head, 0, 2);
    head.push_back(0);
    ogg_page(out, sequence++, 2, 0, std::span(&head, 1));
    Bytes tags = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's'};
    put_le(tags, 6, 4);
    for (char c : std::string_view("Tolvek")) tags.push_back(static_cast<std::uint8_t>(c));
    put_le(tags, 0, 4);
    ogg_page(out, sequence++, 0, 0, std::span(&tags, 1));

    std::size_t first = 0;  // the first packet not yet on a page
    std::size_t pending_lacing = 0;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        pending_lacing += lacing_count(packets[i]);
        const bool last = i + 1 == packets.size();
        if (i + 1 - first == kPagePackets || pending_lacing > kPageLacing || last) {
            ogg_page(out, sequence++, last ? 4 : 0, last ? (samples + lookahead) * 3 : (i + 1) * 960,
                     std::span(packets).subspan(first, i + 1 - first));
            first = i + 1;
            pending_lacing = 0;
        }
    }
    return out;
}

std::optional<OggOpus> encode_ogg_opus(std::span<const std::uint8_t> wav) {
    const auto samples = wav_samples(wav);
    if (!samples) return std::nullopt;  // not a recording: the WAV goes as it is
    const std::size_t s = samples->size() / 2;
    if (s == 0) return failed();

    int error = 0;
    std::unique_ptr<OpusEncoder, EncoderDeleter> encoder(
        opus_encoder_create(16000, 1, OPUS_APPLICATION_VOIP, &error));
    if (!encoder || error != OPUS_OK) return failed();
    opus_encoder_ctl(encoder.get(), OPUS_SET_BITRATE(32000));
    opus_encoder_ctl(encoder.get(), OPUS_SET_VBR(1));
    opus_encoder_ctl(encoder.get(), OPUS_SET_COMPLEXITY(5));
    opus_int32 lookahead = 0;
    opus_encoder_ctl(encoder.get(), OPUS_GET_LOOKAHEAD(&lookahead));
    const std::uint64_t L = lookahead < 0 ? 0 : static_cast<std::uint64_t>(lookahead);

    const std::uint64_t frames = (s + L + kOpusFrame - 1) / kOpusFrame;
    std::vector<opus_int16> pcm(static_cast<std::size_t>(frames) * kOpusFrame, 0);
    for (std::size_t i = 0; i < s; ++i) {
        pcm[i] = static_cast<opus_int16>((*samples)[2 * i] | (*samples)[2 * i + 1] << 8);
    }
    std::vector<Bytes> packets;
    packets.reserve(static_cast<std::size_t>(frames));
    unsigned char packet[kMaxPacket];
    for (std::uint64_t i = 0; i < frames; ++i) {
        const opus_int32 n = opus_encode(encoder.get(), pcm.data() + i * kOpusFrame, kOpusFrame,
                                         packet, static_cast<opus_int32>(kMaxPacket));
        if (n < 0) return failed();
        packets.emplace_back(packet, packet + n);
    }
    OggOpus result;
    result.bytes = mux_ogg_opus(packets, s, L);
    result.duration_ms = static_cast<std::uint32_t>(s * 1000 / 16000);
    return result;
}

void apply_test_halving(Bytes& ogg) {
    if (get_env("TOLVEK_TEST_OPUS_HALB")) ogg.resize(ogg.size() / 2);
}

}  // namespace tolvek
