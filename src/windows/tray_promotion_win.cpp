#include "windows/tray_promotion.h"

namespace tolvek {

// Stand-ins until the promotion is built.
void promote_tray_icon() {}
void offer_taskbar_settings(bool) {}

}  // namespace tolvek
