// Putting text where the cursor stands, and the recent dictations. Windows build only.
#pragma once

namespace tolvek {

void restore_clipboard();
// Remembers the last foreground window that belongs to another program.
void track_foreground();
void insert_recent(int index);

}  // namespace tolvek
