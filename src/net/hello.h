// Enrollment with a company code and the periodic hello.
#pragma once

#include <optional>
#include <string>

namespace tolvek {

// What the hello worker posts back (0x8003).
struct HelloOutcome {
    std::string region;
    std::string firm;   // may be empty
    std::string audio;  // may be empty
    std::optional<std::string> token;
    std::optional<std::string> offered_version;
    bool logged_out = false;
    bool manual = false;
    bool unreachable = false;  // only for a manual hello that did not reach the service
};

// Starts the hello worker (nothing without a token). Windows build only.
void start_hello(bool manual);

}  // namespace tolvek
