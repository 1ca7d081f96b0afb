// Enrollment with a company code and the periodic hello.
#pragma once

namespace tolvek {

void start_hello(bool manual);

}  // namespace tolvek
