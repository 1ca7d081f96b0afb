// A service answer as any status and body: it is a JSON value or an error with a message the
// user can read (valid UTF-8, not empty); the Opus marker only where the transcription asks
// for it; the readers of the JSON members never fail.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "net/dictionary.h"
#include "net/http.h"
#include "net/transcription.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    tolvek::HttpResponse response;
    response.status = 100 + (data[0] | data[1] << 8) % 500;
    response.body.assign(reinterpret_cast<const char*>(data) + 2, size - 2);
    for (const bool opus : {false, true}) {
        const auto result = tolvek::interpret_json_response(response, opus);
        if (const auto* error = std::get_if<tolvek::ServiceError>(&result)) {
            FUZZ_CHECK(!error->message.empty());
            FUZZ_CHECK(tolvek::is_valid_utf8(error->message));
            if (!opus) FUZZ_CHECK(error->message.rfind(tolvek::kOpusMarker, 0) != 0);
            continue;
        }
        const tolvek::Json& json = std::get<tolvek::Json>(result);
        for (const std::string& term : tolvek::company_terms(json)) FUZZ_CHECK(tolvek::is_valid_utf8(term));
        const tolvek::ProcessingFacts facts = tolvek::read_processing_facts(json, opus, size);
        FUZZ_CHECK(tolvek::is_valid_utf8(facts.transfer_summary));
        FUZZ_CHECK(tolvek::is_valid_utf8(facts.engine_name));
    }
    return 0;
}
