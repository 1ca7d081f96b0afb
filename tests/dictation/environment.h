// One main window, tray stand-in and data folder for the whole test program, as Tolvek.exe
// has them; the dictation pipeline runs in this process with the real Win32 calls.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "e2e/fake_tray.h"
#include "unit/test_support.h"

namespace tolvek::test {

class DictationEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    static ScopedDataDir* data;
    static FakeTray* tray;
};

// The tones play_sound handed on since the last call, oldest first.
std::vector<int> take_tones();

}  // namespace tolvek::test
