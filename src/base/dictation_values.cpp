#include "base/dictation_values.h"

#include <cmath>

namespace tolvek {

std::optional<std::string> DictationValues::take_processing_region() {
    return latest.with([](LatestRequest& l) {
        auto region = std::move(l.processing_region);
        l.processing_region.reset();
        return region;
    });
}

DictationValues& dictation_values() {
    static DictationValues values;
    return values;
}

std::uint32_t whole_seconds(float seconds) {
    if (!(seconds > 0)) return 0;
    if (seconds >= 4294967295.0f) return 4294967295u;
    return static_cast<std::uint32_t>(std::trunc(seconds));
}

}  // namespace tolvek
