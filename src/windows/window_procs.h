// Window procedures of the dialog classes registered at start-up. Windows build only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/app_state.h"
#include "windows/dialog_frame.h"

namespace tolvek {

// What one TolvekDialog window owns: the company-code dialog's typed text, or the entries of
// "Letzte Diktate" as they were when it opened and the one copied last.
struct TolvekDialogState : DialogState {
    std::optional<std::string> result;
    std::vector<RecentDictation> recent;
    std::optional<int> copied;
    WNDPROC list_proc = nullptr;
    LRESULT selection_at_press = LB_ERR;
};

// The click areas of the dictionary's pills as the last paint laid them out, last drawn last.
enum class HitKind { Pill, Share, Remove };
struct HitArea {
    RECT rect;
    std::size_t index;  // the word
    HitKind kind;
};
std::vector<HitArea> pill_areas(HWND pills);

LRESULT CALLBACK dialog_proc(HWND, UINT, WPARAM, LPARAM) noexcept;      // TolvekDialog
LRESULT CALLBACK words_proc(HWND, UINT, WPARAM, LPARAM) noexcept;       // TolvekWords
LRESULT CALLBACK pills_proc(HWND, UINT, WPARAM, LPARAM) noexcept;       // TolvekPills
LRESULT CALLBACK key_dialog_proc(HWND, UINT, WPARAM, LPARAM) noexcept;  // TolvekKeyDialog
LRESULT CALLBACK keycaps_proc(HWND, UINT, WPARAM, LPARAM) noexcept;     // TolvekKeycaps

}  // namespace tolvek
