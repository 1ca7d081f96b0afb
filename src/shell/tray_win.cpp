#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "base/messages.h"
#include "shell/tones.h"
#include "shell/tray.h"
#include "base/app_state.h"
#include "util/win_text.h"

namespace tolvek {
namespace {

std::mutex g_tones_mutex;
std::array<Bytes, kToneCount> g_tones;

void play_from_memory(int, const std::uint8_t* wav) {
    // SND_ASYNC plays from the buffer after this returns; the buffers live until the program
    // ends and are never changed after start-up.
    PlaySoundW(reinterpret_cast<LPCWSTR>(wav), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

std::atomic<TonePlayer> g_tone_player {play_from_memory};

template <std::size_t N>
void copy_cut(wchar_t (&target)[N], const std::string& text, std::size_t units) {
    const std::u16string cut = cut_utf16(text, std::min(units, N - 1));
    std::copy(cut.begin(), cut.end(), target);
    target[cut.size()] = L'\0';
}

NOTIFYICONDATAW base_data(HWND window) {
    NOTIFYICONDATAW nid {};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = 1;
    return nid;
}

}  // namespace

void update_tray(bool add) {
    HWND window;
    HICON icon;
    std::string tip;
    {
        auto app = lock_app_state();
        window = app->main_window;
        switch (app->phase) {
        case 1: icon = app->recording_icon; break;
        case 2: icon = app->busy_icons[(app->busy_tick / 3) % 6]; break;
        default: icon = app->idle_icon; break;
        }
        tip = tray_tooltip(app->phase, app->settings);
    }
    NOTIFYICONDATAW nid = base_data(window);
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    nid.uCallbackMessage = kMsgTray;
    nid.hIcon = icon;
    copy_cut(nid.szTip, tip, 127);
    Shell_NotifyIconW(add ? NIM_ADD : NIM_MODIFY, &nid);
}

void remove_tray_icon() {
    NOTIFYICONDATAW nid = base_data(lock_app_state()->main_window);
    Shell_NotifyIconW(NIM_DELETE, &nid);
}

void show_balloon(const std::string& title, const std::string& text, bool warning) {
    NOTIFYICONDATAW nid = base_data(lock_app_state()->main_window);
    nid.uFlags = NIF_INFO;
    copy_cut(nid.szInfoTitle, title, 63);
    copy_cut(nid.szInfo, text, 255);
    nid.dwInfoFlags = warning ? NIIF_WARNING : NIIF_INFO;
    Shell_NotifyIconW(NIM_MODIFY, &nid);
}

int message_box(const std::string& text, unsigned style, void* owner) {
    return MessageBoxW(static_cast<HWND>(owner), wide(text).c_str(), L"Tolvek",
                       style | MB_SETFOREGROUND | MB_TOPMOST);
}

void build_tones() {
    auto tones = synthesize_tones();
    std::lock_guard<std::mutex> lock(g_tones_mutex);
    g_tones = std::move(tones);
}

void set_tone_player(TonePlayer player) { g_tone_player = player; }

void play_sound(int index) {
    if (index < 0 || index >= kToneCount) return;
    if (tone_obeys_sounds(index) && !lock_app_state()->settings.sounds) return;
    const std::uint8_t* tone = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_tones_mutex);
        if (!g_tones[index].empty()) tone = g_tones[index].data();
    }
    if (tone) g_tone_player.load()(index, tone);
}

HMENU create_menu(const std::vector<MenuItem>& items) {
    HMENU menu = CreatePopupMenu();
    for (const MenuItem& m : items) {
        if (m.kind == MenuItem::Kind::Separator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const std::wstring text = wide(m.text);
        if (m.kind == MenuItem::Kind::Submenu) {
            AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(create_menu(m.children)),
                        text.c_str());
            continue;
        }
        UINT flags = MF_STRING;
        if (m.checked) flags |= MF_CHECKED;
        if (m.grayed) flags |= MF_GRAYED;
        AppendMenuW(menu, flags, m.id, text.c_str());
        if (m.is_default) SetMenuDefaultItem(menu, GetMenuItemCount(menu) - 1, TRUE);
    }
    return menu;
}

}  // namespace tolvek
