#include <gtest/gtest.h>

#include <opus/opus.h>

#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <mutex>

#include "dictation/wav.h"
#include "opus/ogg_opus.h"
#include "test_support.h"

namespace tolvek {
namespace {

struct Page {
    std::uint8_t type;
    std::uint64_t granule;
    std::uint32_t serial, sequence, crc;
    std::vector<std::uint8_t> lacing;
    std::vector<Bytes> packets;
    bool crc_ok;
};

std::uint64_t le(const Bytes& b, std::size_t at, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
}

std::vector<Page> read_pages(const Bytes& ogg) {
    std::vector<Page> pages;
    std::size_t at = 0;
    while (at + 27 <= ogg.size()) {
        EXPECT_EQ(std::string(ogg.begin() + at, ogg.begin() + at + 4), "OggS");
        Page p;
        p.type = ogg[at + 5];
        p.granule = le(ogg, at + 6, 8);
        p.serial = static_cast<std::uint32_t>(le(ogg, at + 14, 4));
        p.sequence = static_cast<std::uint32_t>(le(ogg, at + 18, 4));
        p.crc = static_cast<std::uint32_t>(le(ogg, at + 22, 4));
        const std::size_t n = ogg[at + 26];
        p.lacing.assign(ogg.begin() + at + 27, ogg.begin() + at + 27 + n);
        std::size_t body = at + 27 + n;
        Bytes packet;
        for (std::uint8_t l : p.lacing) {
            packet.insert(packet.end(), ogg.begin() + body, ogg.begin() + body + l);
            body += l;
            if (l < 255) {
                p.packets.push_back(packet);
                packet.clear();
            }
        }
        Bytes copy(ogg.begin() + at, ogg.begin() + body);
        copy[22] = copy[23] = copy[24] = copy[25] = 0;
        p.crc_ok = ogg_crc(copy) == p.crc;
        pages.push_back(p);
        at = body;
    }
    EXPECT_EQ(at, ogg.size());
    return pages;
}

Bytes speech_wav(std::size_t samples) {
    const auto fixture = read_file(TOLVEK_SPEECH_FIXTURE);
    EXPECT_TRUE(fixture.has_value());
    Bytes pcm(samples * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::uint8_t>((*fixture)[i % fixture->size()]);
    return wav_bytes(pcm, 16000);
}

int encoder_lookahead() {
    int error = 0;
    OpusEncoder* e = opus_encoder_create(16000, 1, OPUS_APPLICATION_VOIP, &error);
    opus_int32 l = 0;
    opus_encoder_ctl(e, OPUS_GET_LOOKAHEAD(&l));
    opus_encoder_destroy(e);
    return l;
}

TEST(OggCrc, KnownValues) {
    const std::string check = "123456789";
    EXPECT_EQ(ogg_crc(std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())),
              0x89A1897Fu);
    EXPECT_EQ(ogg_crc({}), 0u);
}

TEST(OggPage, LacingAndHeader) {
    Bytes out;
    const std::vector<Bytes> packets {Bytes(255, 0xAA), Bytes {}, Bytes(10, 1)};
    ogg_page(out, 7, 4, 0x0102030405060708ull, packets);
    const auto pages = read_pages(out);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].lacing, (std::vector<std::uint8_t> {255, 0, 0, 10}));
    EXPECT_EQ(pages[0].packets.size(), 3u);
    EXPECT_EQ(pages[0].sequence, 7u);
    EXPECT_EQ(pages[0].type, 4);
    EXPECT_EQ(pages[0].granule, 0x0102030405060708ull);
    EXPECT_EQ(pages[0].serial, 0x546C566Bu);
    EXPECT_EQ(Bytes(out.begin() + 14, out.begin() + 18), (Bytes {0x6B, 0x56, 0x6C, 0x54}));
    EXPECT_TRUE(pages[0].crc_ok);
}

TEST(OggOpus, OneSecondLayout) {
    ASSERT_EQ(encoder_lookahead(), 104) << "the layout below assumes libopus' look-ahead of 104";
    const auto ogg = encode_ogg_opus(speech_wav(16000));
    ASSERT_TRUE(ogg.has_value());
    EXPECT_EQ(ogg->duration_ms, 1000u);
    const auto pages = read_pages(ogg->bytes);
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages[0].type, 2);
    EXPECT_EQ(pages[0].granule, 0u);
    ASSERT_EQ(pages[0].packets.size(), 1u);
    const Bytes head = pages[0].packets[0];
    EXPECT_EQ(head, (Bytes {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 1, 312 & 0xFF, 312 >> 8,
                            0x80, 0x3E, 0, 0, 0, 0, 0}));
    EXPECT_EQ(pages[1].type, 0);
    EXPECT_EQ(pages[1].packets[0], (Bytes {'O', 'p', 'u', 's', 'T', 'a', 'g', 's', 6, 0, 0, 0, 'T',
                                           'o', 'l', 'v', 'e', 'k', 0, 0, 0, 0}));
    EXPECT_EQ(pages[2].sequence, 2u);
    EXPECT_EQ(pages[2].packets.size(), 50u);
    EXPECT_EQ(pages[2].granule, 48000u);
    EXPECT_EQ(pages[2].type, 0);
    EXPECT_EQ(pages[3].packets.size(), 1u);
    EXPECT_EQ(pages[3].type, 4);
    EXPECT_EQ(pages[3].granule, 48312u);
    for (const auto& p : pages) {
        EXPECT_TRUE(p.crc_ok);
        EXPECT_EQ(p.serial, 0x546C566Bu);
        std::size_t lacing = 0;
        for (const auto& packet : p.packets) lacing += packet.size() / 255 + 1;
        EXPECT_LE(lacing, 255u);
    }
}

// A page closes at 50 packets or once it holds more than 200 lacing values; a page that
// closes with the stream's last packet is the last page, and no empty page follows it.
TEST(OggOpus, PageBoundaries) {
    struct Case {
        std::size_t packets, packet_size;
        std::vector<std::size_t> per_page;
    };
    const Case cases[] = {
        {1, 10, {1}},           {50, 10, {50}},          {51, 10, {50, 1}},
        {150, 10, {50, 50, 50}}, {50, 600, {50}},        {41, 1100, {41}},  // 5 lacing values each
        {42, 1100, {41, 1}},    {83, 1100, {41, 41, 1}}, {14, 4000, {13, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.packets << " packets of " << c.packet_size);
        const std::vector<Bytes> packets(c.packets, Bytes(c.packet_size, 0x5A));
        const auto pages = read_pages(mux_ogg_opus(packets, c.packets * 320 - 100, 104));
        ASSERT_EQ(pages.size(), c.per_page.size() + 2);
        std::size_t before = 0;
        for (std::size_t i = 0; i < c.per_page.size(); ++i) {
            const auto& page = pages[i + 2];
            const bool last = i + 1 == c.per_page.size();
            EXPECT_EQ(page.packets.size(), c.per_page[i]);
            EXPECT_EQ(page.sequence, i + 2);
            EXPECT_EQ(page.type, last ? 4 : 0);
            before += c.per_page[i];
            EXPECT_EQ(page.granule, last ? (c.packets * 320 - 100 + 104) * 3 : before * 960);
            EXPECT_TRUE(page.crc_ok);
        }
    }
}

TEST(OggOpus, WhatIsNotARecording) {
    test::ScopedDataDir data;
    const auto log = [&] { return read_file(data.file("tolvek.log")).value_or(""); };
    EXPECT_FALSE(encode_ogg_opus(Bytes(19, 0)).has_value());
    Bytes no_data = wav_bytes(Bytes(100, 1), 16000);
    no_data[36] = 'l', no_data[37] = 'i', no_data[38] = 's', no_data[39] = 't';
    EXPECT_FALSE(encode_ogg_opus(no_data).has_value());
    EXPECT_EQ(log(), "") << "sent as WAV without a word";

    EXPECT_FALSE(encode_ogg_opus(wav_bytes({}, 16000)).has_value());
    EXPECT_NE(log().find(" Opus-Kodierung gescheitert, sende WAV\n"), std::string::npos);
}

TEST(OggOpus, ChunkWalk) {
    // A LIST chunk of odd size before the data chunk, and a data size beyond the image.
    Bytes wav = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 3, 0, 0, 0,
                 'a', 'b', 'c', 0, 'd', 'a', 't', 'a', 0xFF, 0xFF, 0, 0, 1, 2, 3, 4, 5};
    const auto samples = wav_samples(wav);
    ASSERT_TRUE(samples.has_value());
    EXPECT_EQ(Bytes(samples->begin(), samples->end()), (Bytes {1, 2, 3, 4}));
}

// The stream as the encoder made it before it learnt to encode while recording: every sample,
// zero-padded to whole frames past the look-ahead, through one libopus encoder, then muxed.
Bytes whole_recording_stream(std::span<const std::uint8_t> samples) {
    const std::size_t s = samples.size() / 2;
    int error = 0;
    OpusEncoder* e = opus_encoder_create(16000, 1, OPUS_APPLICATION_VOIP, &error);
    opus_encoder_ctl(e, OPUS_SET_BITRATE(32000));
    opus_encoder_ctl(e, OPUS_SET_VBR(1));
    opus_encoder_ctl(e, OPUS_SET_COMPLEXITY(5));
    opus_int32 l = 0;
    opus_encoder_ctl(e, OPUS_GET_LOOKAHEAD(&l));
    const std::size_t frames = (s + static_cast<std::size_t>(l) + 319) / 320;
    std::vector<opus_int16> pcm(frames * 320, 0);
    for (std::size_t i = 0; i < s; ++i) pcm[i] = static_cast<opus_int16>(samples[2 * i] | samples[2 * i + 1] << 8);
    std::vector<Bytes> packets;
    unsigned char packet[4000];
    for (std::size_t i = 0; i < frames; ++i) {
        const int n = opus_encode(e, pcm.data() + i * 320, 320, packet, 4000);
        EXPECT_GT(n, 0);
        packets.emplace_back(packet, packet + n);
    }
    opus_encoder_destroy(e);
    return mux_ogg_opus(packets, s, static_cast<std::uint64_t>(l));
}

// Encoded while the recording grows, in whatever pieces the device reports, the stream is the
// one encoded from the whole recording afterwards: recordings ending on a frame, mid-frame, on
// an odd byte, shorter than one frame, shorter than the look-ahead.
TEST(OpusStream, AnyPiecesGiveTheWholeRecordingsStream) {
    struct Case {
        std::size_t samples;
        std::vector<std::size_t> reported;  // byte counts the device reports, in order
    };
    const Case cases[] = {
        {16000 * 3, {640, 641, 6400, 6400, 32000, 96000}},
        {16000 * 3 + 7, {1, 3, 999, 50000, 50001, 90000}},
        {16000 + 320, {32000}},
        {319, {100, 600}},
        {50, {}},
        {16000 * 2, {0, 0, 64000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.samples);
        const Bytes wav = speech_wav(c.samples);
        const auto samples = *wav_samples(wav);
        OpusStream stream;
        for (const std::size_t n : c.reported) stream.advance(samples.first(std::min(n, samples.size())));
        EXPECT_EQ(stream.encoded_frames(), std::min(c.reported.empty() ? 0 : c.reported.back(), samples.size()) / 640);
        const auto finished = stream.finish(samples);
        ASSERT_TRUE(finished.has_value());
        const Bytes expected = whole_recording_stream(samples);
        EXPECT_EQ(finished->bytes, expected);
        EXPECT_EQ(finished->duration_ms, c.samples * 1000 / 16000);
        EXPECT_EQ(encode_ogg_opus(wav)->bytes, expected);
    }
}

// Samples encoded early that are not the start of the final recording (rewritten by a driver,
// the recording replaced, the final one shorter) are encoded again from the final samples.
TEST(OpusStream, EarlySamplesThatChangedAreEncodedAgain) {
    const Bytes wav = speech_wav(16000 * 2);
    const auto samples = *wav_samples(wav);
    Bytes rewritten(samples.begin(), samples.end());
    rewritten[1000] ^= 0x40;
    OpusStream changed;
    changed.advance(rewritten);
    EXPECT_EQ(changed.finish(samples)->bytes, whole_recording_stream(samples));
    OpusStream shorter;
    shorter.advance(samples);
    const auto cut = samples.first(16000);
    EXPECT_EQ(shorter.finish(cut)->bytes, whole_recording_stream(cut));
    OpusStream empty;
    empty.advance(samples);
    EXPECT_FALSE(empty.finish({}).has_value());
}

// The live encoder on its own thread keeps up with a recording written piece by piece while it
// reads, and its stream is the whole recording's.
TEST(OpusStream, LiveEncoderFollowsAGrowingRecording) {
    const Bytes wav = speech_wav(16000 * 4 + 77);
    const auto samples = *wav_samples(wav);
    Bytes buffer(samples.size(), 0);
    std::mutex mutex;
    std::condition_variable read;
    const std::size_t half = samples.size() / 2;
    std::size_t written = 0;
    bool read_half = false;
    LiveOpus live([&]() -> std::span<const std::uint8_t> {
        std::lock_guard<std::mutex> lock(mutex);
        if (written >= half) read_half = true;
        read.notify_all();
        return std::span<const std::uint8_t>(buffer).first(written);
    });
    // Half the recording, then wait until the encoder has read it, then the rest.
    for (std::size_t at = 0; at < samples.size(); at += 3200) {
        std::unique_lock<std::mutex> lock(mutex);
        const std::size_t n = std::min<std::size_t>(3200, samples.size() - at);
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(at), n, buffer.begin() + static_cast<std::ptrdiff_t>(at));
        written = at + n;
        if (written >= half) read.wait(lock, [&] { return read_half; });
    }
    const std::shared_ptr<OpusStream> stream = live.stop();
    ASSERT_TRUE(stream);
    EXPECT_GE(stream->encoded_frames(), half / 640) << "half of it was encoded while recording";
    EXPECT_EQ(stream->finish(buffer)->bytes, whole_recording_stream(samples));
}

TEST(OggOpus, TestSwitchHalvesTheStream) {
    Bytes ogg(10001, 7);
    apply_test_halving(ogg);
    EXPECT_EQ(ogg.size(), 10001u) << "without the variable nothing changes";
    test::set_env("TOLVEK_TEST_OPUS_HALB", "");
    apply_test_halving(ogg);
    test::set_env("TOLVEK_TEST_OPUS_HALB", std::nullopt);
    EXPECT_EQ(ogg.size(), 5000u);
}

#ifndef _WIN32
// The stream as the standard tools read it: opusinfo accepts it and opusdec returns exactly the
// recorded samples after trimming the pre-skip and the end by the granule position.
TEST(OggOpus, ConformsToTheStandardTools) {
    test::ScopedDataDir data;
    for (std::size_t seconds : {1u, 10u, 598u}) {
        SCOPED_TRACE(seconds);
        const std::size_t s = seconds * 16000 + 123;
        const auto ogg = encode_ogg_opus(speech_wav(s));
        ASSERT_TRUE(ogg.has_value());
        const std::string file = path_join(data.dir(), "test.opus");
        create_directories(data.dir());
        ASSERT_TRUE(write_file_flushed(file, std::string(ogg->bytes.begin(), ogg->bytes.end())));
        // Quoted for the shell: the test folder's name has a space in it.
        const std::string info = "opusinfo '" + file + "' > '" + file + ".info' 2>&1";
        EXPECT_EQ(std::system(info.c_str()), 0) << read_file(file + ".info").value_or("");
        const std::string text = read_file(file + ".info").value_or("");
        EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
        EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
        for (int rate : {16000, 48000}) {
            const std::string out = file + ".raw";
            const std::string dec = "opusdec --quiet --rate " + std::to_string(rate) + " '" + file + "' '" + out + "'";
            ASSERT_EQ(std::system(dec.c_str()), 0);
            EXPECT_EQ(file_size(out), s * 2 * (rate / 16000)) << rate;
        }
    }
}
#endif

}  // namespace
}  // namespace tolvek
