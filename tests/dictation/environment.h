// One main window, tray stand-in and data folder for the whole test program, as Tolvek.exe
// has them; the dictation pipeline runs in this process with the real Win32 calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "e2e/fake_tray.h"
#include "e2e/input_helpers.h"
#include "unit/test_support.h"

namespace tolvek::test {

class DictationEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    static ScopedDataDir* data;
    static FakeTray* tray;
    // The integrity level the target window's process reports (medium unless a test says so;
    // nothing: it cannot be read).
    static inline std::optional<std::uint32_t> target_integrity = 0x2000;
};


// Puts plain text on the clipboard the way another program would.
inline void copy_plain(const std::u16string& text) {
    if (!OpenClipboard(nullptr)) {
        ADD_FAILURE() << "the clipboard could not be opened";
        return;
    }
    EmptyClipboard();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 2 * text.size() + 2);
    std::memcpy(GlobalLock(h), text.c_str(), 2 * text.size() + 2);
    GlobalUnlock(h);
    SetClipboardData(CF_UNICODETEXT, h);
    CloseClipboard();
}

// The tones play_sound handed on since the last call, oldest first.
std::vector<int> take_tones();

}  // namespace tolvek::test
