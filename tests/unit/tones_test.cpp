#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "shell/tones.h"
#include "dictation/wav.h"

namespace tolvek {
namespace {

std::uint32_t u32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t u16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::int16_t sample(const Bytes& wav, std::size_t index) {
    return static_cast<std::int16_t>(u16(wav, 44 + 2 * index));
}

TEST(Wav, HeaderOfARecording) {
    const Bytes pcm(96000, 0x11);
    const Bytes wav = wav_bytes(pcm, 16000);
    ASSERT_EQ(wav.size(), 96044u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(u32(wav, 4), 96036u);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(wav, 16), 16u);
    EXPECT_EQ(u16(wav, 20), 1u);
    EXPECT_EQ(u16(wav, 22), 1u);
    EXPECT_EQ(u32(wav, 24), 16000u);
    EXPECT_EQ(u32(wav, 28), 32000u);
    EXPECT_EQ(u16(wav, 32), 2u);
    EXPECT_EQ(u16(wav, 34), 16u);
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(u32(wav, 40), 96000u);
    EXPECT_EQ(wav[44], 0x11);
    EXPECT_EQ(wav.back(), 0x11);
    EXPECT_EQ(wav_bytes({}, 22050).size(), 44u);
}

// Built piece by piece (as a finished capture is), the image is the same, and the source learns
// after each piece how much of it is done.
TEST(Wav, ByPiecesEqualsTheWholeImage) {
    for (const std::size_t length : {std::size_t {0}, std::size_t {6}, kWavPiece, 2 * kWavPiece + 1000}) {
        SCOPED_TRACE(length);
        Bytes pcm(length);
        for (std::size_t i = 0; i < length; ++i) pcm[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
        std::vector<std::size_t> reported;
        const Bytes wav = wav_by_pieces(pcm, 16000, [&](std::size_t copied) { reported.push_back(copied); });
        EXPECT_EQ(wav, wav_bytes(pcm, 16000));
        std::vector<std::size_t> expected;
        for (std::size_t done = 0; done < length;) expected.push_back(done = std::min(done + kWavPiece, length));
        EXPECT_EQ(reported, expected);
    }
}

TEST(Tones, FiveImagesWithTheirLengths) {
    const auto tones = synthesize_tones();
    // Samples per segment: d x 22050 / 1000, integer division.
    const std::size_t expected_samples[kToneCount] = {
        1543 + 1984, 1543 + 2425, 3087, 1543 + 1984 + 1543, 1984};
    for (int i = 0; i < kToneCount; ++i) {
        SCOPED_TRACE(i);
        const Bytes& wav = tones[i];
        ASSERT_EQ(wav.size(), 44 + 2 * expected_samples[i]);
        EXPECT_EQ(u32(wav, 24), 22050u);
        EXPECT_EQ(u32(wav, 40), 2 * expected_samples[i]);
        EXPECT_EQ(sample(wav, 0), 0) << "every segment starts from silence";
    }
}

TEST(Tones, ExactSamples) {
    const auto tones = synthesize_tones();
    // Tone 0, sample 30: t = 30/22050, envelope = (1 - 30/1543)^1.6 x 0.5, volume 0.16.
    const double t = 30.0 / 22050;
    const double expected = std::sin(2 * 3.141592653589793 * 784 * t) * std::pow(1 - 30.0 / 1543, 1.6) * 0.5 *
                            0.16 * 32767;
    EXPECT_EQ(sample(tones[0], 30), static_cast<std::int16_t>(expected));
    EXPECT_EQ(sample(tones[0], 30), 1033);
    // The second segment of tone 0 starts again with a zero envelope.
    EXPECT_EQ(sample(tones[0], 1543), 0);
    // Tone 2 at sample 100: full attack, 330 Hz, volume 0.12.
    EXPECT_EQ(sample(tones[2], 100), 79);
    for (std::size_t j = 1543; j < 1543 + 1984; ++j) {
        ASSERT_EQ(sample(tones[3], j), 0) << "the pause of the first warning, sample " << j;
    }
    EXPECT_NE(sample(tones[3], 1543 + 1984 + 30), 0);
}

TEST(Tones, NoToneOutsideTheFive) {
    EXPECT_TRUE(tone_samples(5).empty());
    EXPECT_TRUE(tone_samples(-1).empty());
}

}  // namespace
}  // namespace tolvek
