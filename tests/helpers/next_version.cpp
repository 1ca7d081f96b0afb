// Links into a second build of Tolvek that reports a newer version: the update tests offer it
// as the download and watch it install itself over the running 0.5.24.
#include "build_config.h"

namespace tolvek {

extern const char kVersion[] = "0.5.25";

}  // namespace tolvek
