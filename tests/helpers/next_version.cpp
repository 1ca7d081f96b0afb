// Links into a build of Tolvek that reports another version (TOLVEK_TEST_VERSION): the update
// tests offer it as the download and watch it install itself over the running 0.5.24, or be
// refused.
#include "build_config.h"

namespace tolvek {

extern const char kVersion[] = TOLVEK_TEST_VERSION;

}  // namespace tolvek
