#include "dictation/talk_key.h"

namespace tolvek {

void arm(ModifierEngine& engine) {
    engine.combo_since.reset();
    engine.must_release = true;
}

TalkKeyAction modifier_tick(ModifierEngine& e, const ModifierTick& t) {
    const std::uint32_t match = t.held & t.configured;
    if (match != t.configured && e.must_release) e.must_release = false;
    if (match != 0) {
        if (t.other_key) e.foreign_key = true;
    } else {
        e.foreign_key = false;
    }
    const bool ready = t.held == t.configured && !e.must_release && !e.foreign_key && !t.other_key;
    const auto stable = [&] {
        if (!e.combo_since) {
            e.combo_since = t.now;
            return false;
        }
        return t.now - *e.combo_since >= kComboDebounce;
    };

    const bool idle = t.phase == 0;
    const bool tap_recording = t.phase == 1 && !t.hold;
    if (idle || tap_recording) {
        if (!ready) {
            e.combo_since.reset();
            return TalkKeyAction::None;
        }
        if (!stable()) return TalkKeyAction::None;
        e.combo_since.reset();
        e.must_release = true;
        return idle ? TalkKeyAction::Start : TalkKeyAction::Finish;
    }
    if (t.phase == 1) {  // hold mode
        const bool early = !t.recording_start || t.now - *t.recording_start < kCancelWindow;
        if (early && t.other_key) return TalkKeyAction::Cancel;
        if (match != t.configured) return TalkKeyAction::Finish;
    }
    return TalkKeyAction::None;
}

std::uint32_t current_modifiers(const KeyDown& down) {
    std::uint32_t mods = 0;
    if (down(0x11)) mods |= 2;  // Ctrl
    if (down(0x12)) mods |= 1;  // Alt
    if (down(0x10)) mods |= 4;  // Shift
    if (down(0x5B) || down(0x5C)) mods |= 8;  // Windows keys
    return mods;
}

bool other_key_down(const KeyDown& down) {
    for (int vk = 8; vk <= 253; ++vk) {
        const bool modifier = vk == 16 || vk == 17 || vk == 18 || vk == 91 || vk == 92 ||
                              (vk >= 160 && vk <= 165) || vk == kDummyKey;
        if (!modifier && down(vk)) return true;
    }
    return down(254);
}

std::uint32_t configured_modifiers_down(std::uint32_t configured, const KeyDown& down) {
    std::uint32_t mods = 0;
    if ((configured & 2) && down(0x11)) mods |= 2;
    if ((configured & 1) && down(0x12)) mods |= 1;
    if ((configured & 4) && down(0x10)) mods |= 4;
    if ((configured & 8) && (down(0x5B) || down(0x5C))) mods |= 8;
    return mods;
}

bool needs_full_scan(std::uint32_t configured_down, std::uint8_t phase, bool hold) {
    return configured_down != 0 || (phase == 1 && hold);
}

bool poll_may_rest(std::uint32_t configured_down, std::uint8_t phase) {
    return configured_down == 0 && phase == 0;
}

bool is_modifier_key(std::uint32_t vk) {
    return vk == 0x10 || vk == 0x11 || vk == 0x12 || vk == 0x5B || vk == 0x5C || (vk >= 0xA0 && vk <= 0xA5);
}

}  // namespace tolvek
