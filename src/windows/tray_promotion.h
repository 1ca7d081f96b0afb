// Keeping the fox visible in the taskbar instead of behind the overflow arrow.
#pragma once

namespace tolvek {

void promote_tray_icon();
void offer_taskbar_settings(bool later);

}  // namespace tolvek
