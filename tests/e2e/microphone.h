// The virtual microphone of the Wine harness (run-in-wine --microphone): a feeder plays the
// fixtures in its control folder on request, in real time.
#pragma once

#include <chrono>
#include <string>

#include "fake_tray.h"
#include "util/platform.h"

namespace tolvek::test {

// The feeder's control folder, or empty without a virtual microphone.
inline std::string mic_dir() { return get_env("TOLVEK_TEST_MIC").value_or(""); }

// Asks the feeder to play a fixture (or "silence:SECONDS"); returns the number its done
// marker will carry.
inline int play(const std::string& name) {
    static int played = 0;
    write_file_flushed(path_join(mic_dir(), "request.tmp"), name);
    replace_file(path_join(mic_dir(), "request.tmp"), path_join(mic_dir(), "request"));
    return ++played;
}

// Pumps messages until the feeder has played request `number`.
inline bool wait_played(int number) {
    return pump_until([&] {
        return read_file(path_join(mic_dir(), "done")).value_or("") == std::to_string(number);
    }, std::chrono::seconds(30));
}

}  // namespace tolvek::test
