// Enrollment with a company code and the periodic hello.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "net/http.h"

namespace tolvek {

// What an accepted enrollment answers (defaults for missing or mistyped members).
struct Enrollment {
    std::string token;
    std::string firm;
    std::optional<std::string> latest;
    std::string audio = "wav";
};

// POST /v1/app/enroll with the code, the Windows edition and the version.
std::variant<Enrollment, ServiceError> enroll(const std::string& server, const std::string& code);

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

// One hello: takes the silent-recordings count, tells the service about this installation and
// reads its answer. Nothing for an automatic hello that failed (it stays silent).
std::optional<HelloOutcome> hello(const std::string& server, const std::string& token, bool manual);

// Windows build only: starts the hello worker (nothing without a token; a manual check then
// asks for the company code first).
void start_hello(bool manual);

}  // namespace tolvek
