// Screening: answering, the greeting, the PIN keyed and the caller's time limits.

#include "engine_scenario.h"

namespace porthold::telephony::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::Ge;
using ::testing::IsEmpty;
using ::testing::Le;

auto Sound(const std::string& name, std::int64_t start) {
    return AllOf(Field(&HeardSound::name, name), Field(&HeardSound::start, Ge(start - 12)),
                 Field(&HeardSound::start, Le(start + 12)));
}

class Screening : public EngineScenario {};

TEST_F(Screening, ACallerWhoKeysNothingHearsTheGreetingTwiceAndIsHungUpOn) {
    CallIn();
    Run(40000);

    // The SIT tone is heard whole; the greeting follows it and comes again
    // 15 s later. The limits run from the end of the blocking SIT tone.
    EXPECT_THAT(HeardOnLine(),
                ElementsAre(Sound("sit", 10), Sound("greeting", 942), Sound("greeting", 15942)));
    ASSERT_TRUE(caller.hungUpTick);
    EXPECT_EQ(*caller.hungUpTick - *caller.answeredTick, 30942u);
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Ringing...", " Prompting for PIN...",
                            " Disconnecting...", " Waiting for call..."));
    EXPECT_THAT(controls.events, ElementsAre("lock", "unlock"));
    EXPECT_THAT(tapi.calls,
                ElementsAre("lineAnswer", "LINE_REPLY", "lineMonitorDigits 2",
                            "lineMonitorDigits 0", "lineDrop", "LINE_REPLY", "lineDeallocateCall"));
    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_FALSE(state.callActive);
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST_F(Screening, WithoutTheSitToneTheGreetingStartsAtTheConnection) {
    settings.UseSitTone = false;
    CallIn();
    Run(16000);
    EXPECT_THAT(HeardOnLine(), ElementsAre(Sound("greeting", 10), Sound("greeting", 15010)));
}

TEST_F(Screening, TenDigitsAndAnyFurtherKeyCompleteThePinWithoutThatKey) {
    AddCaller("1234567890", "Ten digits", "");
    dialogs.press = VirtualDialogs::Press{VirtualDialogs::Button::TakeMessage, 0};
    CallIn();
    Press("12345678905");
    RunUntil([&] { return !dialogs.shown.empty(); });

    EXPECT_THAT(Statuses(), ::testing::IsSupersetOf({" 1", " 12345", " 1234567890"}));
    EXPECT_EQ(dialogs.shown.at(0).request.notificationText, "Ten digits");
    RunUntil([&] { return !Messages().empty(); });
    EXPECT_EQ(Messages().at(0).pin, "1234567890");
}

TEST_F(Screening, StarAndLettersNeitherEnterThePinNorRestartATimer) {
    CallIn();
    Run(2000);
    Press("1");
    Run(5000);
    Press("*ABCD");
    Run(5100);
    // WAITDIGIT ran from the '1': the greeting came back and the digits went,
    // while the status still shows them.
    EXPECT_EQ(state.digits, "");
    EXPECT_EQ(status.Current(), " 1");
    Press("#");
    Run(100);
    EXPECT_TRUE(state.callActive);
    EXPECT_EQ(status.Current(), " Recording Message...");
    RunUntil([&] { return !Messages().empty(); }, 20000);
    EXPECT_EQ(Messages().at(0).pin, "#");
}

TEST_F(Screening, WaitDigitReplaysTheGreetingWhileDisconnectRunsFromTheLastDigit) {
    CallIn();
    Run(3000);
    Press("12");
    RunUntil([&] { return state.digits == "12"; });
    const std::int64_t lastDigit = Now();
    Run(31000);

    // The first greeting is cut off by the replay 10 s after the last digit;
    // RENOTIFY, stopped by the digits, never replays it at 15 s.
    const auto heard = HeardOnLine();
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_THAT(heard[2], Sound("greeting", lastDigit + 10000));
    ASSERT_TRUE(caller.hungUpTick);
    EXPECT_NEAR(static_cast<double>(*caller.hungUpTick - *caller.answeredTick),
                static_cast<double>(lastDigit + 30000), 12.0);
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Ringing...", " Prompting for PIN...", " 1",
                            " 12", " Disconnecting...", " Waiting for call..."));
}

TEST_F(Screening, AKeyInPulseModeTakesAWholeMessage) {
    settings.SilenceLevel = 0;
    CallIn();
    Run(1000);
    Press("4");
    RunUntil([&] { return state.digits == "4"; });
    Press("7", service::KeyMode::Pulse);
    Run(100);

    EXPECT_EQ(status.Current(), " Recording Message...");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].pin, "4");
    // The greeting's timers neither replay the greeting into the recording
    // nor hang up mid-message: without a silence level only the caller's
    // hang-up ends it.
    Run(60000);
    EXPECT_FALSE(caller.hungUpTick);
    EXPECT_TRUE(audio.Recorder().IsRecording());
    const std::vector<std::string> names = HeardNames();
    EXPECT_EQ(names.back(), "beep");
}

TEST_F(Screening, TheRingCountSettingDecidesWhichRingIsAnswered) {
    for (const std::uint32_t rings : {0u, 3u}) {
        SCOPED_TRACE(rings);
        settings.RingsAnswer = rings;
        tapi.calls.clear();
        ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
        std::uint32_t ringsHeard = 0;
        while (!line.IsAnswered() && ringsHeard < 6) {
            line.Ring(&caller);
            ++ringsHeard;
            Run(500);
        }
        EXPECT_EQ(ringsHeard, rings + 1);
        EXPECT_EQ(std::count(tapi.calls.begin(), tapi.calls.end(), "lineAnswer"), 1);
        line.HangUp(&caller);
        Run(200);
        EXPECT_EQ(status.Current(), " Waiting for call...");
    }
}

TEST_F(Screening, RingsWhileAnsweringIsSuspendedAreShownButNotAnswered) {
    state.answeringEnabled = false;
    ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
    for (int ring = 0; ring < 4; ++ring) {
        line.Ring(&caller);
        Run(1000);
    }
    EXPECT_FALSE(line.IsAnswered());
    EXPECT_EQ(status.Current(), " Ringing...");
    line.HangUp(&caller);
    Run(100);
    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_EQ(status.Current(), " Ringing...") << "nothing is shown while suspended";
    state.answeringEnabled = true;
    engine.WakeTick();
    Run(20);
    EXPECT_EQ(status.Current(), " Waiting for call...");
}

TEST_F(Screening, ACallerWhoHangsUpWhileItRingsIsForgotten) {
    settings.RingsAnswer = 5;
    ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
    line.Ring(&caller);
    Run(1000);
    EXPECT_NE(state.callHandle, 0u);
    EXPECT_EQ(state.waveOutDevice, kLineOut);
    EXPECT_EQ(state.waveInDevice, kLineIn);
    line.HangUp(&caller);
    Run(100);

    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_THAT(tapi.calls, ElementsAre("lineDeallocateCall"));
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Ringing...", " Waiting for call..."));
    EXPECT_THAT(controls.events, IsEmpty());
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST_F(Screening, ANewCallReplacesTheHandleHeldAndItsDevicesAreLookedUpAgain) {
    settings.RingsAnswer = 5;
    ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
    Run(100);
    const HCALL offered = state.callHandle;
    ASSERT_NE(offered, 0u);
    // A handle the service does not know: both device queries fail.
    tapi.injected.push_back(LINEMESSAGE{handles.lineHandle, LINE_APPNEWCALL, 0, 0, offered + 1000,
                                        LINECALLPRIVILEGE_OWNER});
    Run(20);

    EXPECT_EQ(state.callHandle, offered + 1000);
    EXPECT_EQ(state.waveInDevice, 0u);
    EXPECT_EQ(state.waveOutDevice, 0u);
    EXPECT_THAT(log.lines, ElementsAre("HandleTapiMessage: lineGetID INVALCALLHANDLE",
                                       "HandleTapiMessage: lineGetID INVALCALLHANDLE"));
    // A call offered without owner privilege is not ours to take.
    tapi.injected.push_back(
        LINEMESSAGE{handles.lineHandle, LINE_APPNEWCALL, 0, 0, 77, LINECALLPRIVILEGE_MONITOR});
    Run(20);
    EXPECT_EQ(state.callHandle, offered + 1000);
}

// Between calls the tick rests, yet a new call is taken up within a tick of
// its offer, and the tick keeps its full pace until the call is over.
TEST_F(Screening, TheTickRestsBetweenCallsAndWakesForANewOne) {
    settings.RingsAnswer = 5;
    Run(500);
    EXPECT_TRUE(lineEventWatch.IsWatching());
    ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
    Run(kTickMilliseconds + 2);
    EXPECT_NE(state.callHandle, 0u);
    EXPECT_FALSE(lineEventWatch.IsWatching());
    line.HangUp(&caller);
    Run(500);
    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_TRUE(lineEventWatch.IsWatching());
}

TEST_F(Screening, AnotherApplicationsCallShowsTheLineInUse) {
    Run(50);
    ASSERT_TRUE(line.HoldOtherCall(service::OtherCall::Held));
    Run(50);
    EXPECT_EQ(status.Current(), " Line in use...");
    ASSERT_TRUE(line.HoldOtherCall(service::OtherCall::Released));
    Run(50);
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Line in use...", " Waiting for call..."));
}

TEST_F(Screening, ACallerWhoHangsUpWhileKeyingIsTornDownCompletely) {
    CallIn();
    Press("12");
    Run(1000);
    line.HangUp(&caller);
    Run(100);

    EXPECT_FALSE(state.callActive);
    EXPECT_EQ(state.digits, "");
    EXPECT_EQ(state.callHandle, 0u);
    for (const platform::TimerId timer : {kDisconnectTimer, kRenotifyTimer, kWaitDigitTimer}) {
        EXPECT_FALSE(IsTimerRunning(timer)) << timer;
    }
    EXPECT_TRUE(IsTimerRunning(kTickTimer));
    EXPECT_THAT(tapi.calls,
                ::testing::IsSupersetOf({"lineMonitorDigits 0", "lineDrop", "lineDeallocateCall"}));
    EXPECT_THAT(controls.events, ElementsAre("lock", "unlock"));
    EXPECT_EQ(status.Current(), " Waiting for call...");
    // The greeting, interruptible, stopped with the call.
    EXPECT_TRUE(HeardOnLine().back().cutShort);
}

}  // namespace
}  // namespace porthold::telephony::testing
