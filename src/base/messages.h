// The main window's own messages and timers, and the helper that hands a worker's record over.
#pragma once

#include <windows.h>

#include <memory>

namespace tolvek {

// Timers of the main window.
enum TimerId : UINT_PTR {
    kTimerReleasePoll = 1,     // hold mode: is the talk key still down?
    kTimerRecordingLimit = 2,  // the longest recording
    kTimerClipboard = 3,       // restore the clipboard after a paste
    kTimerHello = 4,           // periodic hello
    kTimerModifierPoll = 5,    // modifier-only talk key
    kTimerUpdateRetry = 6,     // start a downloaded update once no dictation runs
    kTimerBusy = 7,            // tray animation while processing
    kTimerForeground = 8,      // remember the last foreground window of another program
    kTimerOverlay = 9,         // overlay level and countdown
};
inline constexpr UINT kReleasePollMs = 30;
// The dictated text is put on the clipboard to be rendered when it is read: the user's clipboard
// comes back this long after the target program read it, never before; a target that has not
// read it after the limit leaves the dictated text on the clipboard, and nothing is restored.
inline constexpr UINT kClipboardRestoreAfterReadMs = 500;
inline constexpr UINT kClipboardReadLimitMs = 10000;
inline constexpr UINT kHelloPeriodMs = 14400000;
inline constexpr UINT kModifierPollMs = 40;
// While no key of a modifier-only talk key is down and nothing is being dictated, the poll rests
// at this pace; a keyboard hook wakes it at once when a modifier goes down. The rest pace only
// matters for a key-down the hook does not see (input to an elevated window, where a paste
// would not land either).
inline constexpr UINT kModifierRestMs = 1000;
inline constexpr UINT kUpdateRetryMs = 15000;
inline constexpr UINT kBusyPeriodMs = 50;
inline constexpr UINT kForegroundPeriodMs = 300;
inline constexpr UINT kOverlayPeriodMs = 40;

inline constexpr UINT kMsgTray = 0x8001;           // tray notification, mouse message in lParam
inline constexpr UINT kMsgTranscription = 0x8002;  // DictationResult*
inline constexpr UINT kMsgHello = 0x8003;          // HelloOutcome*
inline constexpr UINT kMsgDownload = 0x8004;       // DownloadOutcome*, wParam = manual
inline constexpr UINT kMsgHandOff = 0x8005;        // std::string* hand-off text
inline constexpr UINT kMsgModifierDown = 0x8006;   // the keyboard hook saw a modifier go down
inline constexpr ULONG_PTR kHandOffMarker = 0xF1C0;
// Start and finish a dictation as the talk key does, and run a menu command (wParam) as if it
// was chosen from the menu; for tests only (taken only when the program was started with
// TOLVEK_TEST_HOOKS set). Menu commands otherwise come only from the menu itself: WM_COMMAND,
// which any program can post, is not taken.
inline constexpr UINT kMsgStartDictation = 0x8010;
inline constexpr UINT kMsgFinishRecording = 0x8011;
inline constexpr UINT kMsgMenuCommand = 0x8012;
// Takes the keyboard hook away behind the talk key's back, as the system does with a slow one.
inline constexpr UINT kMsgDropKeyboardHook = 0x8013;

// Any program on the desktop can post to our window, and a made-up pointer must never be
// taken for a record. Each record posted is listed with its message until the window takes it;
// the window takes only what is listed.
void list_record(UINT msg, const void* record);
bool unlist_record(UINT msg, const void* record);

// Posts the record by pointer; the receiver owns it from then on. When the post fails the
// record is freed here, so it is never lost and never leaked.
template <class T>
bool post_record(HWND window, UINT msg, WPARAM wparam, std::unique_ptr<T> record) {
    list_record(msg, record.get());
    if (!PostMessageW(window, msg, wparam, reinterpret_cast<LPARAM>(record.get()))) {
        unlist_record(msg, record.get());
        return false;
    }
    record.release();
    return true;
}

// The receiving side: takes ownership at once, or gives nothing when the message did not carry
// a record that this program posted with it and that was not taken yet.
template <class T>
std::unique_ptr<T> take_record(UINT msg, LPARAM lparam) {
    T* record = reinterpret_cast<T*>(lparam);
    if (!record || !unlist_record(msg, record)) return nullptr;
    return std::unique_ptr<T>(record);
}

}  // namespace tolvek
