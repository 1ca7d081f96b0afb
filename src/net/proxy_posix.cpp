#include "net/proxy.h"

namespace tolvek {

// The native test build has no Internet settings: every request goes directly.
ProxyResolver::Sources system_proxy_sources() { return {}; }

}  // namespace tolvek
