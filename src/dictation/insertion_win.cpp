#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// The dictated text while it is offered on the clipboard for rendering, the process it was
// pasted into, and whether that process has read it. UI thread only.
struct PendingPaste {
    std::u16string text;
    DWORD target_process = 0;
    bool read_by_target = false;
};
std::optional<PendingPaste> g_pending;

constexpr const wchar_t* kMarkerFormats[] = {L"ExcludeClipboardContentFromMonitorProcessing",
                                             L"CanIncludeInClipboardHistory", L"CanUploadToCloudClipboard"};

struct SavedClipboard {
    std::optional<std::u16string> text;
    std::vector<std::pair<std::uint32_t, std::string>> formats;  // when it held more than text
};

std::optional<std::u16string> open_clipboard_text() {
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
    return text;
}

// Handles that are not plain memory (GlobalSize would misread them).
bool is_handle_format(UINT id) {
    return id == CF_BITMAP || id == CF_METAFILEPICT || id == CF_PALETTE || id == CF_ENHMETAFILE ||
           id == CF_OWNERDISPLAY || id == CF_DSPBITMAP || id == CF_DSPMETAFILEPICT || id == CF_DSPENHMETAFILE ||
           (id >= CF_PRIVATEFIRST && id <= CF_GDIOBJLAST);
}

bool is_marker_format(UINT id) {
    for (const wchar_t* name : kMarkerFormats) {
        if (id == RegisterClipboardFormatW(name)) return true;
    }
    return false;
}

// A bitmap handle as the bytes of a DIB (header and 32-bit rows), for a clipboard that offers a
// bitmap but no DIB.
std::optional<std::string> bitmap_as_dib(HBITMAP bitmap) {
    BITMAP info {};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return std::nullopt;
    }
    BITMAPINFOHEADER header {};
    header.biSize = sizeof header;
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    const std::size_t rows = static_cast<std::size_t>(info.bmWidth) * 4 * static_cast<std::size_t>(info.bmHeight);
    if (rows > kClipboardSaveCap) return std::nullopt;  // the same cap as for every other format
    std::string bytes(sizeof header + rows, '\0');
    std::memcpy(bytes.data(), &header, sizeof header);
    const HDC screen = GetDC(nullptr);
    const int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), bytes.data() + sizeof header,
                                reinterpret_cast<BITMAPINFO*>(bytes.data()), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != info.bmHeight) return std::nullopt;
    return bytes;
}

// The user's clipboard before a paste: its text, and when it holds more than text (a screenshot,
// copied files, formatted text) every format whose data can be copied, up to the cap.
SavedClipboard save_clipboard(HWND owner) {
    SavedClipboard saved;
    if (!OpenClipboard(owner)) return saved;
    saved.text = open_clipboard_text();
    std::vector<ClipboardFormat> formats;
    bool dib = false, bitmap = false;
    for (UINT id = EnumClipboardFormats(0); id != 0; id = EnumClipboardFormats(id)) {
        if (is_marker_format(id)) continue;  // put back with every restore anyway
        dib = dib || id == CF_DIB;
        bitmap = bitmap || id == CF_BITMAP;
        ClipboardFormat format {id, false, 0};
        if (!is_handle_format(id)) {
            if (HANDLE data = GetClipboardData(id)) {
                format.size = GlobalSize(data);
                format.memory = format.size > 0;
            }
        }
        formats.push_back(format);
    }
    const ClipboardSave kind = clipboard_save_kind(formats, kClipboardSaveCap);
    if (kind == ClipboardSave::AllFormats) {
        for (const ClipboardFormat& format : formats) {
            if (!clipboard_format_copied(format)) continue;
            HANDLE data = GetClipboardData(format.id);
            const char* bytes = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
            if (!bytes) continue;
            saved.formats.emplace_back(format.id, std::string(bytes, GlobalSize(data)));
            GlobalUnlock(data);
        }
        if (bitmap && !dib) {
            if (auto bytes = bitmap_as_dib(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP)))) {
                saved.formats.emplace_back(CF_DIB, std::move(*bytes));
            }
        }
    }
    CloseClipboard();
    if (kind == ClipboardSave::TooLarge) log("Zwischenablage zu groß: nur ihr Text wird wiederhergestellt");
    return saved;
}

// Puts a copy of the bytes on the open clipboard under the format; false when it could not.
bool put_on_clipboard(UINT format, const void* bytes, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size == 0 ? 1 : size);
    void* target = memory ? GlobalLock(memory) : nullptr;
    if (!target) {
        if (memory) GlobalFree(memory);
        return false;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(memory);
    if (!SetClipboardData(format, memory)) {
        GlobalFree(memory);
        return false;
    }
    return true;
}

// Keeps dictated (and restored) content out of clipboard history, the cloud clipboard and
// clipboard monitors.
void put_markers() {
    const std::uint32_t zero = 0;
    for (const wchar_t* name : kMarkerFormats) {
        if (const UINT format = RegisterClipboardFormatW(name)) put_on_clipboard(format, &zero, 4);
    }
}

void restore_formats(HWND owner, const std::vector<std::pair<std::uint32_t, std::string>>& formats) {
    if (!open_clipboard(owner)) return;
    EmptyClipboard();
    for (const auto& [format, bytes] : formats) put_on_clipboard(format, bytes.data(), bytes.size());
    put_markers();
    CloseClipboard();
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
    if (!put_on_clipboard(CF_UNICODETEXT, text.c_str(), 2 * text.size() + 2)) {
        CloseClipboard();
        return false;
    }
    put_markers();
    CloseClipboard();
    return true;
}

namespace {

// Offers the text on the clipboard, rendered only when a program reads it: the read tells when
// the target has the text (and by whom), so the user's clipboard comes back after that.
bool offer_dictation(HWND owner, const std::u16string& text, DWORD target_process) {
    if (!open_clipboard(owner)) return false;
    EmptyClipboard();  // the previous offer ends here (WM_DESTROYCLIPBOARD)
    g_pending = PendingPaste {text, target_process, false};
    // A request for rendering later answers NULL even when it succeeds: the format tells.
    SetClipboardData(CF_UNICODETEXT, nullptr);
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        // Without rendering on request the text goes on at once (the read then cannot be seen,
        // and the restore waits for the limit).
        g_pending.reset();
        if (!put_on_clipboard(CF_UNICODETEXT, text.c_str(), 2 * text.size() + 2)) {
            CloseClipboard();
            return false;
        }
    }
    put_markers();
    CloseClipboard();
    return true;
}

}  // namespace

void render_dictation(unsigned format) {
    if (format != CF_UNICODETEXT || !g_pending) return;
    put_on_clipboard(CF_UNICODETEXT, g_pending->text.c_str(), 2 * g_pending->text.size() + 2);
    // The reader is the window that opened the clipboard. A clipboard monitor's read does not
    // count; a program that opened it without a window is taken to be the target.
    DWORD reader = 0;
    if (const HWND window = GetOpenClipboardWindow()) GetWindowThreadProcessId(window, &reader);
    const bool target = reader == 0 || reader == g_pending->target_process;
    HWND owner;
    {
        auto app = lock_app_state();
        owner = app->main_window;
        app->clipboard_sequence = GetClipboardSequenceNumber();
    }
    if (target && !g_pending->read_by_target) {
        g_pending->read_by_target = true;
        SetTimer(owner, kTimerClipboard, kClipboardRestoreAfterReadMs, nullptr);
    }
}

void render_all_dictation() {
    if (!g_pending || !OpenClipboard(main_window())) return;
    if (GetClipboardOwner() == main_window()) {
        put_on_clipboard(CF_UNICODETEXT, g_pending->text.c_str(), 2 * g_pending->text.size() + 2);
    }
    CloseClipboard();
}

void dictation_left_clipboard() { g_pending.reset(); }

PasteOutcome paste_text(const std::string& text) {
    for (int check = 0; check < 50 && modifier_held(); ++check) Sleep(20);
    const HWND owner = main_window();
    SavedClipboard saved = save_clipboard(owner);
    DWORD target_process = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &target_process);
    if (!offer_dictation(owner, utf8_to_utf16(text), target_process)) return PasteOutcome::ClipboardUnavailable;
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
        app->saved_clipboard = std::move(saved.text);
        app->saved_formats = std::move(saved.formats);
        app->clipboard_sequence = sequence;
    }
    // Restored once the target read the text (render_dictation shortens the timer), or never.
    SetTimer(owner, kTimerClipboard, kClipboardReadLimitMs, nullptr);
    return PasteOutcome::Inserted;
}

void restore_clipboard() {
    std::optional<std::u16string> saved;
    std::vector<std::pair<std::uint32_t, std::string>> formats;
    DWORD ours;
    HWND owner;
    {
        auto app = lock_app_state();
        owner = app->main_window;
        saved = std::move(app->saved_clipboard);
        app->saved_clipboard.reset();
        formats = std::move(app->saved_formats);
        app->saved_formats.clear();
        ours = app->clipboard_sequence;
    }
    KillTimer(owner, kTimerClipboard);
    // Something the user copied after the paste is theirs: it stays.
    if (GetClipboardSequenceNumber() != ours) return;
    if (g_pending && !g_pending->read_by_target) {
        // The target never read the text: it stays on the clipboard (the user may still paste
        // it), and restoring the old content now could put that into a late paste.
        log("Zwischenablage: das Ziel hat den Text nicht abgeholt, er bleibt in der Zwischenablage");
        return;
    }
    if (!formats.empty()) {
        restore_formats(owner, formats);
    } else if (saved) {
        set_clipboard_text(*saved);
    }
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
