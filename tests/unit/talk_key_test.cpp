#include <gtest/gtest.h>

#include <set>

#include "dictation/talk_key.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kCtrlShift = 6;

// Ticks the engine every 40 ms the way the main window's timer does and plays the dictation
// cycle's part: Start begins a recording, Finish and Cancel end it.
class Keyboard {
public:
    explicit Keyboard(std::uint32_t configured, bool hold = true) : configured_(configured), hold_(hold) {
        arm(engine_);
    }

    // One tick with these modifiers (and maybe another key) down.
    TalkKeyAction tick(std::uint32_t held, bool other = false) {
        now_ += 40ms;
        ModifierTick t;
        t.configured = configured_;
        t.hold = hold_;
        t.phase = phase_;
        t.held = held;
        t.other_key = other;
        t.now = now_;
        t.recording_start = recording_start_;
        const TalkKeyAction action = modifier_tick(engine_, t);
        if (action == TalkKeyAction::Start) {
            phase_ = 1;
            recording_start_ = now_;
        } else if (action == TalkKeyAction::Finish || action == TalkKeyAction::Cancel) {
            phase_ = 0;
            recording_start_.reset();
        }
        actions_.push_back(action);
        return action;
    }
    void ticks(int n, std::uint32_t held, bool other = false) {
        for (int i = 0; i < n; ++i) tick(held, other);
    }
    int count(TalkKeyAction a) const { return static_cast<int>(std::count(actions_.begin(), actions_.end(), a)); }
    std::uint8_t phase() const { return phase_; }

private:
    std::uint32_t configured_;
    bool hold_;
    ModifierEngine engine_;
    Clock::time_point now_ {};
    std::uint8_t phase_ = 0;
    std::optional<Clock::time_point> recording_start_;
    std::vector<TalkKeyAction> actions_;
};

TEST(TalkKey, StartLandsOnTheFifthTickAfterTheCombination) {
    Keyboard k(kCtrlShift);
    k.tick(0);                              // released once: armed
    EXPECT_EQ(k.tick(kCtrlShift), TalkKeyAction::None);  // first complete sighting
    for (int i = 0; i < 4; ++i) EXPECT_EQ(k.tick(kCtrlShift), TalkKeyAction::None) << i;
    EXPECT_EQ(k.tick(kCtrlShift), TalkKeyAction::Start) << "fifth tick after it, 200 ms";
    k.ticks(40, kCtrlShift);
    EXPECT_EQ(k.phase(), 1) << "held on: still recording, no second start";
    EXPECT_EQ(k.tick(2), TalkKeyAction::Finish) << "Umschalt released";
}

TEST(TalkKey, AlreadyHeldWhenArmedDoesNotStart) {
    Keyboard k(kCtrlShift);
    k.ticks(20, kCtrlShift);
    EXPECT_EQ(k.count(TalkKeyAction::Start), 0);
    k.tick(0);
    k.ticks(6, kCtrlShift);
    EXPECT_EQ(k.count(TalkKeyAction::Start), 1);
}

TEST(TalkKey, SaveShortcutNeverStarts) {
    for (int s_after : {1, 3, 8}) {  // S pressed 40, 120 or 320 ms into Strg + Umschalt
        Keyboard k(kCtrlShift);
        k.tick(0);
        k.ticks(s_after, kCtrlShift);
        const int before = k.count(TalkKeyAction::Start);
        k.ticks(2, kCtrlShift, true);  // Strg + Umschalt + S
        k.ticks(20, kCtrlShift);       // S released, the modifiers still held
        k.tick(2);                     // Umschalt released, Strg still down
        k.ticks(10, 2);
        if (s_after < 5) {
            EXPECT_EQ(k.count(TalkKeyAction::Start), 0) << "S within 180 ms: nothing recorded";
        } else {
            // The recording had started; the S in its first second cancels it.
            EXPECT_EQ(before, 1);
            EXPECT_EQ(k.count(TalkKeyAction::Cancel), 1);
            EXPECT_EQ(k.count(TalkKeyAction::Start), 1);
        }
        EXPECT_EQ(k.phase(), 0);
    }
}

TEST(TalkKey, CancelOnlyInTheFirstSecond) {
    Keyboard k(kCtrlShift);
    k.tick(0);
    k.ticks(6, kCtrlShift);
    ASSERT_EQ(k.phase(), 1);
    k.ticks(10, kCtrlShift);                      // 400 ms into the recording
    EXPECT_EQ(k.tick(kCtrlShift, true), TalkKeyAction::Cancel);

    Keyboard late(kCtrlShift);
    late.tick(0);
    late.ticks(6, kCtrlShift);
    late.ticks(26, kCtrlShift);                   // past 1 s
    EXPECT_EQ(late.tick(kCtrlShift, true), TalkKeyAction::None) << "other keys are ignored now";
    EXPECT_EQ(late.tick(kCtrlShift), TalkKeyAction::None);
    EXPECT_EQ(late.tick(4), TalkKeyAction::Finish) << "ends only when Strg or Umschalt goes";
}

TEST(TalkKey, ExtraModifierDoesNothing) {
    Keyboard k(kCtrlShift);
    k.tick(0);
    k.ticks(30, kCtrlShift | 1);  // Strg + Umschalt + Alt
    EXPECT_EQ(k.count(TalkKeyAction::Start), 0);
}

TEST(TalkKey, TapModePressReleasePress) {
    Keyboard k(kCtrlShift, false);
    k.tick(0);
    k.ticks(6, kCtrlShift);
    ASSERT_EQ(k.phase(), 1);
    k.ticks(20, kCtrlShift);
    EXPECT_EQ(k.phase(), 1) << "holding on after the start neither stops nor restarts";
    k.ticks(5, 0);
    EXPECT_EQ(k.phase(), 1) << "released: still recording in tap mode";
    k.ticks(5, kCtrlShift);
    EXPECT_EQ(k.phase(), 1) << "second press needs its 180 ms too";
    EXPECT_EQ(k.tick(kCtrlShift), TalkKeyAction::Finish);
    k.ticks(40, kCtrlShift);
    EXPECT_EQ(k.count(TalkKeyAction::Start), 1) << "holding on after the stop does not restart";
    EXPECT_EQ(k.phase(), 0);
}

TEST(TalkKey, NoModifiersNeverTrigger) {
    Keyboard k(0);
    for (std::uint32_t held : {0u, 2u, 6u, 0u, 15u, 0u}) k.ticks(10, held);
    EXPECT_EQ(k.count(TalkKeyAction::Start), 0);
}

TEST(TalkKey, KeyStateReading) {
    std::set<int> down;
    const KeyDown is_down = [&](int vk) { return down.count(vk) > 0; };
    EXPECT_EQ(current_modifiers(is_down), 0u);
    down = {0x11, 0x10};
    EXPECT_EQ(current_modifiers(is_down), 6u);
    down = {0x12, 0x5C};
    EXPECT_EQ(current_modifiers(is_down), 9u);
    for (int vk : {16, 17, 18, 91, 92, 160, 161, 162, 163, 164, 165, 0xE8, 7, 255}) {
        down = {vk};
        EXPECT_FALSE(other_key_down(is_down)) << vk;
    }
    for (int vk : {8, int('S'), 0x78, 253, 254}) {
        down = {vk};
        EXPECT_TRUE(other_key_down(is_down)) << vk;
    }
}

// The idle poll reads only the talk key's own modifiers while none of them is down (and no
// hold-mode recording runs): in every such state (engine memory, phase, mode, timing, whatever
// other modifiers and keys are down) the engine must decide, and end, exactly as with no key
// down at all. Where the poll may rest, the ticks it skips would not have changed anything.
TEST(TalkKey, TheCheapPollDecidesAsTheFullScan) {
    const Clock::time_point now = Clock::time_point {} + 10s;
    const std::optional<Clock::time_point> times[] = {std::nullopt, now - 40ms, now - 200ms, now - 2s};
    int cheap = 0;
    for (std::uint32_t configured = 1; configured < 16; ++configured)
        for (std::uint32_t held = 0; held < 16; ++held)
            for (std::uint8_t phase = 0; phase < 3; ++phase)
                for (const bool hold : {false, true}) {
                    if (needs_full_scan(held & configured, phase, hold)) continue;
                    for (const bool other : {false, true})
                        for (const bool must_release : {false, true})
                            for (const bool foreign : {false, true})
                                for (const auto& combo_since : times)
                                    for (const auto& recording_start : times) {
                                        ++cheap;
                                        ModifierTick t;
                                        t.configured = configured;
                                        t.hold = hold;
                                        t.phase = phase;
                                        t.now = now;
                                        t.recording_start = recording_start;
                                        ModifierEngine full {combo_since, must_release, foreign};
                                        ModifierEngine quiet = full;
                                        t.held = held;
                                        t.other_key = other;
                                        const TalkKeyAction a = modifier_tick(full, t);
                                        t.held = 0;
                                        t.other_key = false;
                                        const TalkKeyAction b = modifier_tick(quiet, t);
                                        ASSERT_EQ(a, b) << configured << " " << held << " " << int(phase) << " " << hold;
                                        ASSERT_EQ(full, quiet) << configured << " " << held << " " << int(phase);
                                        if (!poll_may_rest(held & configured, phase)) continue;
                                        // A resting poll skips ticks: in that state a further
                                        // tick must change nothing.
                                        t.now += 40ms;
                                        ASSERT_EQ(modifier_tick(quiet, t), TalkKeyAction::None);
                                        ASSERT_EQ(full, quiet) << "a skipped tick would have changed the engine";
                                    }
                }
    EXPECT_GT(cheap, 0);
}

TEST(TalkKey, OnlyTheTalkKeysModifiersAreRead) {
    std::set<int> down = {0x11, 0x12, 0x10, 0x5B, 0x5C, 'A'};
    std::set<int> asked;
    const KeyDown is_down = [&](int vk) {
        asked.insert(vk);
        return down.count(vk) > 0;
    };
    EXPECT_EQ(configured_modifiers_down(kCtrlShift, is_down), kCtrlShift);
    EXPECT_EQ(asked, (std::set<int> {0x11, 0x10}));
    down = {0x5C};
    EXPECT_EQ(configured_modifiers_down(8 | 1, is_down), 8u);
    EXPECT_EQ(configured_modifiers_down(kCtrlShift, is_down), 0u);
}

}  // namespace
}  // namespace tolvek
