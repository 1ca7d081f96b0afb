// A payload as any bytes: the samples found lie inside it and are whole; a short recording
// encoded while it grows gives the stream of the whole recording, and its last page says how
// many samples it decodes to (the pre-skip of 312 and three 48 kHz samples per recorded one).
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/check.h"
#include "opus/ogg_opus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> wav(data, size);
    const auto samples = tolvek::wav_samples(wav);
    if (!samples) return 0;
    FUZZ_CHECK(samples->size() % 2 == 0);
    FUZZ_CHECK(samples->data() >= data && samples->data() + samples->size() <= data + size);
    if (samples->empty() || samples->size() > 6400) return 0;  // encoding is slow; 200 ms suffice
    const auto whole = tolvek::encode_ogg_opus(wav);
    FUZZ_CHECK(whole.has_value());
    tolvek::OpusStream stream;
    stream.advance(samples->first(samples->size() / 2));
    const auto live = stream.finish(*samples);
    FUZZ_CHECK(live.has_value() && live->bytes == whole->bytes);
    // Page by page to the last one: header, segment table, segments.
    const auto& ogg = whole->bytes;
    std::size_t page = 0, last = 0;
    while (page + 27 <= ogg.size()) {
        last = page;
        const std::size_t segments = ogg[page + 26];
        FUZZ_CHECK(page + 27 + segments <= ogg.size());
        std::size_t length = 27 + segments;
        for (std::size_t i = 0; i < segments; ++i) length += ogg[page + 27 + i];
        page += length;
    }
    FUZZ_CHECK(page == ogg.size());
    std::uint64_t granule = 0;
    for (int i = 7; i >= 0; --i) granule = granule << 8 | ogg[last + 6 + i];
    FUZZ_CHECK(granule == 312 + 3 * (samples->size() / 2));
    return 0;
}
