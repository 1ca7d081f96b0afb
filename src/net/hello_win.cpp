#include "net/hello.h"

namespace tolvek {

// Stand-in until the hello is built: no request is sent.
void start_hello(bool) {}

}  // namespace tolvek
