// Keys pressed as a keyboard would, and a check that recorded audio holds the fed speech.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tolvek::test {

// The clipboard's text, as another program reads it.
inline std::optional<std::u16string> clipboard() {
    if (!OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::u16string> text;
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        text = std::u16string(static_cast<const char16_t*>(GlobalLock(h)));
        GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
}

// Presses (true) or releases (false) the keys in order with SendInput.
inline void keys(std::initializer_list<std::pair<WORD, bool>> presses) {
    std::vector<INPUT> inputs;
    for (auto [vk, down] : presses) {
        INPUT i {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(i);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Moves the mouse to a screen point, as a mouse would.
inline void mouse_to(int x, int y) {
    INPUT i {};
    i.type = INPUT_MOUSE;
    i.mi.dx = static_cast<LONG>((x * 65536LL + GetSystemMetrics(SM_CXSCREEN) - 1) / GetSystemMetrics(SM_CXSCREEN));
    i.mi.dy = static_cast<LONG>((y * 65536LL + GetSystemMetrics(SM_CYSCREEN) - 1) / GetSystemMetrics(SM_CYSCREEN));
    i.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &i, sizeof i);
}

// Presses (true) or releases (false) the left mouse button where the mouse is.
inline void left_button(bool down) {
    INPUT i {};
    i.type = INPUT_MOUSE;
    i.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &i, sizeof i);
}

// The best normalised correlation of `part` anywhere inside `whole`: coarse steps first, then
// every offset around the best one.
inline double best_match(const std::vector<std::int16_t>& whole, const std::vector<std::int16_t>& part) {
    double part_energy = 0;
    for (auto s : part) part_energy += double(s) * s;
    const auto at = [&](std::size_t offset) {
        double dot = 0, energy = 0;
        for (std::size_t i = 0; i < part.size(); ++i) {
            dot += double(whole[offset + i]) * part[i];
            energy += double(whole[offset + i]) * whole[offset + i];
        }
        return energy > 0 ? dot / std::sqrt(energy * part_energy) : 0.0;
    };
    double best = 0;
    std::size_t best_offset = 0;
    for (std::size_t o = 0; o + part.size() <= whole.size(); o += 4) {
        if (const double c = at(o); c > best) best = c, best_offset = o;
    }
    for (std::size_t o = best_offset < 4 ? 0 : best_offset - 4;
         o <= best_offset + 4 && o + part.size() <= whole.size(); ++o) {
        best = std::max(best, at(o));
    }
    return best;
}

// Little-endian 16-bit samples of raw bytes, from a byte offset on.
inline std::vector<std::int16_t> samples_of(const void* data, std::size_t size, std::size_t from = 0) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::vector<std::int16_t> out(size > from ? (size - from) / 2 : 0);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int16_t>(bytes[from + 2 * i] | bytes[from + 2 * i + 1] << 8);
    }
    return out;
}

}  // namespace tolvek::test
