#include <windows.h>

#include <cstring>

#include "base/log.h"
#include "base/messages.h"
#include "base/notices.h"
#include "dictation/insertion.h"
#include "dictation/integrity.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

HWND main_window() { return lock_app_state()->main_window; }

// Opens the clipboard for the main window: 10 attempts, 30 ms apart.
bool open_clipboard(HWND owner) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (OpenClipboard(owner)) return true;
        if (attempt < 9) Sleep(30);
    }
    return false;
}

std::optional<std::u16string> clipboard_text(HWND owner) {
    if (!OpenClipboard(owner)) return std::nullopt;
    std::optional<std::u16string> text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* units = static_cast<const char16_t*>(GlobalLock(data))) {
            const SIZE_T capacity = GlobalSize(data) / sizeof(char16_t);
            std::size_t n = 0;
            while (n < capacity && units[n] != 0) ++n;
            text = std::u16string(units, n);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

bool modifier_held() {
    for (int vk : {VK_CONTROL, VK_MENU, VK_SHIFT, VK_LWIN, VK_RWIN}) {
        if (GetAsyncKeyState(vk) & 0x8000) return true;
    }
    return false;
}

}  // namespace

bool set_clipboard_text(const std::u16string& text) {
    const HWND owner = main_window();
    if (!open_clipboard(owner)) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 2 * text.size() + 2);
    void* target = memory ? GlobalLock(memory) : nullptr;
    if (!target) {
        if (memory) GlobalFree(memory);
        CloseClipboard();
        return false;
    }
    std::memcpy(target, text.c_str(), 2 * text.size() + 2);
    GlobalUnlock(memory);
    if (!SetClipboardData(CF_UNICODETEXT, memory)) {
        GlobalFree(memory);
        CloseClipboard();
        return false;
    }
    // Keeps dictated text out of clipboard history, the cloud clipboard and clipboard monitors.
    for (const wchar_t* name : {L"ExcludeClipboardContentFromMonitorProcessing",
                                L"CanIncludeInClipboardHistory", L"CanUploadToCloudClipboard"}) {
        const UINT format = RegisterClipboardFormatW(name);
        HGLOBAL marker = format ? GlobalAlloc(GMEM_MOVEABLE, 4) : nullptr;
        void* value = marker ? GlobalLock(marker) : nullptr;
        if (!value) {
            if (marker) GlobalFree(marker);
            continue;
        }
        std::memset(value, 0, 4);
        GlobalUnlock(marker);
        if (!SetClipboardData(format, marker)) GlobalFree(marker);
    }
    CloseClipboard();
    return true;
}

PasteOutcome paste_text(const std::string& text) {
    for (int check = 0; check < 50 && modifier_held(); ++check) Sleep(20);
    const HWND owner = main_window();
    std::optional<std::u16string> saved = clipboard_text(owner);
    if (!set_clipboard_text(utf8_to_utf16(text))) return PasteOutcome::ClipboardUnavailable;
    const DWORD sequence = GetClipboardSequenceNumber();
    // Into a window of higher rights the keys would be dropped without a word and the restored
    // clipboard would take the text with it: it stays on the clipboard for the user to paste.
    if (!keys_reach(window_integrity_level(GetForegroundWindow()), own_integrity_level())) {
        return PasteOutcome::LeftOnClipboard;
    }
    Sleep(40);

    INPUT inputs[4] {};
    const WORD keys[4] = {VK_CONTROL, 'V', 'V', VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    if (SendInput(4, inputs, sizeof(INPUT)) != 4) return PasteOutcome::LeftOnClipboard;
    {
        auto app = lock_app_state();
        app->saved_clipboard = std::move(saved);
        app->clipboard_sequence = sequence;
    }
    SetTimer(owner, kTimerClipboard, kClipboardRestoreMs, nullptr);
    return PasteOutcome::Inserted;
}

void restore_clipboard() {
    std::optional<std::u16string> saved;
    DWORD ours;
    HWND owner;
    {
        auto app = lock_app_state();
        owner = app->main_window;
        saved = std::move(app->saved_clipboard);
        app->saved_clipboard.reset();
        ours = app->clipboard_sequence;
    }
    KillTimer(owner, kTimerClipboard);
    // Something the user copied after the paste is theirs: it stays.
    if (saved && GetClipboardSequenceNumber() == ours) set_clipboard_text(*saved);
}

void track_foreground() {
    // Most ticks find the same window as the last one: then nothing else is asked of the system.
    static HWND last_seen = nullptr;
    const HWND foreground = GetForegroundWindow();
    if (!foreground || foreground == last_seen) return;
    last_seen = foreground;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    if (process == GetCurrentProcessId()) return;
    wchar_t name[65] {};
    GetClassNameW(foreground, name, 65);
    if (is_excluded_target_class(narrow(name))) return;
    lock_app_state()->foreground_before_menu = foreground;
}

PasteOutcome insert_before_menu(const std::string& text, bool from_recent) {
    const HWND target = lock_app_state()->foreground_before_menu;
    const bool usable = target && IsWindow(target);
    const bool switched = usable && SetForegroundWindow(target);
    Sleep(150);
    if (switched && GetForegroundWindow() == target) {
        const PasteOutcome pasted = paste_text(text);
        if (pasted != PasteOutcome::Inserted && from_recent) log("Einfügen aus „Letzte Diktate“ nicht möglich");
        return pasted;
    }
    if (!set_clipboard_text(utf8_to_utf16(text))) return PasteOutcome::ClipboardUnavailable;
    if (from_recent) {
        show_balloon("Tolvek", kOnClipboardText, false);
        log("Verlauf in die Zwischenablage gelegt (kein Zielfenster)");
    }
    return PasteOutcome::LeftOnClipboard;
}

void report_paste(PasteOutcome pasted) {
    if (pasted == PasteOutcome::LeftOnClipboard) {
        log("Einfügen nicht möglich: Text liegt in der Zwischenablage");
        show_balloon("Tolvek", kOnClipboardText, false);
    } else if (pasted == PasteOutcome::ClipboardUnavailable) {
        // Neither the target nor the clipboard got the text; it stays in the recent dictations.
        log("Einfügen nicht möglich: Zwischenablage belegt");
        show_balloon("Tolvek",
                     "Die Zwischenablage ist gerade belegt. Der Text steht unter „Letzte Diktate“ "
                     "im Fuchs-Menü.",
                     true);
    }
}

void insert_recent(const std::vector<RecentDictation>& entries, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return;
    insert_before_menu(entries[static_cast<std::size_t>(index)].text + " ", true);
}

}  // namespace tolvek
