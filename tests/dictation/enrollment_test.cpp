// Enrollment on the UI thread with the company-code dialog, against the development service.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/log.h"
#include "environment.h"
#include "base/app_state.h"
#include "net/devservice_client.h"
#include "net/hello.h"
#include "pictures.h"
#include "shell/main_window.h"
#include "shell/tray_menu.h"
#include "windows/dialog_frame.h"
#include "windows/dialogs.h"
#include "windows/enrollment.h"
#include "windows/window_procs.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using Env = test::DictationEnvironment;

// Answers the dialogs that open: each answer is typed into the code field (or cancels when
// empty); what the dialogs showed is kept.
class DialogAnswerer {
public:
    // `meanwhile` runs while each dialog is open, before it is answered.
    explicit DialogAnswerer(std::vector<std::string> answers, std::function<void()> meanwhile = {})
        : answers_(std::move(answers)), meanwhile_(std::move(meanwhile)), thread_([this] { run(); }) {}
    ~DialogAnswerer() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::pair<std::string, std::string>> shown() {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }
    std::vector<std::string> boxes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }

private:
    static std::string text_of(HWND w, int id) {
        wchar_t t[512] {};
        GetDlgItemTextW(w, id, t, 512);
        return narrow(t);
    }
    void run() {
        std::size_t next = 0;
        while (!stop_) {
            if (HWND box = FindWindowW(L"#32770", L"Tolvek")) {
                std::lock_guard<std::mutex> lock(mutex_);
                boxes_.push_back(text_of(box, 0xFFFF));
                PostMessageW(box, WM_COMMAND, IDNO, 0);
                while (IsWindow(box)) Sleep(20);
            }
            HWND dialog = FindWindowW(L"TolvekDialog", L"Tolvek");
            if (dialog && IsWindowVisible(dialog)) {
                Sleep(100);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    shown_.emplace_back(text_of(dialog, kIdTitle), text_of(dialog, kIdBody));
                }
                if (meanwhile_) meanwhile_();
                const std::string answer = next < answers_.size() ? answers_[next++] : "";
                if (answer.empty()) {
                    PostMessageW(dialog, WM_COMMAND, kIdSecond, 0);
                } else {
                    HWND field = GetDlgItem(dialog, kIdEdit);
                    for (wchar_t c : wide(answer)) SendMessageW(field, WM_CHAR, c, 0);
                    PostMessageW(dialog, WM_COMMAND, kIdPrimary, 0);
                }
                while (IsWindow(dialog)) Sleep(20);
            }
            Sleep(30);
        }
    }
    std::vector<std::string> answers_;
    std::function<void()> meanwhile_;
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> shown_;
    std::vector<std::string> boxes_;
    std::atomic<bool> stop_ {false};
    std::thread thread_;
};

class Enrolling : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        service.reset();
        saved = lock_app_state()->settings;
        auto app = lock_app_state();
        app->settings.server = service.base();
        app->settings.token.clear();
        app->settings.code.clear();
        app->settings.firm.clear();
        remove_file(Env::data->file("tolvek.log"));
    }
    void TearDown() override {
        if (service.available()) lock_app_state()->settings = saved;
    }
    std::string log() const { return read_file(Env::data->file("tolvek.log")).value_or(""); }
    static Settings stored() { return parse_settings(read_file(config_path()).value_or("")).settings; }

    test::DevService service;
    Settings saved;
};

const std::pair<std::string, std::string> kFirstAsk {
    "Firmen-Code eingeben",
    "Den Code finden Sie in der Einladung oder bei Ihrer IT.\nEr sieht so aus: ST-3PVA-8RKE"};
const std::pair<std::string, std::string> kAskAgain {
    "Code nicht angenommen", "Bitte den aktuellen Firmen-Code eingeben.\nEr sieht so aus: ST-3PVA-8RKE"};

TEST_F(Enrolling, StoredCodeNeedsNoQuestion) {
    service.config({{"latest", "0.6.0"}, {"audio", "opus"}});
    lock_app_state()->settings.code = "ST-3PVA-8RKE";
    DialogAnswerer answerer({});
    EXPECT_TRUE(ensure_enrolled());
    EXPECT_TRUE(answerer.shown().empty());
    const Settings s = stored();
    EXPECT_EQ(s.code, "ST-3PVA-8RKE");
    EXPECT_FALSE(s.token.empty());
    EXPECT_EQ(s.firm, "Muster GmbH");
    EXPECT_EQ(s.audio, "opus");
    EXPECT_EQ(lock_app_state()->offered_version, "0.6.0");
    EXPECT_NE(log().find(" angemeldet\n"), std::string::npos);
}

TEST_F(Enrolling, RefusedCodeAsksAgainAndLooseInputIsNormalised) {
    service.config({{"reject_codes", {"ST-AAAA-BBBB"}}});
    DialogAnswerer answerer({"st-aaaa-bbbb", "st 3pva 8rke"});
    EXPECT_TRUE(ensure_enrolled());
    EXPECT_EQ(answerer.shown(), (std::vector<std::pair<std::string, std::string>> {kFirstAsk, kAskAgain}));
    EXPECT_EQ(stored().code, "ST-3PVA-8RKE");
    EXPECT_NE(log().find(" Anmeldung abgelehnt: Firmen-Code nicht bekannt\n"), std::string::npos);
}

TEST_F(Enrolling, CancelLeavesTheUserNotEnrolled) {
    DialogAnswerer answerer({""});
    EXPECT_FALSE(ensure_enrolled());
    EXPECT_TRUE(lock_app_state()->settings.token.empty());
    EXPECT_EQ(answerer.shown().size(), 1u);
}

TEST_F(Enrolling, FieldTakesTwentyCapitals) {
    DialogAnswerer answerer({"abcdefghijklmnopqrstuvwxyz"});
    const auto typed = ask_company_code("Firmen-Code eingeben", "x");
    ASSERT_TRUE(typed.has_value());
    EXPECT_EQ(*typed, "ABCDEFGHIJKLMNOPQRST");
}

TEST_F(Enrolling, UnreachableServiceWarnsOnceAndKeepsTheCode) {
    lock_app_state()->settings.server = "http://127.0.0.1:1";
    DialogAnswerer answerer({"ST-3PVA-8RKE"});
    const std::size_t calls = Env::tray->calls().size();
    EXPECT_FALSE(ensure_enrolled());
    ASSERT_EQ(Env::tray->calls().size(), calls + 1);
    EXPECT_EQ(Env::tray->calls().back().info,
              "Anmeldung gerade nicht möglich: Keine Verbindung zum Server. Bitte die Internetverbindung prüfen.");
    EXPECT_EQ(stored().code, "ST-3PVA-8RKE") << "tried again without asking next time";
    EXPECT_NE(log().find(" Anmeldung fehlgeschlagen: Keine Verbindung zum Server."), std::string::npos);
}

TEST_F(Enrolling, CodesFromLinks) {
    lock_app_state()->settings.code = "ST-3PVA-8RKE";
    ASSERT_TRUE(ensure_enrolled());
    std::size_t calls = Env::tray->calls().size();
    EXPECT_TRUE(apply_code_from_link("ST-3PVA-8RKE", true, true));
    ASSERT_EQ(Env::tray->calls().size(), calls + 1);
    EXPECT_EQ(Env::tray->calls().back().info, "Tolvek ist bereits mit Muster GmbH verbunden.");

    // Another company asks first; No keeps everything.
    const std::string token = lock_app_state()->settings.token;
    {
        DialogAnswerer answerer({});
        EXPECT_TRUE(apply_code_from_link("ST-CCCC-DDDD", true, true));
        ASSERT_EQ(answerer.boxes().size(), 1u);
        EXPECT_EQ(answerer.boxes()[0], "Tolvek mit einer anderen Firma verbinden?\n\nFirmen-Code: ST-CCCC-DDDD\n"
                                       "Bisher verbunden mit Muster GmbH.");
    }
    EXPECT_EQ(lock_app_state()->settings.token, token);

    // Without asking, a refused code leaves the enrollment intact.
    service.config({{"reject_codes", {"ST-CCCC-DDDD"}}});
    {
        DialogAnswerer answerer({""});
        EXPECT_TRUE(apply_code_from_link("ST-CCCC-DDDD", false, true));
    }
    EXPECT_EQ(lock_app_state()->settings.token, token);
    EXPECT_EQ(lock_app_state()->settings.code, "ST-3PVA-8RKE");

    // An accepted new code is announced.
    calls = Env::tray->calls().size();
    EXPECT_TRUE(apply_code_from_link("ST-EEEE-FFFF", false, true));
    EXPECT_EQ(lock_app_state()->settings.code, "ST-EEEE-FFFF");
    EXPECT_NE(log().find(" Firmen-Code übernommen\n"), std::string::npos);
    EXPECT_EQ(Env::tray->calls().back().info, "Angemeldet für Muster GmbH.");
}

// "Firmen-Code ändern …" from the menu: only an accepted code replaces the login.
TEST_F(Enrolling, MenuChangeOfTheCompanyCode) {
    lock_app_state()->settings.code = "ST-3PVA-8RKE";
    ASSERT_TRUE(ensure_enrolled());
    const Settings before = lock_app_state()->settings;
    const HWND window = lock_app_state()->main_window;
    const auto same_login = [&](const Settings& s) {
        return s.code == before.code && s.token == before.token && s.firm == before.firm;
    };

    {
        DialogAnswerer answerer({""});  // cancelled
        run_menu_command(window, kCmdCompanyCode);
        ASSERT_EQ(answerer.shown().size(), 1u);
        EXPECT_EQ(answerer.shown()[0], (std::pair<std::string, std::string> {
                                           "Angemeldet bei Muster GmbH",
                                           "Mit einem neuen Firmen-Code wechseln Sie die Firma."}));
    }
    EXPECT_TRUE(same_login(lock_app_state()->settings));
    EXPECT_TRUE(same_login(stored()));

    // A refused code, then cancelled; a hello's answer saves the settings while the dialogs are
    // open: neither the new code nor an empty token reaches the disk.
    service.config({{"reject_codes", {"ST-CCCC-DDDD"}}});
    {
        DialogAnswerer answerer({"ST-CCCC-DDDD", ""}, [] { save_settings(lock_app_state()->settings); });
        run_menu_command(window, kCmdCompanyCode);
        EXPECT_EQ(answerer.shown().size(), 2u);
    }
    EXPECT_TRUE(same_login(lock_app_state()->settings));
    EXPECT_TRUE(same_login(stored()));

    // The service cannot be reached: warned once, and the old login stays in memory and on disk.
    lock_app_state()->settings.server = "http://127.0.0.1:1";
    std::size_t calls = Env::tray->calls().size();
    {
        DialogAnswerer answerer({"ST-CCCC-DDDD"});
        run_menu_command(window, kCmdCompanyCode);
    }
    ASSERT_EQ(Env::tray->calls().size(), calls + 1);
    EXPECT_EQ(Env::tray->calls().back().info.rfind("Anmeldung gerade nicht möglich: ", 0), 0u);
    EXPECT_TRUE(same_login(lock_app_state()->settings));
    EXPECT_TRUE(same_login(stored()));

    // Accepted: the new code and token are stored and announced.
    lock_app_state()->settings.server = service.base();
    service.config({{"firm", "Beispiel AG"}, {"reject_codes", Json::array()}});
    calls = Env::tray->calls().size();
    {
        DialogAnswerer answerer({"st-cccc-dddd"});
        run_menu_command(window, kCmdCompanyCode);
    }
    const Settings now = stored();
    EXPECT_EQ(now.code, "ST-CCCC-DDDD");
    EXPECT_FALSE(now.token.empty());
    EXPECT_NE(now.token, before.token);
    EXPECT_EQ(now.firm, "Beispiel AG");
    ASSERT_EQ(Env::tray->calls().size(), calls + 1);
    EXPECT_EQ(Env::tray->calls().back().info, "Angemeldet für Beispiel AG.");
}

// A user not enrolled yet: a refused code from the menu, then cancelled, is not kept, so the
// next press of the talk key asks instead of recording for a login that is refused.
TEST_F(Enrolling, RefusedMenuCodeIsNotKept) {
    service.config({{"reject_codes", {"ST-CCCC-DDDD"}}});
    const HWND window = lock_app_state()->main_window;
    {
        DialogAnswerer answerer({"ST-CCCC-DDDD", ""});
        run_menu_command(window, kCmdCompanyCode);
        EXPECT_EQ(answerer.shown(), (std::vector<std::pair<std::string, std::string>> {kFirstAsk, kAskAgain}));
    }
    EXPECT_EQ(lock_app_state()->settings.code, "");
    EXPECT_EQ(lock_app_state()->settings.token, "");
}

// A long company name in the heading ends in an ellipsis on its one line.
TEST(CodeDialog, LongCompanyNameEndsInAnEllipsis) {
    std::thread helper([] {
        HWND dialog = nullptr;
        for (int i = 0; i < 200 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(25)) {
            dialog = FindWindowW(L"TolvekDialog", nullptr);
        }
        if (!dialog) return;
        Sleep(200);
        test::expect_looks_like(GetDlgItem(dialog, kIdTitle), "code-heading-long");
        PostMessageW(dialog, WM_COMMAND, kIdSecond, 0);
    });
    EXPECT_EQ(ask_company_code("Angemeldet bei Landesbetrieb für Informationstechnik und Kommunikation Nordrhein-"
                               "Westfalen",
                               "Mit einem neuen Firmen-Code wechseln Sie die Firma."),
              std::nullopt);
    helper.join();
}

int visible_dialogs() {
    int count = 0;
    EnumWindows(
        [](HWND w, LPARAM counter) -> BOOL {
            wchar_t cls[32] {};
            GetClassNameW(w, cls, 32);
            if (std::wstring(cls) == L"TolvekDialog" && IsWindowVisible(w)) ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// One dialog at a time: "Technik-Info …" and "Letzte Diktate" chosen while the company-code
// dialog is open bring that dialog to the front; it keeps working and returns what was typed.
TEST(DialogFrame, OneDialogAtATime) {
    const HWND main_window = lock_app_state()->main_window;
    std::atomic<int> seen_while_open {-1};
    std::thread helper([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 200 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(25)) {
            dialog = FindWindowW(L"TolvekDialog", L"Tolvek");
        }
        PostMessageW(main_window, WM_COMMAND, kCmdTechInfo, 0);
        PostMessageW(main_window, WM_COMMAND, kCmdAllRecent, 0);
        Sleep(200);
        seen_while_open = visible_dialogs();
        HWND field = GetDlgItem(dialog, kIdEdit);
        for (wchar_t c : std::wstring(L"ST-3PVA-8RKE")) SendMessageW(field, WM_CHAR, c, 0);
        PostMessageW(dialog, WM_COMMAND, kIdPrimary, 0);
    });
    const auto typed = ask_company_code("Firmen-Code eingeben", "x");
    helper.join();
    EXPECT_EQ(seen_while_open, 1) << "no second dialog opened";
    EXPECT_EQ(typed, "ST-3PVA-8RKE") << "the open dialog's loop was not ended by another window";
    EXPECT_EQ(visible_dialogs(), 0);
}

RECT client_rect_of(HWND dialog, int id) {
    RECT r {};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST(DialogFrame, ControlsWhereTheyBelong) {
    ASSERT_EQ(GetDpiForSystem(), 96u) << "positions below are at 96 dpi";
    TolvekDialogState state;
    HWND dialog = create_dialog(L"TolvekDialog", "Titel", "eins\nzwei\ndrei", 460, 220, state);
    add_buttons(dialog, 460, 220, {{"Anmelden", kIdPrimary}, {"Abbrechen", kIdSecond}});
    RECT client {};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 460);
    EXPECT_EQ(client.bottom, 220);
    const RECT body = client_rect_of(dialog, kIdBody);
    EXPECT_EQ(body.bottom - body.top, 64);
    EXPECT_EQ(body.left, 24);
    EXPECT_EQ(body.top, 54);
    const RECT first = client_rect_of(dialog, kIdPrimary);
    const RECT second = client_rect_of(dialog, kIdSecond);
    EXPECT_EQ(first.left, 212);
    EXPECT_EQ(second.left, 328);
    EXPECT_EQ(first.top, 220 - 46);
    EXPECT_EQ(first.right - first.left, 108);
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, kIdPrimary), GWL_STYLE) & BS_OWNERDRAW);
    EXPECT_EQ(GetWindowLongW(GetDlgItem(dialog, kIdSecond), GWL_STYLE) & BS_TYPEMASK,
              static_cast<LONG>(BS_PUSHBUTTON));
    wchar_t caption[16] {};
    GetWindowTextW(dialog, caption, 16);
    EXPECT_STREQ(caption, L"Tolvek");
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);

    // A static in the bottom 60 pixels sits on the footer grey, one above on white.
    HWND low = add_control(dialog, L"STATIC", "unten", 0, 24, 170, 100, 20, 95, DialogFont::Small);
    HWND high = add_control(dialog, L"STATIC", "oben", 0, 24, 120, 100, 20, 96, DialogFont::Small);
    const auto brush_colour = [&](HWND control) {
        HDC dc = CreateCompatibleDC(nullptr);
        const auto brush = reinterpret_cast<HBRUSH>(
            SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
        const COLORREF text = GetTextColor(dc);
        DeleteDC(dc);
        LOGBRUSH lb {};
        GetObjectW(brush, sizeof lb, &lb);
        return std::pair {lb.lbColor, text};
    };
    EXPECT_EQ(brush_colour(low).first, RGB(244, 245, 247));
    EXPECT_EQ(brush_colour(high).first, RGB(255, 255, 255));
    EXPECT_EQ(brush_colour(GetDlgItem(dialog, kIdTitle)).second, RGB(27, 35, 51));
    EXPECT_EQ(brush_colour(GetDlgItem(dialog, kIdBody)).second, RGB(90, 98, 115));
    EXPECT_EQ(brush_colour(high).second, RGB(58, 66, 82));

    // What the screen shows: white above, the grey footer band, the dark first button.
    ShowWindow(dialog, SW_SHOW);
    test::pump_for(std::chrono::milliseconds(500));
    HDC screen = GetDC(dialog);
    const auto pixel = [&](int x, int y) { return GetPixel(screen, x, y); };
    EXPECT_EQ(pixel(10, 140), RGB(255, 255, 255));
    EXPECT_EQ(pixel(10, 215), RGB(244, 245, 247));
    EXPECT_EQ(pixel(10, 160), RGB(230, 232, 236)) << "the line along the footer's top edge";
    EXPECT_EQ(pixel(212 + 54, 220 - 46 + 4), RGB(27, 35, 51)) << "primary button";
    ReleaseDC(dialog, screen);
    DestroyWindow(dialog);
}

TEST(DialogFrame, EnterSendsAndEscapeCancels) {
    for (const WPARAM key : {WPARAM(VK_RETURN), WPARAM(VK_ESCAPE)}) {
        std::thread typist([key] {
            HWND dialog = nullptr;
            for (int i = 0; i < 200 && !(dialog = FindWindowW(L"TolvekDialog", L"Tolvek")); ++i) Sleep(20);
            Sleep(200);
            HWND field = GetDlgItem(dialog, kIdEdit);
            for (wchar_t c : std::wstring(L"st3pva8rke")) SendMessageW(field, WM_CHAR, c, 0);
            PostMessageW(field, WM_KEYDOWN, key, 0);
        });
        const auto result = ask_company_code("Firmen-Code eingeben", "x");
        typist.join();
        if (key == VK_RETURN) {
            EXPECT_EQ(result, "ST-3PVA-8RKE");
        } else {
            EXPECT_EQ(result, std::nullopt);
        }
    }
}

TEST_F(Enrolling, ManualUpdateCheckNeedsACode) {
    const std::size_t calls = Env::tray->calls().size();
    start_hello(true);
    ASSERT_EQ(Env::tray->calls().size(), calls + 1);
    EXPECT_EQ(Env::tray->calls().back().info, "Bitte zuerst den Firmen-Code eingeben.");
    EXPECT_EQ(Env::tray->calls().back().info_flags, static_cast<DWORD>(NIIF_WARNING));
    start_hello(false);
    EXPECT_EQ(Env::tray->calls().size(), calls + 1) << "an automatic hello stays silent";
}

TEST(DialogFrame, Layout) {
    EXPECT_EQ(body_height("eins\nzwei\ndrei"), 64);
    EXPECT_EQ(body_height("eins"), 24);
    EXPECT_EQ(button_x(460, 2, 0), 212);
    EXPECT_EQ(button_x(460, 2, 1), 328);
}

}  // namespace
}  // namespace tolvek
