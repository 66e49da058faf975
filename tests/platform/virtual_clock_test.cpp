#include "platform/virtual_clock.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace porthold::platform {
namespace {

// Records every timer delivery with the clock reading at the time.
class RecordingHandler final : public TimerHandler {
public:
    explicit RecordingHandler(VirtualClock& clock) : clock_(clock) {}

    void OnTimer(TimerId id) override {
        deliveries.emplace_back(id, clock_.ElapsedMilliseconds());
        if (onTimer) {
            onTimer(id);
        }
    }

    std::vector<std::pair<TimerId, std::uint64_t>> deliveries;
    std::function<void(TimerId)> onTimer;

private:
    VirtualClock& clock_;
};

TEST(VirtualClock, TimersFireAtTheirPeriodsUntilKilled) {
    VirtualClock clock;
    RecordingHandler handler(clock);
    clock.SetTimer(handler, 0, 10);
    clock.SetTimer(handler, 3, 25);
    clock.Advance(50);
    const std::vector<std::pair<TimerId, std::uint64_t>> expected{
        {0, 10}, {0, 20}, {3, 25}, {0, 30}, {0, 40}, {3, 50}, {0, 50}};
    EXPECT_EQ(handler.deliveries, expected);

    clock.KillTimer(handler, 0);
    handler.deliveries.clear();
    clock.Advance(50);
    EXPECT_EQ(handler.deliveries,
              (std::vector<std::pair<TimerId, std::uint64_t>>{{3, 75}, {3, 100}}));
}

TEST(VirtualClock, SettingARunningTimerRestartsIt) {
    VirtualClock clock;
    RecordingHandler handler(clock);
    clock.SetTimer(handler, 1, 30000);
    clock.Advance(20000);
    clock.SetTimer(handler, 1, 30000);
    clock.Advance(29999);
    EXPECT_TRUE(handler.deliveries.empty());
    clock.Advance(1);
    ASSERT_EQ(handler.deliveries.size(), 1u);
    EXPECT_EQ(handler.deliveries[0].second, 50000u);
}

TEST(VirtualClock, SleepMovesTimeWithoutDeliveringTimers) {
    VirtualClock clock;
    RecordingHandler handler(clock);
    clock.SetTimer(handler, 0, 10);
    clock.Sleep(100);
    EXPECT_TRUE(handler.deliveries.empty());
    EXPECT_EQ(clock.TickCount(), 100u);
    // The loop's next turn delivers the overdue timer once, not ten times.
    clock.DeliverDueTimers();
    EXPECT_EQ(handler.deliveries.size(), 1u);
}

TEST(VirtualClock, ATickKeepsRunningBeneathANestedLoopOpenedByItsOwnHandler) {
    VirtualClock clock;
    RecordingHandler handler(clock);
    int nestedTicks = 0;
    bool dialogOpen = false;
    handler.onTimer = [&](TimerId) {
        if (dialogOpen) {
            ++nestedTicks;
            return;
        }
        if (handler.deliveries.size() == 1) {
            // A modal dialog opened from the tick runs its own loop for 100 ms.
            dialogOpen = true;
            clock.Advance(100);
            dialogOpen = false;
        }
    };
    clock.SetTimer(handler, 0, 10);
    clock.Advance(10);
    EXPECT_EQ(nestedTicks, 10);
    EXPECT_EQ(clock.ElapsedMilliseconds(), 110u);
}

TEST(VirtualClock, AHandlerMayKillTheOtherDueTimer) {
    VirtualClock clock;
    RecordingHandler handler(clock);
    handler.onTimer = [&](TimerId id) {
        if (id == 1) {
            clock.KillTimer(handler, 2);
        }
    };
    clock.SetTimer(handler, 1, 100);
    clock.SetTimer(handler, 2, 100);
    clock.Advance(100);
    ASSERT_EQ(handler.deliveries.size(), 1u);
    EXPECT_EQ(handler.deliveries[0].first, 1u);
}

TEST(VirtualClock, TickCountWrapsAndLocalTimeFollowsElapsedTime) {
    VirtualClock clock(LocalTime{2026, 12, 31, 23, 59, 30, 0}, 0xFFFFFFF0u);
    clock.Sleep(0x20);
    EXPECT_EQ(clock.TickCount(), 0x10u);
    clock.Sleep(30000 - 0x20);
    EXPECT_EQ(clock.Now(), (LocalTime{2027, 1, 1, 0, 0, 0, 0}));
}

TEST(VirtualClock, AdvanceUntilStopsWhenTheConditionHolds) {
    VirtualClock clock;
    EXPECT_TRUE(clock.AdvanceUntil([&] { return clock.ElapsedMilliseconds() >= 35; }, 1000));
    EXPECT_EQ(clock.ElapsedMilliseconds(), 40u);
    EXPECT_FALSE(clock.AdvanceUntil([] { return false; }, 500));
    EXPECT_EQ(clock.ElapsedMilliseconds(), 540u);
}

}  // namespace
}  // namespace porthold::platform
