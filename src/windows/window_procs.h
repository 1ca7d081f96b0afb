// Window procedures of the dialog classes registered at start-up. Windows build only.
#pragma once

#include <windows.h>

namespace tolvek {

LRESULT CALLBACK dialog_proc(HWND, UINT, WPARAM, LPARAM);      // TolvekDialog
LRESULT CALLBACK words_proc(HWND, UINT, WPARAM, LPARAM);       // TolvekWords
LRESULT CALLBACK pills_proc(HWND, UINT, WPARAM, LPARAM);       // TolvekPills
LRESULT CALLBACK key_dialog_proc(HWND, UINT, WPARAM, LPARAM);  // TolvekKeyDialog
LRESULT CALLBACK keycaps_proc(HWND, UINT, WPARAM, LPARAM);     // TolvekKeycaps

}  // namespace tolvek
