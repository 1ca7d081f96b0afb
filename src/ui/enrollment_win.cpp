#include "main/app_state.h"
#include "ui/dialogs.h"
#include "ui/enrollment.h"

namespace tolvek {

// Stand-ins until enrollment is built: enrolled means a stored token, and a code from a link
// is not applied.
bool ensure_enrolled() { return !lock_app_state()->settings.token.empty(); }
bool apply_code_from_link(const std::string&, bool, bool) { return false; }


// Stand-in until the company-code dialog is built: behaves as cancelled.
std::optional<std::string> ask_company_code(const std::string&, const std::string&) {
    return std::nullopt;
}

}  // namespace tolvek
