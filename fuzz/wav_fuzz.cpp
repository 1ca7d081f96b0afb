// A payload as any bytes: the samples found lie inside it and are whole; a short recording
// encoded while it grows gives the stream of the whole recording.
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
    return 0;
}
