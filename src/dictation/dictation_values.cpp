#include "dictation/dictation_values.h"

#include <cmath>

namespace tolvek {

void DictationValues::set_processing_start(std::optional<Instant> at) {
    std::lock_guard<std::mutex> lock(mutex_);
    processing_start_ = at;
}
std::optional<DictationValues::Instant> DictationValues::processing_start() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return processing_start_;
}
void DictationValues::set_wait_start(std::optional<Instant> at) {
    std::lock_guard<std::mutex> lock(mutex_);
    wait_start_ = at;
}
std::optional<DictationValues::Instant> DictationValues::wait_start() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wait_start_;
}
void DictationValues::set_upload_start(std::optional<Instant> at) {
    std::lock_guard<std::mutex> lock(mutex_);
    upload_start_ = at;
}
std::optional<DictationValues::Instant> DictationValues::upload_start() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return upload_start_;
}
void DictationValues::set_latest(LatestRequest latest) {
    std::lock_guard<std::mutex> lock(mutex_);
    latest_ = std::move(latest);
}
LatestRequest DictationValues::latest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}
std::optional<std::string> DictationValues::take_processing_region() {
    std::lock_guard<std::mutex> lock(mutex_);
    auto region = std::move(latest_.processing_region);
    latest_.processing_region.reset();
    return region;
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
