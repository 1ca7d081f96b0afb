// Whole dictations with Tolvek.exe: the talk key from the keyboard, speech from the virtual
// microphone, the development service, and the text in another program's editor.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "base/messages.h"
#include "dictation/wav.h"
#include "input_helpers.h"
#include "message_boxes.h"
#include "microphone.h"
#include "net/hello.h"
#include "net/http.h"
#include "net/proxy.h"
#include "running_tolvek.h"
#include "shell/tray_menu.h"
#include "net/devservice_client.h"
#include "net/test_proxy.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using test::best_match;
using test::keys;

class Dictation : public test::RunningTolvek {
public:
    static void SetUpTestSuite() {
        editor_window = CreateWindowExW(0, L"STATIC", L"Editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        40, 40, 500, 200, nullptr, nullptr, nullptr, nullptr);
        editor = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 480,
                                 160, editor_window, nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(editor_window); }

    void SetUp() override {
        RunningTolvek::SetUp();
        if (test::mic_dir().empty() || !service.available()) {
            GTEST_SKIP() << "needs the virtual microphone and the development service";
        }
        service.reset();
        service.config({{"upload_dir", uploads_dir()}});
        SetWindowTextW(editor, L"");
        SetForegroundWindow(editor_window);
        SetFocus(editor);
        test::pump_for(100ms);
    }

    // Tolvek enrolled at the development service, which asks for the given upload format (the
    // start-up hello brings it again). Recordings started by message rather than by the key need
    // the tap mode: in hold mode the key engine ends a recording whose key is not held.
    void start_enrolled(const std::string& audio = "wav", bool hold = true) {
        service.config({{"audio", audio}});
        const auto enrolled = enroll(service.base(), "ST-3PVA-8RKE");
        ASSERT_TRUE(std::holds_alternative<Enrollment>(enrolled));
        Settings s = default_settings();
        s.server = service.base();
        s.token = std::get<Enrollment>(enrolled).token;
        s.code = "ST-3PVA-8RKE";
        s.firm = "Muster GmbH";
        s.audio = audio;
        s.hold = hold;
        save_settings(s);
        start();
        // The talk key counts only once it was seen released after the engine was armed.
        test::pump_for(300ms);
    }

    // Holds Strg + Umschalt while the fixture plays, then lets go.
    void dictate() {
        const std::size_t before = tray.calls().size();
        keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
        ASSERT_TRUE(tray.wait_for(before, [](const test::TrayCall& c) {
            return c.tip == "Tolvek · Aufnahme läuft";
        }, 5s)) << "the talk key started a recording";
        ASSERT_TRUE(test::wait_played(test::play("speech.raw")));
        keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
    }

    // Waits for a balloon after the given tray call and returns its text.
    std::string next_balloon(std::size_t after, DWORD icon) {
        const auto balloon = tray.wait_for(after, [icon](const test::TrayCall& c) {
            return c.flags == NIF_INFO && c.info_flags == icon;
        }, 20s);
        return balloon ? balloon->info : "(no balloon)";
    }

    bool idle_again(std::size_t after) {
        return tray.wait_for(after, [](const test::TrayCall& c) {
            return c.tip.ends_with("Strg + Umschalt halten und sprechen");
        }, 20s).has_value();
    }

    // Chooses a menu command that opens a window, looks at the window and closes it.
    void with_menu_window(unsigned command, const std::function<void(HWND)>& look) {
        PostMessageW(window, kMsgMenuCommand, command, 0);
        HWND dialog = nullptr;
        ASSERT_TRUE(test::pump_until([&] { return (dialog = FindWindowW(L"TolvekDialog", nullptr)) != nullptr; }, 5s));
        test::pump_for(200ms);
        look(dialog);
        PostMessageW(dialog, WM_COMMAND, 2, 0);
        ASSERT_TRUE(test::pump_until([&] { return !IsWindow(dialog); }, 5s));
    }

    // A dictation the service refuses (503): its recording is kept for "erneut senden".
    void fail_and_keep_the_recording() {
        start_enrolled();
        service.next({{"path", "/v1/audio/transcriptions"}, {"status", 503},
                      {"body", {{"error", {{"message", "Dienst wird gewartet"}}}}}});
        const std::size_t before = tray.calls().size();
        dictate();
        EXPECT_EQ(next_balloon(before, NIIF_WARNING), "Dienst wird gewartet");
        ASSERT_TRUE(idle_again(before));
    }

    // Waits until the dictated text stands in the editor.
    bool text_arrives() {
        return test::pump_until([&] { return editor_text() == "Hallo Welt "; }, 20s);
    }

    std::string editor_text() const {
        wchar_t buffer[1024] {};
        GetWindowTextW(editor, buffer, 1024);
        return narrow(buffer);
    }

    Json transcription_requests() const {
        Json out = Json::array();
        for (const auto& r : service.requests()) {
            if (r["path"] == "/v1/audio/transcriptions") out.push_back(r);
        }
        return out;
    }

    static std::string uploads_dir() {
        const std::string dir = path_join(test::mic_dir(), "uploads");
        create_directories(dir);
        // The service is a Linux process: it gets the folder as Linux sees it.
        std::string unix_path = dir.substr(2);
        for (char& c : unix_path) if (c == '\\') c = '/';
        return unix_path;
    }

    test::DevService service;
    static HWND editor_window;
    static HWND editor;
};
HWND Dictation::editor_window = nullptr;
HWND Dictation::editor = nullptr;

// The service fails twice (the connection closes before an answer, then 503): the recording is
// kept, and when the service is back it is sent again from the menu into the editor. The first
// failure comes after the service read the whole upload: a connection that drops while the
// body is still being written sends it to the legacy host as well, depending on how much of it
// the system had taken.
TEST_F(Dictation, AFailedDictationCanBeSentAgain) {
    constexpr unsigned kResend = 198;
    start_enrolled();
    service.next({{"path", "/v1/audio/transcriptions"}, {"fault", "close_after_body"}});
    std::size_t before = tray.calls().size();
    dictate();
    EXPECT_EQ(next_balloon(before, NIIF_WARNING), "Keine Verbindung zum Server. Bitte die Internetverbindung prüfen.");
    ASSERT_TRUE(idle_again(before));
    EXPECT_EQ(editor_text(), "");

    service.next({{"path", "/v1/audio/transcriptions"}, {"status", 503},
                  {"body", {{"error", {{"message", "Dienst wird gewartet"}}}}}});
    before = tray.calls().size();
    PostMessageW(window, kMsgMenuCommand, kResend, 0);
    EXPECT_EQ(next_balloon(before, NIIF_WARNING), "Dienst wird gewartet");
    ASSERT_TRUE(idle_again(before));

    PostMessageW(window, kMsgMenuCommand, kResend, 0);
    ASSERT_TRUE(text_arrives()) << editor_text() << "\n" << log();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 3u);
    const auto refused = read_file(up[1]["upload"]["saved"].get<std::string>());
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(read_file(up[2]["upload"]["saved"].get<std::string>()), refused)
        << "the same recording went out again, byte for byte";

    // Sent: nothing is kept any more.
    PostMessageW(window, kMsgMenuCommand, kResend, 0);
    test::pump_for(1500ms);
    EXPECT_EQ(transcription_requests().size(), 3u);
    EXPECT_EQ(log().find("Hallo Welt"), std::string::npos) << "the log holds no dictated text";
}

// Any program on the desktop can post to Tolvek's window. Menu commands posted as WM_COMMAND
// and made-up records in the workers' messages change nothing: the kept recording is not sent,
// no question opens, no setting changes, and Tolvek keeps running. The menu (here through the
// test runs' own gate) still sends the recording.
TEST_F(Dictation, ForgedMessagesChangeNothing) {
    ASSERT_NO_FATAL_FAILURE(fail_and_keep_the_recording());
    const auto config_before = read_file(data.file("config.json"));
    {
        test::MessageBoxAnswerer answerer(IDNO);
        for (unsigned command : std::initializer_list<unsigned> {kCmdResend, 200, kCmdUninstall, kCmdSounds, kCmdTap,
                                                                  kCmdCompress}) {
            PostMessageW(window, WM_COMMAND, command, 0);
        }
        int own = 0;
        for (UINT msg : {kMsgTranscription, kMsgHello, kMsgDownload, kMsgHandOff}) {
            for (LPARAM made_up : {LPARAM {1}, LPARAM {0x10}, LPARAM {0x7FFE0000}, reinterpret_cast<LPARAM>(&own)}) {
                PostMessageW(window, msg, 1, made_up);
            }
        }
        test::pump_for(2s);
        EXPECT_TRUE(answerer.texts().empty()) << answerer.texts()[0];
    }
    ASSERT_TRUE(tolvek->running()) << log();
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(transcription_requests().size(), 1u) << "the kept recording was not sent";
    EXPECT_EQ(editor_text(), "");
    EXPECT_EQ(read_file(data.file("config.json")), config_before);

    PostMessageW(window, kMsgMenuCommand, kCmdResend, 0);
    ASSERT_TRUE(text_arrives()) << editor_text() << "\n" << log();
}

// The text of a re-send lands in the window that was in front when the re-send was chosen, even
// when the user moved on to another program while it was on its way.
TEST_F(Dictation, ResentTextLandsWhereTheResendWasChosen) {
    ASSERT_NO_FATAL_FAILURE(fail_and_keep_the_recording());

    // Brought back to the front, the editor's window gives the focus to its edit field, as a
    // real program's window does.
    static WNDPROC original = nullptr;
    original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        editor_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_SETFOCUS) {
                SetFocus(editor);
                return 0;
            }
            return CallWindowProcW(original, w, m, wp, lp);
        })));
    service.next({{"path", "/v1/audio/transcriptions"}, {"delay", 3}});
    PostMessageW(window, kMsgMenuCommand, kCmdResend, 0);
    test::pump_for(500ms);
    const HWND chat = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 300, 120,
                                      nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(chat);
    SetFocus(chat);
    test::pump_for(1s);  // the foreground tracking has seen the new window
    EXPECT_TRUE(text_arrives()) << editor_text() << "\n" << log();
    wchar_t chat_text[64] {};
    GetWindowTextW(chat, chat_text, 64);
    EXPECT_EQ(narrow(chat_text), "") << "nothing went into the window the user moved on to";
    DestroyWindow(chat);
    SetWindowLongPtrW(editor_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
}

// The talk key's keyboard hook taken away behind its back (as the system does with a hook that
// was slow once), then a resume from sleep and an unlock: Strg + Umschalt still starts and ends
// dictations, and the hook is set anew each time.
TEST_F(Dictation, TalkKeySurvivesALostHookAResumeAndAnUnlock) {
    start_enrolled();
    PostMessageW(window, kMsgDropKeyboardHook, 0, 0);
    test::pump_for(2500ms);  // the poll rests
    dictate();
    ASSERT_TRUE(text_arrives()) << editor_text() << "\n" << log();
    EXPECT_NE(log().find(" Tastenüberwachung neu eingerichtet (keine Meldung der Tastatur)\n"), std::string::npos)
        << log();

    const struct {
        UINT msg;
        WPARAM event;
        const char* line;
    } events[] = {
        {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, " Tastenüberwachung neu eingerichtet (Wiederaufnahme)\n"},
        {WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, " Tastenüberwachung neu eingerichtet (Entsperren)\n"},
    };
    for (const auto& e : events) {
        SCOPED_TRACE(e.line);
        SetWindowTextW(editor, L"");
        PostMessageW(window, e.msg, e.event, 0);
        test::pump_for(2500ms);
        EXPECT_NE(log().find(e.line), std::string::npos) << log();
        dictate();
        ASSERT_TRUE(text_arrives()) << editor_text() << "\n" << log();
    }
}

TEST_F(Dictation, HoldTheDefaultKeyAndTheTextArrives) {
    start_enrolled();
    dictate();
    ASSERT_TRUE(text_arrives()) << editor_text();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0]["upload"]["kind"], "wav");
    EXPECT_EQ(up[0]["upload"]["valid"], true);
    EXPECT_FALSE(test::has_header(up[0], "X-Tolvek-Dauer"));
    // The uploaded samples are the speech that was fed.
    const auto wav = read_file(up[0]["upload"]["saved"].get<std::string>());
    ASSERT_TRUE(wav.has_value());
    const auto fixture = read_file(path_join(test::mic_dir(), "speech.raw"));
    const auto fed = test::samples_of(fixture->data(), fixture->size());
    const std::vector<std::int16_t> part(fed.begin() + 16000, fed.begin() + 32000);
    EXPECT_GT(best_match(test::samples_of(wav->data(), wav->size(), 44), part), 0.95);

    const std::string text = log();
    EXPECT_EQ(text.find("Fehler"), std::string::npos) << text;
    EXPECT_EQ(text.find("Hallo Welt"), std::string::npos) << "no dictated text in the log";
    EXPECT_TRUE(tray.wait_for(0, [](const test::TrayCall& c) {
        return c.tip == "Tolvek · Text wird geschrieben";
    }, 1s));

    // The history line in "Technik-Info …", and the text in "Letzte Diktate".
    std::string info;
    with_menu_window(52, [&](HWND dialog) {
        wchar_t buffer[4096] {};
        SendMessageW(GetDlgItem(dialog, 101), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
        info = narrow(buffer);
    });
    EXPECT_TRUE(std::regex_search(info, std::regex(R"(\r\n\r\n\d\d:\d\d:\d\d   Aufnahme \d+\.\d s · Pegel \d+ · )"
                                                   R"(Wartezeit \d+\.\d s · Text eingefügt)")))
        << info;
    EXPECT_EQ(info.find("Hallo"), std::string::npos) << "no dictated text in the tech-info";
    LRESULT entries = 0;
    with_menu_window(199, [&](HWND dialog) { entries = SendMessageW(GetDlgItem(dialog, 400), LB_GETCOUNT, 0, 0); });
    EXPECT_EQ(entries, 1);
}

TEST_F(Dictation, OpusWhenTheServiceAsksForIt) {
    start_enrolled("opus");
    dictate();
    ASSERT_TRUE(text_arrives()) << editor_text();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0]["upload"]["kind"], "opus");
    EXPECT_EQ(up[0]["upload"]["valid"], true) << up[0]["upload"].dump();
    EXPECT_TRUE(test::has_header(up[0], "X-Tolvek-Dauer"));
    EXPECT_GT(up[0]["upload"]["samples"].get<int>(), 16000 * 4);
}

TEST_F(Dictation, RefusedOpusIsRepeatedAsWav) {
    service.config({{"reject_opus", true}});
    start_enrolled("opus");
    dictate();
    ASSERT_TRUE(text_arrives()) << editor_text();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 2u);
    EXPECT_EQ(up[1]["upload"]["kind"], "wav");
    EXPECT_NE(log().find(" Opus abgelehnt (Opus wird nicht unterstützt), sende WAV\n"), std::string::npos);
}

TEST_F(Dictation, NothingUnderstood) {
    service.config({{"text", ""}});
    start_enrolled();
    const std::size_t before = tray.calls().size();
    dictate();
    const auto balloon = tray.wait_for(before, [](const test::TrayCall& c) { return c.flags == NIF_INFO; }, 20s);
    ASSERT_TRUE(balloon.has_value());
    EXPECT_EQ(balloon->info, "Es wurde nichts verstanden. Bitte noch einmal versuchen.");
    test::pump_for(300ms);
    EXPECT_EQ(editor_text(), "");
}

TEST_F(Dictation, ServiceUnreachableThenTheNextDictationWorks) {
    start_enrolled();
    service.next({{"path", "/v1/audio/transcriptions"}, {"fault", "close_before"}});
    const std::size_t before = tray.calls().size();
    dictate();
    const std::string error = next_balloon(before, NIIF_WARNING);
    EXPECT_NE(error, "(no balloon)");
    EXPECT_TRUE(idle_again(before));
    EXPECT_NE(log().find(" Fehler: " + error + "\n"), std::string::npos) << log();
    EXPECT_EQ(editor_text(), "");
    dictate();
    EXPECT_TRUE(text_arrives()) << editor_text();
}

TEST_F(Dictation, RejectedTokenIsRenewedWithTheStoredCode) {
    start_enrolled();
    const std::string old_token = saved().token;
    service.reset();  // the service forgets every token it issued
    service.config({{"upload_dir", uploads_dir()}});
    dictate();
    ASSERT_TRUE(text_arrives()) << editor_text();
    int enrollments = 0, uploads = 0;
    for (const auto& r : service.requests()) {
        enrollments += r["path"] == "/v1/app/enroll";
        uploads += r["path"] == "/v1/audio/transcriptions";
    }
    EXPECT_EQ(enrollments, 1);
    EXPECT_EQ(uploads, 2) << "the refused upload and its one repeat";
    EXPECT_TRUE(test::pump_until([&] { return saved().token != old_token && !saved().token.empty(); }));
    EXPECT_EQ(saved().firm, "Muster GmbH");
}

TEST_F(Dictation, RejectedTwiceIsAnOrdinaryError) {
    start_enrolled();
    service.reset();
    for (int i = 0; i < 2; ++i) {
        service.next({{"path", "/v1/audio/transcriptions"}, {"status", 401}, {"body", {{"error", "Anmeldung abgelaufen"}}}});
    }
    const std::size_t before = tray.calls().size();
    dictate();
    const std::string error = next_balloon(before, NIIF_WARNING);
    EXPECT_NE(error, "Die Anmeldung ist nicht mehr gültig. Bitte über das Symbol unten rechts den "
                     "Firmen-Code neu eingeben.");
    EXPECT_NE(log().find(" Fehler: " + error + "\n"), std::string::npos) << log();
    EXPECT_FALSE(saved().token.empty()) << "the renewed token stays";
}

TEST_F(Dictation, RejectedWithoutCodeAsksToEnrolAgain) {
    start_enrolled();
    stop();
    Settings s = saved();
    s.code.clear();
    save_settings(s);
    start();
    test::pump_for(300ms);
    service.reset();
    const std::size_t before = tray.calls().size();
    dictate();
    EXPECT_EQ(next_balloon(before, NIIF_WARNING),
              "Die Anmeldung ist nicht mehr gültig. Bitte über das Symbol unten rechts den Firmen-Code "
              "neu eingeben.");
    EXPECT_TRUE(test::pump_until([&] { return saved().token.empty(); })) << "the token is cleared";
    EXPECT_EQ(editor_text(), "");
}

TEST_F(Dictation, KeyWithoutEnrollmentOpensTheCompanyCodeEntry) {
    save_settings(default_settings());
    tolvek = std::make_unique<test::TolvekProcess>("");
    HWND dialog = nullptr;
    const auto dialog_open = [&] { return (dialog = FindWindowW(L"TolvekDialog", nullptr)) != nullptr; };
    ASSERT_TRUE(test::pump_until(dialog_open, 10s)) << "a fresh profile asks at start";
    window = FindWindowW(L"TolvekMain", nullptr);
    const std::size_t before = tray.calls().size();
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(tray.wait_for(before, [](const test::TrayCall& c) { return c.op == NIM_MODIFY; }));
    test::pump_for(300ms);
    SetForegroundWindow(editor_window);
    const std::size_t pressed = tray.calls().size();
    keys({{VK_CONTROL, true}, {VK_SHIFT, true}});
    EXPECT_TRUE(test::pump_until(dialog_open, 5s)) << "the key opens the company-code entry";
    keys({{VK_SHIFT, false}, {VK_CONTROL, false}});
    for (std::size_t i = pressed; i < tray.calls().size(); ++i) {
        EXPECT_NE(tray.calls()[i].tip, "Tolvek · Aufnahme läuft") << "no recording";
    }
    if (dialog) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(Dictation, TheLimitEndsTheRecordingLikeARelease) {
    test::set_env("TOLVEK_TEST_LIMIT_S", "3");
    start_enrolled("wav", false);
    test::set_env("TOLVEK_TEST_LIMIT_S", std::nullopt);
    const std::size_t before = tray.calls().size();
    PostMessageW(window, kMsgStartDictation, 0, 0);
    ASSERT_TRUE(tray.wait_for(before, [](const test::TrayCall& c) { return c.tip == "Tolvek · Aufnahme läuft"; }, 5s));
    test::play("speech.raw");
    ASSERT_TRUE(text_arrives()) << editor_text();
    const Json up = transcription_requests();
    ASSERT_EQ(up.size(), 1u);
    const auto wav = read_file(up[0]["upload"]["saved"].get<std::string>());
    ASSERT_TRUE(wav.has_value());
    const double seconds = (wav->size() - 44) / 32000.0;
    EXPECT_GT(seconds, 2.5);
    EXPECT_LT(seconds, 3.5) << "ended by the limit, not by the key";
}

TEST_F(Dictation, OverlayKeepsTheFocusAndADragSnapsBackAndIsKept) {
    start_enrolled("wav", false);
    const auto show_strip = [&] {
        PostMessageW(window, kMsgStartDictation, 0, 0);
        HWND overlay = nullptr;
        test::pump_until([&] {
            overlay = FindWindowW(L"TolvekOverlay", nullptr);
            return overlay && IsWindowVisible(overlay);
        }, 5s);
        return overlay && IsWindowVisible(overlay) ? overlay : nullptr;
    };
    HWND overlay = show_strip();
    ASSERT_NE(overlay, nullptr) << log();
    ASSERT_EQ(GetForegroundWindow(), editor_window);
    RECT r;
    GetWindowRect(overlay, &r);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    test::mouse_to(cx, cy);
    test::pump_for(100ms);
    test::left_button(true);
    test::pump_for(100ms);
    test::left_button(false);
    test::pump_for(300ms);
    EXPECT_EQ(GetForegroundWindow(), editor_window) << "a click does not take the focus";
    EXPECT_EQ(log().find("Anzeige verschoben"), std::string::npos) << "a click is no move";

    // Dragged over the bottom-right corner of the screen, it snaps back fully inside.
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    test::left_button(true);
    test::pump_for(100ms);
    for (int step = 1; step <= 10; ++step) {
        test::mouse_to(cx + (w - 5 - cx) * step / 10, cy + (h - 5 - cy) * step / 10);
        test::pump_for(30ms);
    }
    test::left_button(false);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const OverlayPosition corner {work.right - 270, work.bottom - 40};
    EXPECT_TRUE(test::pump_until([&] {
        GetWindowRect(overlay, &r);
        return r.left == corner.x && r.top == corner.y;
    }, 3s)) << r.left << ", " << r.top;
    EXPECT_TRUE(test::pump_until([&] { return saved().overlay == corner; }));
    EXPECT_NE(log().find(" Anzeige verschoben\n"), std::string::npos) << log();
    EXPECT_EQ(GetForegroundWindow(), editor_window) << "nor does a drag";

    // After a restart the strip appears where it was left.
    PostMessageW(window, kMsgFinishRecording, 0, 0);
    ASSERT_TRUE(test::pump_until([&] { return !IsWindowVisible(overlay); }, 5s));
    stop();
    start();
    overlay = show_strip();
    ASSERT_NE(overlay, nullptr) << "no recording after the restart\n" << log();
    EXPECT_TRUE(test::pump_until([&] {
        GetWindowRect(overlay, &r);
        return r.left == corner.x && r.top == corner.y;
    }, 3s)) << r.left << ", " << r.top << "\n" << log();
    // The menu's reset brings it back to the middle at the next show.
    PostMessageW(window, kMsgFinishRecording, 0, 0);
    ASSERT_TRUE(test::pump_until([&] { return !IsWindowVisible(overlay); }, 5s));
    PostMessageW(window, kMsgMenuCommand, 70, 0);
    EXPECT_TRUE(test::pump_until([&] { return !saved().overlay.has_value(); }));
    overlay = show_strip();
    ASSERT_NE(overlay, nullptr) << log();
    GetWindowRect(overlay, &r);
    EXPECT_EQ(r.left, work.left + (work.right - work.left - 270) / 2);
}

// Behind a company proxy: the user's Internet settings decide the way of every request, the
// dictation arrives through the proxy as it would directly, and a proxy that fails says so.
TEST_F(Dictation, BehindTheCompanyProxy) {
    const test::TestProxy proxy;
    if (!proxy.available()) GTEST_SKIP() << "needs the test proxy";
    const std::string service_host = service.base().substr(std::string("http://").size());
    const std::string script = "http://" + proxy.address() + "/proxy.pac";
    // The settings are Tolvek's; this test program talks to its helpers directly.
    set_proxy_sources(ProxyResolver::Sources {});
    const struct {
        const char* name;
        test::InternetSettings settings;
        bool through_proxy;
    } ways[] = {
        {"fixed proxy", {proxy.address(), "<-loopback>", ""}, true},
        {"configuration script", {"", "", script}, true},
        {"nothing set", {"", "", ""}, false},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        const test::ScopedInternetSettings settings(way.settings);
        proxy.reset();
        proxy.config({{"pac", test::TestProxy::script_through(proxy.address(), "127.0.0.1")}});
        start_enrolled();
        dictate();
        EXPECT_TRUE(text_arrives()) << editor_text() << log();
        int tunnels = 0;
        for (const auto& entry : proxy.log()) tunnels += entry["method"] == "CONNECT" && entry["target"] == service_host;
        if (way.through_proxy) {
            EXPECT_GE(tunnels, 2) << "the start's hello and the upload";
        } else {
            EXPECT_EQ(tunnels, 0);
        }
        const Json uploads = transcription_requests();
        ASSERT_EQ(uploads.size(), 1u);
        EXPECT_EQ(uploads[0]["upload"]["valid"], true) << uploads[0].dump();
        with_menu_window(kCmdTechInfo, [&](HWND dialog) {
            const std::string expected = "\r\nProxy: " + (way.through_proxy ? proxy.address() : "direkt") + "\r\n";
            wchar_t text[4096] {};  // another process's edit control answers only WM_GETTEXT
            SendMessageW(GetDlgItem(dialog, 101), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
            EXPECT_NE(narrow(text).find(expected), std::string::npos) << narrow(text);
        });
        stop();
        service.reset();
        service.config({{"upload_dir", uploads_dir()}});
        SetWindowTextW(editor, L"");
        SetForegroundWindow(editor_window);
        SetFocus(editor);
    }

    // A fixed proxy that cannot be reached is not bypassed; one that wants a login the Windows
    // logon cannot give says so.
    const struct {
        const char* name;
        std::string proxy;
        const char* login;
        std::string message;
        std::string log_line;
    } failures[] = {
        {"unreachable", "127.0.0.1:1", nullptr, kNoConnection, "Proxy 127.0.0.1:1 nicht erreichbar"},
        {"login", proxy.address(), "ntlm", "Der Proxy verlangt eine Anmeldung, die nicht gelang.",
         "Proxy " + proxy.address() + " verlangt eine Anmeldung, die nicht gelang (407)"},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        const test::ScopedInternetSettings settings({failure.proxy, "<-loopback>", ""});
        proxy.reset();
        if (failure.login) proxy.config({{"login", failure.login}});
        start_enrolled();
        const std::size_t before = tray.calls().size();
        dictate();
        EXPECT_EQ(next_balloon(before, NIIF_WARNING), failure.message);
        EXPECT_TRUE(idle_again(before));
        EXPECT_NE(log().find(failure.log_line), std::string::npos) << log();
        EXPECT_TRUE(transcription_requests().empty()) << "nothing went around the proxy";
        stop();
    }
    set_proxy_sources(std::nullopt);
}

}  // namespace
}  // namespace tolvek
