// "Wörterbuch" in this process: adding, sharing and removing words in the pills view, against
// the development service's company list.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "e2e/message_boxes.h"
#include "accessibility.h"
#include "environment.h"
#include "net/devservice_client.h"
#include "net/dictionary.h"
#include "net/hello.h"
#include "pictures.h"
#include "util/win_text.h"
#include "windows/dialogs.h"
#include "windows/window_procs.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using Env = test::DictationEnvironment;

constexpr int kIdWord = 200, kIdShareBox = 201, kIdPills = 300;

int dpi_scaled(int length) { return MulDiv(length, static_cast<int>(GetDpiForSystem()), 96); }

// Pumps this thread's messages for a while (a window of it must answer the system).
void pump_for(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    MSG msg;
    while (GetTickCount() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(20);
    }
}

// The thread that owns `window` has the keyboard focus on this window.
HWND focus_of(HWND window) {
    GUITHREADINFO info {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}


class DictionaryWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!service.available()) GTEST_SKIP() << "needs the development service";
        service.reset();
        service.config({{"terms", {"Kestrom"}}});
        saved = lock_app_state()->settings;
        auto app = lock_app_state();
        app->settings.server = service.base();
        app->settings.token = std::get<Enrollment>(enroll(service.base(), "ST-3PVA-8RKE")).token;
        app->settings.firm = "Muster GmbH";
        remove_file(dictionary_path());
    }
    void TearDown() override {
        if (service.available()) lock_app_state()->settings = saved;
        remove_file(dictionary_path());
    }
    // Opens the window here and lets `user` act on it from a second thread, then closes it.
    void with_window(const std::function<void(HWND window, HWND pills)>& user) {
        std::thread helper([&] {
            HWND window = nullptr;
            for (int i = 0; i < 200 && !(window && IsWindowVisible(window)); ++i, Sleep(25)) {
                window = FindWindowW(L"TolvekWords", nullptr);
            }
            if (!window) return;
            Sleep(200);
            user(window, GetDlgItem(window, kIdPills));
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        });
        open_dictionary();
        helper.join();
    }
    static void type(HWND window, const std::wstring& word, bool for_all = false) {
        SendDlgItemMessageW(window, kIdShareBox, BM_SETCHECK, for_all ? BST_CHECKED : BST_UNCHECKED, 0);
        SetDlgItemTextW(window, kIdWord, word.c_str());
        SendMessageW(window, WM_COMMAND, IDOK, 0);
    }
    static std::vector<HitArea> marks_of(HWND pills, std::size_t word) {
        std::vector<HitArea> areas;
        for (const HitArea& a : pill_areas(pills)) {
            if (a.index == word && a.kind != HitKind::Pill) areas.push_back(a);
        }
        return areas;
    }
    static std::vector<HitKind> marks(HWND pills, std::size_t word) {
        std::vector<HitKind> kinds;
        for (const HitArea& a : marks_of(pills, word)) kinds.push_back(a.kind);
        return kinds;
    }
    // Puts the pointer on the word's pill and waits for the paint that shows its marks.
    static void hover(HWND pills, std::size_t word) {
        // The areas come from the paint after the last change: wait for it.
        const auto has_pill = [&] {
            for (const HitArea& a : pill_areas(pills)) {
                if (a.index == word) return true;
            }
            return false;
        };
        for (int i = 0; i < 40 && !has_pill(); ++i) Sleep(25);
        for (const HitArea& a : pill_areas(pills)) {
            if (a.index == word && a.kind == HitKind::Pill) {
                POINT p {a.rect.left + 2, a.rect.top + 2};
                ClientToScreen(pills, &p);
                SetCursorPos(p.x, p.y);
                SendMessageW(pills, WM_MOUSEMOVE, 0, MAKELPARAM(a.rect.left + 2, a.rect.top + 2));
                for (int i = 0; i < 40 && marks(pills, word).empty(); ++i) Sleep(25);
                return;
            }
        }
        ADD_FAILURE() << "no pill for word " << word;
    }
    static void click(HWND pills, std::size_t word, HitKind kind) {
        for (const HitArea& a : pill_areas(pills)) {
            if (a.index == word && a.kind == kind) {
                PostMessageW(pills, WM_LBUTTONUP, 0, MAKELPARAM(a.rect.left + 1, a.rect.top + 2));
                return;
            }
        }
        ADD_FAILURE() << "no such mark on word " << word;
    }
    std::size_t dictionary_posts() const {
        std::size_t n = 0;
        for (const Json& r : service.requests()) n += r["path"] == "/v1/app/dictionary" && r["method"] == "POST";
        return n;
    }
    bool logged(const std::string& line) const {
        for (int i = 0; i < 100; ++i, Sleep(50)) {
            if (log().find(line) != std::string::npos) return true;
        }
        return false;
    }
    std::vector<std::string> company() const {
        auto words = fetch_company_words(service.base(), lock_app_state()->settings.token);
        return words.get();
    }
    std::string log() const { return read_file(Env::data->file("tolvek.log")).value_or(""); }

    test::DevService service;
    Settings saved;
};

TEST_F(DictionaryWindow, AddShareAndRemove) {
    test::MessageBoxAnswerer answerer(IDNO);
    HWND words_window = nullptr;
    with_window([&](HWND window, HWND pills) {
        words_window = window;
        // Word 0 is the company's "Kestrom".
        type(window, L"  Müller  ");
        type(window, L"müller");
        type(window, L"MÜLLER");
        EXPECT_EQ(read_file(dictionary_path()), "Müller\r\nMÜLLER") << "saved after every change";
        char field[64] {};
        GetDlgItemTextA(window, kIdWord, field, 64);
        EXPECT_STREQ(field, "") << "the field is cleared";

        hover(pills, 0);
        EXPECT_EQ(marks(pills, 0), std::vector<HitKind> {HitKind::Remove}) << "a company word offers only ×";
        hover(pills, 1);
        EXPECT_EQ(marks(pills, 1), (std::vector<HitKind> {HitKind::Share, HitKind::Remove}));

        // Sharing by the box with another spelling shares the listed one, "Müller".
        type(window, L"müller", true);
        Sleep(300);
        type(window, L"Huber", true);
        Sleep(500);

        // Removing an own word asks nothing; removing a company word asks, and No keeps it.
        hover(pills, 2);
        click(pills, 2, HitKind::Remove);
        Sleep(300);
        hover(pills, 0);
        click(pills, 0, HitKind::Remove);
        Sleep(800);
    });
    EXPECT_EQ(answerer.texts(), std::vector<std::string> {"„Kestrom“ für alle bei Muster GmbH entfernen?\n\nDas Wort "
                                                          "verschwindet dann für jeden in der Firma."});
    EXPECT_EQ(answerer.owners(), (std::vector<test::MessageBoxAnswerer::Owner> {{words_window, false}}))
        << "the question is the window's own: the window cannot be used meanwhile";
    EXPECT_EQ(company(), (std::vector<std::string> {"Kestrom", "Müller", "Huber"}));
    EXPECT_EQ(read_file(dictionary_path()), "") << "no own word is left";
    EXPECT_NE(log().find(" Wörterbuch: 3 Wörter\n"), std::string::npos) << log();
}

TEST_F(DictionaryWindow, YesRemovesTheCompanyWord) {
    test::MessageBoxAnswerer answerer(IDYES);
    with_window([&](HWND, HWND pills) {
        hover(pills, 0);
        click(pills, 0, HitKind::Remove);
        Sleep(800);
    });
    EXPECT_EQ(answerer.texts().size(), 1u);
    EXPECT_TRUE(company().empty());
}

TEST_F(DictionaryWindow, ManyWordsWrapAndScroll) {
    std::string file;
    for (int i = 0; i < 150; ++i) file += (i ? "\r\n" : "") + std::string("Begriff") + std::to_string(i);
    write_file_flushed(dictionary_path(), file);
    with_window([&](HWND window, HWND pills) {
        const auto first = pill_areas(pills);
        ASSERT_FALSE(first.empty());
        EXPECT_GT(first.back().rect.top, first.front().rect.top) << "the pills wrap to new rows";
        // A word in the middle of the view, before and after one notch.
        const auto middle = std::find_if(first.begin(), first.end(), [](const HitArea& a) { return a.rect.top > 100; });
        ASSERT_NE(middle, first.end());
        const auto top_of = [&](std::size_t word) {
            for (const HitArea& a : pill_areas(pills)) {
                if (a.index == word) return a.rect.top;
            }
            return LONG {-1000};
        };
        const LONG before = middle->rect.top;
        // The wheel reaches the focused word field: it scrolls the pills all the same.
        SendMessageW(GetDlgItem(window, kIdWord), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
        Sleep(300);  // the next paint lays the pills out again
        EXPECT_EQ(top_of(middle->index), before - dpi_scaled(40)) << "one notch scrolls 40 pixels at 96 dpi";
        for (int i = 0; i < 60; ++i) SendMessageW(pills, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
        Sleep(300);
        const auto bottom = pill_areas(pills);
        RECT client {};
        GetClientRect(pills, &client);
        EXPECT_EQ(bottom.back().rect.bottom, client.bottom - dpi_scaled(26) - dpi_scaled(10))
            << "the last row whole above the legend, never beyond its margin";
    });
}

TEST_F(DictionaryWindow, EmptyListWithoutCompanyLooksLikeThis) {
    {
        auto app = lock_app_state();
        app->settings.token.clear();
        app->settings.firm.clear();
    }
    with_window([&](HWND window, HWND pills) {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kIdShareBox))) << "no company token: nothing to share";
        test::expect_looks_like(pills, "pills-empty");
        type(window, L"Müller");
        type(window, L"Kestrom");
        hover(pills, 0);
        test::expect_looks_like(pills, "pills-hover");
    });
}

// "↑" registers the word as waiting for the service before it saves: until the service has it,
// the word stays in schreibweisen.txt, whatever ends Tolvek meanwhile.
TEST_F(DictionaryWindow, SharingByTheArrowKeepsTheWordUntilTheServiceHasIt) {
    write_file_flushed(dictionary_path(), "Müller");
    with_window([&](HWND, HWND pills) {
        service.next({{"path", "/v1/app/dictionary"}, {"delay", 2}});  // the sharing's answer comes late
        hover(pills, 1);
        click(pills, 1, HitKind::Share);
        Sleep(500);
        EXPECT_EQ(read_file(dictionary_path()), "Müller") << "left the file before the service had it";
        ASSERT_TRUE(logged("Firmen-Wörterbuch: 1 freigegeben, 0 entfernt\n")) << log();
    });
    EXPECT_EQ(read_file(dictionary_path()), "") << "confirmed: the company's now";
}

// A word the service refused to share stays the user's: "Wörterbuch …" chosen again while the
// window is open keeps it, and removing it asks nothing and sends nothing.
TEST_F(DictionaryWindow, RefusedSharingStaysAnOwnWord) {
    const auto refuse = [&] {
        service.next({{"path", "/v1/app/dictionary"}, {"status", 503},
                      {"body", {{"error", {{"message", "Wartung"}}}}}});
    };
    // The menu item chosen again while the window is open, from within its loop.
    static std::atomic<bool> chosen_again {false};
    chosen_again = false;
    SetTimer(nullptr, 0, 2500, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        open_dictionary();
        chosen_again = true;
    });
    with_window([&](HWND window, HWND) {
        refuse();
        type(window, L"Huber", true);
        ASSERT_TRUE(logged("Firmen-Wörterbuch: Wartung\n")) << log();
        for (int i = 0; i < 200 && !chosen_again; ++i) Sleep(25);
        EXPECT_TRUE(chosen_again);
        EXPECT_EQ(FindWindowW(L"TolvekWords", nullptr), window) << "one window only";
    });
    EXPECT_EQ(read_file(dictionary_path()), "Huber") << "the refused word was dropped";

    remove_file(Env::data->file("tolvek.log"));
    test::MessageBoxAnswerer answerer(IDYES);
    with_window([&](HWND window, HWND pills) {
        refuse();
        type(window, L"Huber", true);  // an own word now: sharing it is asked of the service again
        ASSERT_TRUE(logged("Firmen-Wörterbuch: Wartung\n")) << log();
        const std::size_t posts = dictionary_posts();
        hover(pills, 1);
        click(pills, 1, HitKind::Remove);
        Sleep(800);
        EXPECT_EQ(dictionary_posts(), posts) << "a company removal for a word the company never had";
        EXPECT_EQ(read_file(dictionary_path()), "");
    });
    EXPECT_TRUE(answerer.texts().empty()) << answerer.texts()[0];
    EXPECT_EQ(read_file(dictionary_path()), "") << "it came back";
    EXPECT_EQ(local_spellings(), std::vector<std::string> {});
}

// A disk that refuses the file: the user is told once, the words stay in the window, and
// closing it asks before they go; once the disk takes the file again, everything is saved.
TEST_F(DictionaryWindow, FailedSaveIsToldAndLosesNothing) {
    const std::string blocker = dictionary_path() + ".tmp";
    ASSERT_TRUE(create_directories(blocker));
    const std::size_t calls = Env::tray->calls().size();
    test::MessageBoxAnswerer answerer(IDNO);
    with_window([&](HWND window, HWND pills) {
        type(window, L"Müller");
        type(window, L"Huber");
        Sleep(300);
        EXPECT_EQ(pill_areas(pills).size(), 3u) << "Kestrom, Müller and Huber stay in the window";

        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);  // "Fertig": asks, No keeps the window
        for (int i = 0; i < 100 && answerer.texts().empty(); ++i) Sleep(30);
        Sleep(300);
        EXPECT_TRUE(IsWindow(window));
        RemoveDirectoryW(wide(blocker).c_str());
        type(window, L"Meier");
    });
    EXPECT_EQ(answerer.texts(), std::vector<std::string> {"Das Wörterbuch ließ sich nicht speichern.\n\nTrotzdem "
                                                          "schließen? Die Wörter, die nur im Fenster stehen, gehen "
                                                          "dann verloren."});
    ASSERT_EQ(Env::tray->calls().size(), calls + 1) << "told once";
    EXPECT_EQ(Env::tray->calls().back().info,
              "Das Wörterbuch ließ sich nicht speichern. Die Wörter bleiben im offenen Fenster; Tolvek versucht "
              "es bei jeder Änderung wieder.");
    EXPECT_EQ(Env::tray->calls().back().info_flags & NIIF_WARNING, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(read_file(dictionary_path()), "Müller\r\nHuber\r\nMeier");
}

// Without a mouse: Tab reaches the pills, the arrows move between words, Enter shares an own
// word, Entf removes one; a screen reader reads the words with their kind and follows the
// keyboard.
TEST_F(DictionaryWindow, KeyboardAndScreenReader) {
    write_file_flushed(dictionary_path(), "Alpha\r\nBeta\r\nGamma");
    with_window([&](HWND window, HWND pills) {
        const test::ReadOut first = test::read_out(pills);
        EXPECT_EQ(first.role, ROLE_SYSTEM_LIST);
        EXPECT_EQ(first.description, "Pfeiltasten: Wort wählen · Enter: für alle freigeben · Entf: entfernen");
        EXPECT_EQ(first.items, (std::vector<std::pair<std::string, std::string>> {
                                   {"Kestrom", "für alle"}, {"Alpha", "nur bei mir"}, {"Beta", "nur bei mir"},
                                   {"Gamma", "nur bei mir"}}));
        EXPECT_EQ(focus_of(window), GetDlgItem(window, kIdWord)) << "the keyboard starts in the word field";

        SetForegroundWindow(window);
        const auto press = [](WORD key) {
            test::keys({{key, true}, {key, false}});
            Sleep(250);
        };
        for (int i = 0; i < 3; ++i) press(VK_TAB);  // "für alle", "Hinzufügen", the pills
        ASSERT_EQ(focus_of(window), pills);
        EXPECT_EQ(test::read_out(pills).focused, 1) << "the first word";
        press(VK_RIGHT);
        EXPECT_EQ(test::read_out(pills).focused, 2);
        press(VK_RETURN);  // shares "Alpha"
        EXPECT_TRUE(logged("Firmen-Wörterbuch: 1 freigegeben, 0 entfernt\n")) << log();
        ASSERT_EQ(test::read_out(pills).items.size(), 4u);
        EXPECT_EQ(test::read_out(pills).items[1], (std::pair<std::string, std::string> {"Alpha", "für alle"}));
        press(VK_RIGHT);
        press(VK_DELETE);  // "Beta", an own word: no question
        ASSERT_EQ(test::read_out(pills).items.size(), 3u);
        EXPECT_EQ(test::read_out(pills).focused, 3) << "on the word after the removed one";
        press(VK_HOME);
        EXPECT_EQ(test::read_out(pills).focused, 1);
        press(VK_END);
        EXPECT_EQ(test::read_out(pills).items[2].first, "Gamma");
        EXPECT_EQ(test::read_out(pills).focused, 3);
        EXPECT_EQ(read_file(dictionary_path()), "Gamma");
    });
    EXPECT_EQ(company(), (std::vector<std::string> {"Kestrom", "Alpha"}));
}

// Coming back to the window (Alt+Tab, after another window) puts the keyboard back where it was.
TEST_F(DictionaryWindow, FocusComesBackWithTheWindow) {
    with_window([&](HWND window, HWND) {
        const HWND field = GetDlgItem(window, kIdWord);
        const HWND other = CreateWindowExW(0, L"STATIC", L"anderes Programm", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                                           nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(other);
        pump_for(400);
        EXPECT_NE(GetForegroundWindow(), window);
        SetForegroundWindow(window);
        pump_for(400);
        EXPECT_EQ(focus_of(window), field) << "typing would go nowhere";
        DestroyWindow(other);
    });
}

// A word wider than the view is cut so that its marks stay inside; a long company name gives
// way in the legend so that "● nur bei mir" stays in sight.
TEST_F(DictionaryWindow, LongWordsAndNamesFit) {
    lock_app_state()->settings.firm =
        "Landesbetrieb für Informationstechnik und Kommunikation des Landes Nordrhein-Westfalen";
    write_file_flushed(dictionary_path(),
                       "Donaudampfschifffahrtselektrizitätenhauptbetriebswerkbauunterbeamtengesellschaftsvorstandsmit"
                       "gliederversammlungsprotokollführerstellvertreterinnenausweishüllenfabrikationsanlagen\r\nKurz");
    with_window([&](HWND, HWND pills) {
        hover(pills, 1);
        RECT client {};
        GetClientRect(pills, &client);
        const auto marks = marks_of(pills, 1);
        ASSERT_EQ(marks.size(), 2u);
        EXPECT_LE(marks.back().rect.right, client.right - dpi_scaled(10)) << "the × is out of reach";
        test::expect_looks_like(pills, "pills-long");
    });
}

}  // namespace
}  // namespace tolvek
