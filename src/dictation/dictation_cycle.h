// The life of one dictation: start, worker, result on the UI thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace tolvek {

struct Credentials {
    std::string token;
    std::string firm;
};

// What the dictation worker posts back (0x8002).
struct TranscriptionOutcome {
    std::string result;  // the text (possibly empty) or an error message
    bool failed = false;
    std::optional<Credentials> refreshed;
    bool logged_out = false;
    float seconds = 0;
};

// UI thread. Windows build only.
void start_dictation();
void handle_result(std::unique_ptr<TranscriptionOutcome> outcome);

}  // namespace tolvek
