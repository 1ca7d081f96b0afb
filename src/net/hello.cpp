#include "net/hello.h"

#include "build_config.h"
#include "base/dictation_values.h"
#include "net/system_facts.h"

namespace tolvek {
namespace {

std::optional<std::string> string_member(const Json& v, const char* key) {
    if (!v.is_object()) return std::nullopt;
    const auto it = v.find(key);
    if (it == v.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

}  // namespace

std::variant<Enrollment, ServiceError> enroll(const std::string& server, const std::string& code) {
    const Json body = {{"code", code}, {"os", windows_edition()}, {"version", std::string(kVersion)}};
    auto result = call_with_fallback(server, [&](const std::string& base) { return post_enroll(base, body); });
    if (auto* error = std::get_if<ServiceError>(&result)) return *error;
    const Json& answer = std::get<Json>(result);
    Enrollment e;
    e.token = string_member(answer, "token").value_or("");
    // An answer without a usable token enrols nothing: every later request would fail.
    if (e.token.empty() || !fits_in_header(e.token)) return ServiceError {ServiceError::Failed, kUnexpectedAnswer};
    e.firm = string_member(answer, "firm").value_or("");
    e.latest = string_member(answer, "latest");
    e.audio = string_member(answer, "audio").value_or("wav");
    return e;
}

std::optional<HelloOutcome> hello(const std::string& server, const std::string& token, bool manual) {
    const std::uint32_t silent = dictation_values().silent_recordings.exchange(0);
    const Json body = {{"empty", silent}, {"mic", microphone_kind()}, {"os", windows_edition()},
                       {"version", std::string(kVersion)}};
    auto result = call_with_fallback(server, [&](const std::string& base) { return post_hello(base, token, body); });
    HelloOutcome outcome;
    outcome.manual = manual;
    if (const auto* error = std::get_if<ServiceError>(&result)) {
        if (error->kind == ServiceError::Rejected) {
            outcome.logged_out = true;
            return outcome;
        }
        if (!manual) return std::nullopt;
        outcome.unreachable = true;
        return outcome;
    }
    const Json& answer = std::get<Json>(result);
    outcome.region = string_member(answer, "region").value_or("");
    outcome.firm = string_member(answer, "firm").value_or("");
    outcome.token = string_member(answer, "token");
    // An empty token is no new token (it would log the user out), nor one that could not stand
    // in a header.
    if (outcome.token && (outcome.token->empty() || !fits_in_header(*outcome.token))) outcome.token.reset();
    outcome.offered_version = string_member(answer, "latest");
    outcome.audio = string_member(answer, "audio").value_or("wav");
    return outcome;
}

}  // namespace tolvek
