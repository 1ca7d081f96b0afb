// The one process-wide record of the running program, behind one mutex. Filled once during
// start-up; every access before that is a programming error and ends the program.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/settings.h"

#ifdef _WIN32
#include <windows.h>
#else
// The native test build has no windows; the handle fields keep their shape.
using HWND = void*;
using HICON = void*;
using HBITMAP = void*;
using UINT = unsigned int;
#endif

namespace tolvek {

struct Capture;        // the running recording, owned by the capture module
struct PendingUpdate;  // a downloaded update waiting to be applied, owned by the update module

struct RecentDictation {
    std::string time;  // "hh:mm"
    std::string text;
};

using Instant = std::chrono::steady_clock::time_point;

struct AppState {
    Settings settings;
    std::array<HICON, 6> busy_icons {};
    std::vector<RecentDictation> recent;  // newest first, at most 10
    std::shared_ptr<Capture> capture;
    // The user's clipboard from before a paste: its text, and every copyable format (format id
    // and bytes) when it held more than text.
    std::optional<std::u16string> saved_clipboard;
    std::vector<std::pair<std::uint32_t, std::string>> saved_formats;
    // The clipboard's sequence number right after Tolvek put the dictated text there.
    std::uint32_t clipboard_sequence = 0;
    std::optional<std::string> offered_version;
    std::optional<std::string> announced_version;
    std::shared_ptr<PendingUpdate> pending_update;
    // The downloaded update was started and is about to end this copy: no dictation starts any
    // more (it would be cut off without a word).
    bool update_started = false;
    std::optional<Instant> recording_start;  // the running recording began
    std::optional<Instant> last_voice;       // the overlay tick last heard speech
    HWND main_window = nullptr;
    HWND overlay_window = nullptr;
    HICON idle_icon = nullptr;
    HICON recording_icon = nullptr;
    unsigned busy_tick = 0;
    HWND foreground_before_menu = nullptr;
    HBITMAP badge_ears_up = nullptr;
    HBITMAP badge_ears_folded = nullptr;
    UINT taskbar_created_msg = 0;
    std::uint8_t phase = 0;  // 0 idle, 1 recording, 2 processing
    std::uint8_t countdown_stage = 0;
};

// Holds the application-state mutex for its lifetime. Copy values in or out and let it go:
// never keep it across a window call, dialog, sound, balloon or network call.
class AppStateLock {
public:
    AppStateLock();
    AppStateLock(const AppStateLock&) = delete;
    AppStateLock& operator=(const AppStateLock&) = delete;
    AppState* operator->() const { return state_; }
    AppState& operator*() const { return *state_; }

private:
    std::unique_lock<std::mutex> lock_;
    AppState* state_;
};

inline AppStateLock lock_app_state() { return AppStateLock(); }

// Start-up fills the state exactly once.
void init_app_state(AppState state);
// Whether start-up has filled the state (window messages can arrive before that).
bool app_state_ready();

// Process-wide flags, written by the start-up before any other thread exists.
struct ProcessFlags {
    bool quiet = false;
    bool store_install = false;
    // Started by a test (TOLVEK_TEST_HOOKS set): only then are the test-only messages and
    // variables that could start the microphone or change limits accepted.
    bool test_hooks = false;
};
const ProcessFlags& process_flags();
void set_process_flags(ProcessFlags flags);

}  // namespace tolvek
