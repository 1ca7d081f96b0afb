#include <gtest/gtest.h>

#include "dictation/capture.h"
#include "base/dictation_values.h"
#include "dictation/recording.h"
#include "net/dictionary.h"
#include "util/text.h"

namespace tolvek {
namespace {

Bytes constant(std::size_t bytes, std::int16_t value) {
    Bytes out(bytes);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        out[i] = static_cast<std::uint8_t>(value);
        out[i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) >> 8);
    }
    return out;
}

TEST(Capture_Peak, WindowsOverRecordedData) {
    Bytes samples = constant(32000, 10);  // 1 s
    samples[2 * 100] = 0x00, samples[2 * 100 + 1] = 0x80;  // -32768 at 6.25 ms
    samples[2 * 15500] = 0xE8, samples[2 * 15500 + 1] = 0x03;  // 1000 at 968.75 ms
    EXPECT_EQ(peak_of(samples), 32768u);
    EXPECT_EQ(peak_of(constant(64, -32768)), 32768u);
    EXPECT_EQ(window_peak(samples, 0, 120), 0u) << "nothing recorded yet";
    EXPECT_EQ(window_peak(samples, 50 * 32, 120), 32768u) << "the first 50 ms, read from byte 0";
    EXPECT_EQ(window_peak(samples, 200, 50), 0u + 10u) << "up to the position only";
    EXPECT_EQ(window_peak(samples, 202, 50), 32768u);
    EXPECT_EQ(window_peak(samples, 32000, 50), 1000u);
    EXPECT_EQ(window_peak(samples, 32000 * 10, 50), 1000u) << "a position past the buffer";
    EXPECT_EQ(window_peak(samples, 31000, 10), 10u);
    EXPECT_EQ(peak_in(samples, 10, 10), 0u);
}

TEST(Capture_Position, SameBytesWhateverTheUnit) {
    EXPECT_EQ(position_in_bytes(PositionUnit::Bytes, 3200), 3200u);
    EXPECT_EQ(position_in_bytes(PositionUnit::Samples, 1600), 3200u);
    EXPECT_EQ(position_in_bytes(PositionUnit::Milliseconds, 100), 3200u);
    EXPECT_EQ(position_in_bytes(PositionUnit::Other, 100), 0u);
    EXPECT_EQ(recorded_length(kCaptureBufferBytes, 96001), 96000u);
    EXPECT_EQ(recorded_length(1000, 5000), 1000u);
}

TEST(Capture_Errors, GermanTextPerResult) {
    const std::string none = "Kein Mikrofon gefunden. Bitte ein Mikrofon anschließen.";
    EXPECT_EQ(capture_open_error(2), none);
    EXPECT_EQ(capture_open_error(6), none);
    EXPECT_EQ(capture_open_error(4), "Das Mikrofon ist gerade belegt.");
    for (unsigned code : {1u, 3u, 5u, 7u, 32u}) {
        EXPECT_EQ(capture_open_error(code),
                  "Mikrofon lässt sich nicht öffnen (Fehler " + std::to_string(code) +
                      "). Bitte in den Windows-Einstellungen unter Datenschutz den "
                      "Mikrofonzugriff für Desktop-Apps erlauben.");
    }
}

TEST(Recording_Verdict, Table) {
    struct Case {
        const char* name;
        float seconds;
        Bytes samples;
        bool test_payload;
        RecordingVerdict verdict;
    };
    const Case cases[] = {
        {"0.3 s loud", 0.3f, constant(9600, 20000), false, RecordingVerdict::TooShort},
        {"0.5 s with 5,998 bytes", 0.5f, constant(5998, 20000), false, RecordingVerdict::TooShort},
        {"0.5 s with 6,000 bytes", 0.5f, constant(6000, 20000), false, RecordingVerdict::Send},
        {"2 s, peak 199", 2.0f, constant(64000, 199), false, RecordingVerdict::Silent},
        {"2 s, peak 200", 2.0f, constant(64000, 200), false, RecordingVerdict::Send},
        {"all -200", 2.0f, constant(64000, -200), false, RecordingVerdict::Send},
        {"short and silent is short", 0.2f, constant(64000, 0), false, RecordingVerdict::TooShort},
        {"test payload after 0.1 s", 0.1f, constant(10, 0), true, RecordingVerdict::Send},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(judge_recording(c.seconds, c.samples, c.test_payload), c.verdict) << c.name;
    }
}

TEST(Recording_OpusFlag, ExactlyOpusAndCompress) {
    Settings s;
    s.audio = "opus";
    EXPECT_TRUE(opus_flag(s));
    s.compress = false;
    EXPECT_FALSE(opus_flag(s));
    s.compress = true;
    for (const char* audio : {"Opus", "OPUS", "opus ", "wav", ""}) {
        s.audio = audio;
        EXPECT_FALSE(opus_flag(s)) << audio;
    }
}

TEST(Recording_Seconds, WholeSeconds) {
    EXPECT_EQ(whole_seconds(2.9f), 2u);
    EXPECT_EQ(whole_seconds(-1.0f), 0u);
    EXPECT_EQ(whole_seconds(1e12f), 4294967295u);
}

TEST(Spellings, ReadTolerantly) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"CR LF and blanks", "Kestrom\r\n  ST-Nord \r\n\r\n\tMüller\u00A0", {"Kestrom", "ST-Nord", "Müller"}},
        {"byte-order mark", "\xEF\xBB\xBF" "eins\ndrei", {"eins", "drei"}},
        {"Latin-1", "M\xFCller\n", {"Müller"}},
        {"UTF-16 LE", std::string("\xFF\xFE" "a\0\n\0b\0", 8), {"a", "b"}},
        {"UTF-16 BE, odd last byte", std::string("\xFE\xFF\0x\0\n\0\xE4\0", 9), {"x", "ä"}},
        {"duplicates kept", "a\na\n", {"a", "a"}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_spellings(c.bytes), c.words) << c.name;
    EXPECT_EQ(spellings_prompt({"Kestrom", "ST-Nord"}), "Kestrom, ST-Nord");
    EXPECT_EQ(spellings_prompt({}), "");
}

TEST(Text_Trim, UnicodeWhiteSpace) {
    EXPECT_EQ(trim_unicode_space("\u3000 Hallo Welt\u2029\r\n"), "Hallo Welt");
    EXPECT_EQ(trim_unicode_space(" \u200B "), "\u200B") << "zero width space is not white space";
    EXPECT_EQ(trim_unicode_space("   "), "");
}

}  // namespace
}  // namespace tolvek
