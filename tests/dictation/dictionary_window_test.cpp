// "Wörterbuch" in this process: adding, sharing and removing words in the pills view, against
// the development service's company list.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "e2e/message_boxes.h"
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
    static std::vector<HitKind> marks(HWND pills, std::size_t word) {
        std::vector<HitKind> kinds;
        for (const HitArea& a : pill_areas(pills)) {
            if (a.index == word && a.kind != HitKind::Pill) kinds.push_back(a.kind);
        }
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
    with_window([&](HWND window, HWND pills) {
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

        // Sharing by "↑": the word leaves the own list once the service has it.
        click(pills, 1, HitKind::Share);
        Sleep(300);
        // Sharing by the box.
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
    with_window([&](HWND, HWND pills) {
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
        SendMessageW(pills, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
        Sleep(300);  // the next paint lays the pills out again
        EXPECT_EQ(top_of(middle->index), before - 40) << "one notch scrolls 40 pixels";
        for (int i = 0; i < 60; ++i) SendMessageW(pills, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
        Sleep(300);
        const auto bottom = pill_areas(pills);
        RECT client {};
        GetClientRect(pills, &client);
        EXPECT_EQ(bottom.back().rect.bottom, client.bottom - 26 - 10) << "never beyond the last row and its margin";
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

}  // namespace
}  // namespace tolvek
