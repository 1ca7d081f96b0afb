// The talk key and text insertion with the real keyboard and clipboard of Wine. Keys are
// injected with SendInput, as a user's keyboard would deliver them.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "base/log.h"
#include "base/messages.h"
#include "dictation/dictation.h"
#include "dictation/dictation_cycle.h"
#include "dictation/insertion.h"
#include "dictation/talk_key.h"
#include "e2e/input_helpers.h"
#include "e2e/microphone.h"
#include "environment.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using Env = test::DictationEnvironment;
using test::clipboard;
using test::copy_plain;
using test::keys;

bool marked() {
    for (const wchar_t* name : {L"ExcludeClipboardContentFromMonitorProcessing",
                                L"CanIncludeInClipboardHistory", L"CanUploadToCloudClipboard"}) {
        if (!IsClipboardFormatAvailable(RegisterClipboardFormatW(name))) return false;
    }
    return true;
}

void copy_image() {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, CreateBitmap(4, 4, 1, 32, nullptr));
    CloseClipboard();
}

// Another program's window with an edit control, in front and focused.
class Editor {
public:
    Editor() {
        window_ = CreateWindowExW(0, L"STATIC", L"Ziel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                  400, 200, nullptr, nullptr, nullptr, nullptr);
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 380,
                                150, window_, nullptr, nullptr, nullptr);
        SetForegroundWindow(window_);
        SetFocus(edit_);
        test::pump_for(200ms);
    }
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;
    ~Editor() {
        if (IsWindow(window_)) DestroyWindow(window_);
    }
    // Empties the edit control and brings the window back to the front.
    void reset() {
        SetWindowTextW(edit_, L"");
        SetForegroundWindow(window_);
        SetFocus(edit_);
        test::pump_for(100ms);
    }
    std::string text() const {
        wchar_t buffer[1024] {};
        GetWindowTextW(edit_, buffer, 1024);
        return narrow(buffer);
    }
    HWND window() const { return window_; }
    void close() { DestroyWindow(window_); }

private:
    HWND window_ = nullptr;
    HWND edit_ = nullptr;
};

// One editor for the suite: making a visible window takes Wine a moment.
class Insertion : public ::testing::Test {
protected:
    static void SetUpTestSuite() { shared_editor = new Editor(); }
    static void TearDownTestSuite() { delete shared_editor; }
    void SetUp() override {
        remove_file(Env::data->file("tolvek.log"));
        shared_editor->reset();
    }
    std::string log() const { return read_file(Env::data->file("tolvek.log")).value_or(""); }
    static Editor* shared_editor;
};
Editor* Insertion::shared_editor = nullptr;

TEST_F(Insertion, PasteRestoresTheUsersText) {
    Editor& editor = *shared_editor;
    copy_plain(u"abc");
    EXPECT_EQ(paste_text("Hallo Welt "), PasteOutcome::Inserted);
    test::pump_until([&] { return editor.text() == "Hallo Welt "; }, 3s);
    EXPECT_EQ(editor.text(), "Hallo Welt ");
    EXPECT_EQ(clipboard(), u"Hallo Welt ");
    EXPECT_TRUE(marked()) << "the dictated text carries the markers";
    test::pump_for(1200ms);
    EXPECT_EQ(clipboard(), u"abc");
    EXPECT_TRUE(marked()) << "and so does the restored text";
}

// Another program holds the clipboard open the whole time: the text is neither typed nor lost.
TEST_F(Insertion, ClipboardStayingBusyKeepsTheTextInTheRecentList) {
    std::atomic<bool> held {false}, release {false};
    std::thread holder([&] {
        HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        held = OpenClipboard(owner);
        while (!release) Sleep(10);
        if (held) CloseClipboard();
        DestroyWindow(owner);
    });
    ASSERT_TRUE(test::pump_until([&] { return held.load(); }, 2s));
    const std::size_t calls = Env::tray->calls().size();
    auto result = std::make_unique<DictationResult>();
    result->text = "Angebot für Firma Huber";
    handle_result(std::move(result));
    release = true;
    holder.join();

    EXPECT_EQ(shared_editor->text(), "") << "nothing was pasted";
    EXPECT_EQ(lock_app_state()->recent.at(0).text, "Angebot für Firma Huber");
    std::vector<test::TrayCall> balloons;
    for (std::size_t i = calls; i < Env::tray->calls().size(); ++i) {
        if (Env::tray->calls()[i].flags & NIF_INFO) balloons.push_back(Env::tray->calls()[i]);
    }
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].info,
              "Die Zwischenablage ist gerade belegt. Der Text steht unter „Letzte Diktate“ im Fuchs-Menü.");
    EXPECT_EQ(balloons[0].info_flags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_NE(log().find(" Einfügen nicht möglich: Zwischenablage belegt\n"), std::string::npos);
    EXPECT_EQ(log().find("Huber"), std::string::npos) << "the log holds no dictated text";
}

// A target running with higher rights (an administrator window), or one whose rights cannot be
// read, would drop the synthetic Strg+V without a word: no keys go, and the dictated text stays
// on the clipboard with the hint instead of being taken away by the restore.
TEST_F(Insertion, HigherRightsTargetGetsTheClipboardHint) {
    for (const std::optional<std::uint32_t> level : {std::optional<std::uint32_t> {0x3000}, std::optional<std::uint32_t> {}}) {
        SCOPED_TRACE(level ? "high" : "unreadable");
        shared_editor->reset();
        remove_file(Env::data->file("tolvek.log"));
        copy_plain(u"abc");
        const std::size_t calls = Env::tray->calls().size();
        Env::target_integrity = level;
        auto result = std::make_unique<DictationResult>();
        result->text = "Vertrag kündigen";
        handle_result(std::move(result));
        Env::target_integrity = 0x2000;
        test::pump_for(1500ms);
        EXPECT_EQ(shared_editor->text(), "") << "no keys were sent";
        EXPECT_EQ(clipboard(), u"Vertrag kündigen ") << "the text stays for Strg+V";
        const auto balloon =
            Env::tray->wait_for(calls, [](const test::TrayCall& c) { return (c.flags & NIF_INFO) != 0; });
        ASSERT_TRUE(balloon.has_value());
        EXPECT_EQ(balloon->info, "Der Text liegt in der Zwischenablage. Bitte mit Strg+V einfügen.");
        EXPECT_NE(log().find(" Einfügen nicht möglich: Text liegt in der Zwischenablage\n"), std::string::npos);
    }
}

// A screenshot, copied files and the text beside them come back after the dictation, byte for
// byte; a bitmap alone comes back as a picture too.
TEST_F(Insertion, EveryCopyableFormatComesBack) {
    Editor& editor = *shared_editor;
    BITMAPINFOHEADER header {};
    header.biSize = sizeof header;
    header.biWidth = 2;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 32;
    std::string dib(reinterpret_cast<const char*>(&header), sizeof header);
    dib += std::string("\x10\x20\x30\x00\x40\x50\x60\x00\x70\x80\x90\x00\xA0\xB0\xC0\x00", 16);
    DROPFILES drop {};
    drop.pFiles = sizeof drop;
    drop.fWide = TRUE;
    std::string files(reinterpret_cast<const char*>(&drop), sizeof drop);
    const std::u16string names = u"C:\\Bilder\\Bildschirm Müller.png";
    files.append(reinterpret_cast<const char*>(names.c_str()), 2 * names.size() + 2);
    files.append(2, '\0');
    const std::u16string text = u"Beschreibung";
    const auto put = [](UINT format, const std::string& bytes) {
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
        GlobalUnlock(h);
        SetClipboardData(format, h);
    };
    const auto read = [](UINT format) {
        std::string bytes;
        if (!OpenClipboard(nullptr)) return bytes;
        if (HANDLE h = GetClipboardData(format)) {
            bytes.assign(static_cast<const char*>(GlobalLock(h)), GlobalSize(h));
            GlobalUnlock(h);
        }
        CloseClipboard();
        return bytes;
    };
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    put(CF_DIB, dib);
    put(CF_HDROP, files);
    put(CF_UNICODETEXT, std::string(reinterpret_cast<const char*>(text.c_str()), 2 * text.size() + 2));
    CloseClipboard();

    EXPECT_EQ(paste_text("Bild "), PasteOutcome::Inserted);
    test::pump_for(1200ms);
    EXPECT_EQ(editor.text(), "Bild ");
    EXPECT_EQ(read(CF_DIB).substr(0, dib.size()), dib);
    EXPECT_EQ(read(CF_HDROP).substr(0, files.size()), files);
    EXPECT_EQ(clipboard(), text);
    EXPECT_TRUE(marked());

    editor.reset();
    copy_image();
    EXPECT_EQ(paste_text("Bild "), PasteOutcome::Inserted);
    test::pump_for(1200ms);
    EXPECT_EQ(editor.text(), "Bild ");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_NE(clipboard(), u"Bild ") << "the picture is back, not the dictation";
}

// A program busy with something else: its edit control pastes only 2 s after Strg+V.
class SlowEditor {
public:
    SlowEditor() {
        window_ = CreateWindowExW(0, L"STATIC", L"Langsam", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 80, 400, 200, nullptr,
                                  nullptr, nullptr, nullptr);
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 380, 150, window_, nullptr,
                                nullptr, nullptr);
        original_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SlowEditor::proc)));
        SetForegroundWindow(window_);
        SetFocus(edit_);
        test::pump_for(200ms);
    }
    SlowEditor(const SlowEditor&) = delete;
    SlowEditor& operator=(const SlowEditor&) = delete;
    ~SlowEditor() { DestroyWindow(window_); }
    std::string text() const {
        wchar_t buffer[256] {};
        GetWindowTextW(edit_, buffer, 256);
        return narrow(buffer);
    }

private:
    static LRESULT CALLBACK proc(HWND edit, UINT msg, WPARAM wparam, LPARAM lparam) {
        switch (msg) {
        case WM_KEYDOWN:
            if (wparam == 'V' && (GetKeyState(VK_CONTROL) & 0x8000)) return 0;
            break;
        case WM_CHAR:
            if (wparam == 0x16) {  // Strg+V
                SetTimer(edit, 77, 2000, nullptr);
                return 0;
            }
            break;
        case WM_TIMER:
            if (wparam == 77) {
                KillTimer(edit, 77);
                return CallWindowProcW(original_, edit, WM_PASTE, 0, 0);
            }
            break;
        default: break;
        }
        return CallWindowProcW(original_, edit, msg, wparam, lparam);
    }
    static inline WNDPROC original_ = nullptr;
    HWND window_ = nullptr;
    HWND edit_ = nullptr;
};

// The busy program reads the clipboard 2 s after Strg+V: it receives the dictation, not the old
// clipboard, and the old content (text and a picture) is back after its read.
TEST_F(Insertion, ASlowTargetGetsTheDictationAndTheOldClipboardAfterwards) {
    const SlowEditor slow;
    copy_image();
    ASSERT_TRUE(OpenClipboard(nullptr));
    const std::u16string old = u"Notiz";
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 2 * old.size() + 2);
    std::memcpy(GlobalLock(h), old.c_str(), 2 * old.size() + 2);
    GlobalUnlock(h);
    SetClipboardData(CF_UNICODETEXT, h);
    CloseClipboard();

    EXPECT_EQ(paste_text("Langsam "), PasteOutcome::Inserted);
    test::pump_for(1000ms);
    EXPECT_EQ(slow.text(), "") << "the program has not pasted yet";
    ASSERT_TRUE(test::pump_until([&] { return slow.text() == "Langsam "; }, 5s)) << slow.text();
    test::pump_for(1000ms);
    EXPECT_EQ(clipboard(), old);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_BITMAP)) << "the picture is back";
}

// A target that never reads the clipboard: after the limit the dictated text stays there (the
// user may still paste it) and the old content is not put back over it.
TEST_F(Insertion, TextNotFetchedStaysOnTheClipboard) {
    const HWND deaf = CreateWindowExW(0, L"STATIC", L"Taub", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 90, 90, 300, 100, nullptr,
                                      nullptr, nullptr, nullptr);
    SetForegroundWindow(deaf);
    test::pump_for(200ms);
    copy_plain(u"alt");
    EXPECT_EQ(paste_text("Nicht abgeholt "), PasteOutcome::Inserted);
    test::pump_for(std::chrono::milliseconds(kClipboardReadLimitMs + 800));
    EXPECT_EQ(clipboard(), u"Nicht abgeholt ");
    test::pump_for(1000ms);
    EXPECT_EQ(clipboard(), u"Nicht abgeholt ") << "nothing comes back over it later";
    EXPECT_NE(log().find(" Zwischenablage: das Ziel hat den Text nicht abgeholt, er bleibt in der Zwischenablage\n"),
              std::string::npos);
    DestroyWindow(deaf);
}

TEST_F(Insertion, TwoPastesWithinTheRestoreTime) {
    Editor& editor = *shared_editor;
    copy_plain(u"abc");
    EXPECT_EQ(paste_text("eins "), PasteOutcome::Inserted);
    test::pump_for(100ms);
    EXPECT_EQ(paste_text("zwei "), PasteOutcome::Inserted);
    test::pump_for(1300ms);
    EXPECT_EQ(editor.text(), "eins zwei ");
    EXPECT_EQ(clipboard(), u"eins ") << "the second paste saved the first dictation";
}

TEST_F(Insertion, SomethingCopiedMeanwhileIsKept) {
    copy_plain(u"abc");
    EXPECT_EQ(paste_text("Diktat "), PasteOutcome::Inserted);
    test::pump_for(300ms);
    copy_plain(u"neu kopiert");
    test::pump_for(1000ms);
    EXPECT_EQ(clipboard(), u"neu kopiert");
}

TEST_F(Insertion, PasteWaitsForTheTalkKeyToBeReleased) {
    Editor& editor = *shared_editor;
    keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
    std::thread release([] {
        std::this_thread::sleep_for(400ms);
        keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(paste_text("leise "), PasteOutcome::Inserted);
    const auto waited = std::chrono::steady_clock::now() - started;
    release.join();
    EXPECT_GE(waited, 350ms);
    EXPECT_LT(waited, 1500ms);
    test::pump_until([&] { return editor.text() == "leise "; }, 3s);
    EXPECT_EQ(editor.text(), "leise ");
    test::pump_for(1000ms);
}

TEST_F(Insertion, RecentIntoThePreviousWindowOrTheClipboard) {
    const std::vector<RecentDictation> recent = {{"09:15", "Zweiter Text"}, {"09:10", "Erster Text"}};
    {
        Editor& editor = *shared_editor;
        lock_app_state()->foreground_before_menu = editor.window();
        insert_recent(recent, 1);
        test::pump_until([&] { return editor.text() == "Erster Text "; }, 3s);
        EXPECT_EQ(editor.text(), "Erster Text ");
        test::pump_for(1000ms);
    }
    Editor closed;
    lock_app_state()->foreground_before_menu = closed.window();
    closed.close();
    const std::size_t calls = Env::tray->calls().size();
    insert_recent(recent, 0);
    EXPECT_EQ(clipboard(), u"Zweiter Text ");
    ASSERT_EQ(Env::tray->calls().size(), calls + 1);
    EXPECT_EQ(Env::tray->calls().back().info, "Der Text liegt in der Zwischenablage. Bitte mit Strg+V einfügen.");
    EXPECT_EQ(Env::tray->calls().back().info_flags, static_cast<DWORD>(NIIF_INFO));
    EXPECT_NE(log().find(" Verlauf in die Zwischenablage gelegt (kein Zielfenster)\n"), std::string::npos);
    insert_recent(recent, 2);  // no such entry
    EXPECT_EQ(Env::tray->calls().size(), calls + 1);
}

TEST_F(Insertion, ForegroundTrackingSkipsOwnAndShellWindows) {
    lock_app_state()->foreground_before_menu = nullptr;
    track_foreground();  // the editor in front belongs to this very process: never the target
    EXPECT_EQ(lock_app_state()->foreground_before_menu, nullptr);
    EXPECT_TRUE(is_excluded_target_class("Shell_TrayWnd"));
    EXPECT_TRUE(is_excluded_target_class("#32768"));
    EXPECT_FALSE(is_excluded_target_class("shell_traywnd"));
}

class TalkKeyWin : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::mic_dir().empty()) GTEST_SKIP() << "needs the virtual microphone of the harness";
        lock_app_state()->phase = 0;
    }
    void TearDown() override {
        keys({{VK_F9, false}, {VK_CONTROL, false}, {VK_SHIFT, false}});
        set_key(0, 6, true);
        UnregisterHotKey(lock_app_state()->main_window, kTalkHotKeyId);
        KillTimer(lock_app_state()->main_window, 5);
        test::pump_for(200ms);
        if (lock_app_state()->phase == 1) finish_recording([](WorkerInput) {});
        set_phase(0);
    }
    static void set_key(std::uint32_t vk, std::uint32_t mods, bool hold) {
        auto app = lock_app_state();
        app->settings.vk = vk;
        app->settings.mods = mods;
        app->settings.hold = hold;
    }
    static std::uint8_t phase() { return lock_app_state()->phase; }
    static bool wait_phase(std::uint8_t p, std::chrono::milliseconds limit = 2s) {
        return test::pump_until([&] { return phase() == p; }, limit);
    }
};

TEST_F(TalkKeyWin, F9HoldStartsAndReleaseFinishes) {
    set_key(VK_F9, 0, true);
    ASSERT_TRUE(register_talk_key());
    keys({{VK_F9, true}});
    ASSERT_TRUE(wait_phase(1));
    test::pump_for(500ms);
    EXPECT_EQ(phase(), 1) << "held: still recording";
    keys({{VK_F9, false}});
    const auto released = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait_phase(0));
    EXPECT_LT(std::chrono::steady_clock::now() - released, 300ms) << "seen within a few 30 ms ticks";
}

TEST_F(TalkKeyWin, F9TapSecondPressFinishes) {
    set_key(VK_F9, 0, false);
    ASSERT_TRUE(register_talk_key());
    keys({{VK_F9, true}, {VK_F9, false}});
    ASSERT_TRUE(wait_phase(1));
    test::pump_for(600ms);
    EXPECT_EQ(phase(), 1) << "released: tap mode keeps recording";
    keys({{VK_F9, true}, {VK_F9, false}});
    EXPECT_TRUE(wait_phase(0));
}

TEST_F(TalkKeyWin, KeyTakenByAnotherProgram) {
    HWND other = CreateWindowExW(0, L"STATIC", L"andere", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(RegisterHotKey(other, 7, MOD_CONTROL, VK_F10));
    set_key(VK_F10, MOD_CONTROL, true);
    const std::size_t calls = Env::tray->calls().size();
    EXPECT_FALSE(register_talk_key());
    ASSERT_EQ(Env::tray->calls().size(), calls + 1);
    EXPECT_EQ(Env::tray->calls().back().info,
              "Strg + F10 ist schon von einem anderen Programm belegt. Bitte über das Symbol unten "
              "rechts eine andere Taste wählen.");
    EXPECT_EQ(Env::tray->calls().back().info_flags, static_cast<DWORD>(NIIF_WARNING));
    UnregisterHotKey(other, 7);
    DestroyWindow(other);
}

// Strg + Umschalt + T within the first second was a shortcut, not a dictation: the recording
// ends without a trace.
TEST_F(TalkKeyWin, ShortcutWithinTheFirstSecondCancelsSilently) {
    set_key(0, 6, true);
    ASSERT_TRUE(register_talk_key());
    test::pump_for(100ms);
    const std::string log_before = read_file(Env::data->file("tolvek.log")).value_or("");
    keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
    ASSERT_TRUE(wait_phase(1));
    test::take_tones();
    const std::size_t calls = Env::tray->calls().size();
    keys({{'T', true}});
    EXPECT_TRUE(wait_phase(0, 500ms)) << "cancelled at the next poll";
    keys({{'T', false}});
    keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
    test::pump_for(300ms);

    const HWND main = lock_app_state()->main_window;
    EXPECT_FALSE(KillTimer(main, kTimerRecordingLimit)) << "the limit timer was stopped";
    EXPECT_FALSE(KillTimer(main, kTimerReleasePoll));
    EXPECT_EQ(lock_app_state()->capture, nullptr) << "the device was closed";
    EXPECT_FALSE(lock_app_state()->recording_start.has_value());
    EXPECT_TRUE(test::take_tones().empty()) << "no tone";
    for (std::size_t i = calls; i < Env::tray->calls().size(); ++i) {
        EXPECT_FALSE(Env::tray->calls()[i].flags & NIF_INFO) << "no balloon: " << Env::tray->calls()[i].info;
    }
    EXPECT_EQ(read_file(Env::data->file("tolvek.log")).value_or(""), log_before) << "no log line";
    EXPECT_FALSE(IsWindowVisible(lock_app_state()->overlay_window));
}

TEST_F(TalkKeyWin, CtrlShiftAfterTheDebounceAndOnRelease) {
    set_key(0, 6, true);
    ASSERT_TRUE(register_talk_key());
    test::pump_for(100ms);
    keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait_phase(1));
    EXPECT_GE(std::chrono::steady_clock::now() - pressed, 180ms) << "debounced";
    test::pump_for(1200ms);
    EXPECT_EQ(phase(), 1);
    keys({{VK_SHIFT, false}});
    EXPECT_TRUE(test::pump_until([] { return phase() != 1; }, 2s)) << "Umschalt released: finished";
    keys({{VK_CONTROL, false}});
}

}  // namespace
}  // namespace tolvek
