// The "Technik-Info" and "Letzte Diktate" windows in this process: what they show, and copying
// an entry with a click. A helper thread looks at the modal window and closes it.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "build_config.h"
#include "dictation/dictation.h"
#include "e2e/input_helpers.h"
#include "environment.h"
#include "base/app_state.h"
#include "net/system_facts.h"
#include "windows/dialogs.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

// Runs `look` on a helper thread once the dialog is open, then closes it with "Schließen".
void with_open_dialog(const std::function<void()>& open, const std::function<void(HWND)>& look) {
    std::thread helper([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 200 && !(dialog = FindWindowW(L"TolvekDialog", nullptr)); ++i) Sleep(25);
        if (!dialog) {
            ADD_FAILURE() << "no dialog opened";
            return;
        }
        Sleep(200);
        look(dialog);
        PostMessageW(dialog, WM_COMMAND, 2, 0);
    });
    open();
    helper.join();
}

std::string window_text(HWND window) {
    wchar_t text[8192] {};
    SendMessageW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text));
    return narrow(text);
}

TEST(TechInfoWindow, ShowsVersionCompanyServerAndTheHistory) {
    {
        auto app = lock_app_state();
        app->settings.firm.clear();
        app->settings.region.clear();
    }
    technical_history().add("10:02:03   Aufnahme 2.5 s · Pegel 9000 · Wartezeit 0.4 s · Text eingefügt");
    std::string heading, text;
    with_open_dialog(open_tech_info, [&](HWND dialog) {
        heading = window_text(GetDlgItem(dialog, 90));
        text = window_text(GetDlgItem(dialog, 101));
    });
    EXPECT_EQ(heading, "Technik-Info");
    EXPECT_EQ(text.rfind(std::string("Tolvek ") + kVersion + " · " + windows_edition() +
                             "\r\nFirma: –\r\nServer: https://dienst.example\r\nProxy: direkt\r\nVerarbeitung zuletzt: –\r\n\r\n"
                             "10:02:03   Aufnahme 2.5 s · Pegel 9000 · Wartezeit 0.4 s · Text eingefügt",
                         0),
              0u)
        << text;
}

// Pixels of the "Kopiert" colour inside an item of the list.
int mark_pixels(HWND list, int index) {
    RECT item {};
    SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    const HDC dc = GetDC(list);
    int count = 0;
    for (int y = item.top; y < item.bottom; ++y) {
        for (int x = item.left; x < item.right; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (std::abs(GetRValue(c) - 194) < 30 && std::abs(GetGValue(c) - 71) < 30 && std::abs(GetBValue(c) - 10) < 30) {
                ++count;
            }
        }
    }
    ReleaseDC(list, dc);
    return count;
}

void click_item(HWND list, int index) {
    RECT item {};
    SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    POINT p {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(list, &p);
    test::mouse_to(p.x, p.y);
    Sleep(50);
    test::left_button(true);
    Sleep(50);
    test::left_button(false);
    Sleep(300);
}

TEST(RecentWindow, ClickCopiesAndMovesTheMark) {
    std::string long_text;
    for (int i = 0; i < 300; ++i) long_text += "Ein sehr langes Diktat ";
    const std::vector<RecentDictation> recent {{"10:01", "Erster Text"}, {"09:59", long_text}};
    test::copy_plain(u"vorher");
    std::vector<std::optional<std::u16string>> copies;
    int count = 0, first_height = 0, second_height = 0;
    std::vector<int> marks;
    with_open_dialog([&] { open_recent_dictations(recent); }, [&](HWND dialog) {
        const HWND list = GetDlgItem(dialog, 400);
        count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        first_height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
        second_height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 1, 0));
        marks.push_back(mark_pixels(list, 0));
        click_item(list, 0);
        copies.push_back(test::clipboard());
        marks.push_back(mark_pixels(list, 0));
        test::copy_plain(u"dazwischen");
        click_item(list, 0);
        copies.push_back(test::clipboard());
        click_item(list, 1);
        copies.push_back(test::clipboard());
        marks.push_back(mark_pixels(list, 0));
        marks.push_back(mark_pixels(list, 1));
    });
    EXPECT_EQ(count, 2);
    EXPECT_GT(first_height, 44);
    EXPECT_LT(first_height, 100);
    EXPECT_EQ(second_height, 255) << "a long dictation is cut at 255 pixels";
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_EQ(copies[0], u"Erster Text");
    EXPECT_EQ(copies[1], u"Erster Text") << "the same entry again copies again";
    EXPECT_EQ(copies[2], utf8_to_utf16(long_text));
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[0], 0) << "nothing copied yet";
    EXPECT_GT(marks[1], 10) << "Kopiert at the first entry";
    EXPECT_EQ(marks[2], 0) << "the mark moved away";
    EXPECT_GT(marks[3], 10) << "to the second entry";
}

}  // namespace
}  // namespace tolvek
