// A caller on the list: the notification, the user's or the caller's answer,
// or a message when nobody answers.

#include <algorithm>

#include "engine_scenario.h"

namespace porthold::telephony::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RingThrough : public EngineScenario {
protected:
    RingThrough() { AddCaller("123", "Ann is calling", WriteSound("ann.wav", "ann", 1500)); }

    std::vector<std::int64_t> Starts(const std::vector<HeardSound>& heard,
                                     const std::string& name) {
        std::vector<std::int64_t> starts;
        for (const HeardSound& sound : heard) {
            if (sound.name == name) {
                starts.push_back(sound.start);
            }
        }
        return starts;
    }

    // The valid-PIN prompt: the notification opens as it starts, and the line
    // is free for the ring when it ends.
    HeardSound ValidPin() {
        for (const HeardSound& sound : HeardOnLine()) {
            if (sound.name == "valid-pin") {
                return sound;
            }
        }
        ADD_FAILURE() << "no valid-PIN prompt";
        return {};
    }
    std::int64_t ValidPinEnd() { return ValidPin().end; }
};

TEST_F(RingThrough, NobodyAnsweringRingsFourTimesAndThenTakesAMessage) {
    CallIn();
    Press("123#");
    Run(30000);

    ASSERT_EQ(dialogs.shown.size(), 1u);
    const VirtualDialogs::Shown& notification = dialogs.shown[0];
    EXPECT_EQ(notification.request.notificationText, "Ann is calling");
    EXPECT_EQ(notification.request.callerSound, folder.File("ann.wav"));
    EXPECT_EQ(notification.request.ringSound, settings.soundsFolder + "default_ring.wav");
    EXPECT_EQ(notification.request.ringDevice, kLineOut);
    EXPECT_EQ(notification.request.repeatLimit, 4);
    EXPECT_EQ(notification.result, kTakeMessageResult);
    EXPECT_EQ(notification.repeatCount, 4);

    // The user hears the caller's sound at once. The prompt is heard whole;
    // the ring waits for it, and the first repetition, overdue by then,
    // follows at once. The last sounds, started as the limit is reached, are
    // cut off with the notification's end.
    const std::int64_t ring = ValidPinEnd();
    EXPECT_THAT(Starts(HeardOnLine(), "ring"),
                ElementsAre(ring, ring, ring + 4000, ring + 8000, ring + 12000));
    EXPECT_THAT(Starts(HeardOnSoundCard(), "ann"),
                ElementsAre(ValidPin().start, ring, ring + 4000, ring + 8000, ring + 12000));
    EXPECT_FALSE(HeardOnSoundCard()[0].cutShort) << "the ring waiting for the line cut it off";
    EXPECT_TRUE(HeardOnSoundCard()[4].cutShort);
    EXPECT_TRUE(HeardOnLine()[7].cutShort);
    EXPECT_THAT(HeardNames(), ElementsAre("sit", "greeting (cut)", "valid-pin", "ring (cut)",
                                          "ring (cut)", "ring (cut)", "ring (cut)", "ring (cut)",
                                          "no-answer", "record-prompt", "beep"));

    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].pin, "123");
    EXPECT_EQ(state.digits, "");
    EXPECT_EQ(state.callerText, "Ann is calling");
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Ringing...", " Prompting for PIN...", " 1",
                            " 12", " 123", " Recording Message..."));
}

TEST_F(RingThrough, TheCallersKeyAnswersAtTheNextRepetitionBeforeAnyFurtherSound) {
    callers.ClearList();
    AddCaller("123", "", "");
    CallIn();
    Press("123#");
    // The notification opens at the PIN decision and its loop runs nested
    // in the tick, so the key is pressed by the schedule, during that loop:
    // after the valid-PIN prompt, while the ring plays.
    After(6000, [&] { Press("5"); });
    Run(20000);
    const std::int64_t ring = ValidPinEnd();

    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].result, kAnswerCallResult);
    EXPECT_EQ(dialogs.shown[0].closeTick - *caller.answeredTick, ring + 4000);
    EXPECT_EQ(dialogs.shown[1].dialog, "pick-up");
    EXPECT_EQ(dialogs.shown[1].closeTick - dialogs.shown[1].openTick, 5000u);
    // The key stopped the monitoring and was used up; the ring already
    // started plays on.
    EXPECT_FALSE(state.callerKeyed);
    EXPECT_FALSE(state.notificationPending);
    EXPECT_EQ(tapi.calls.back(), "lineMonitorDigits 0");
    EXPECT_THAT(Starts(HeardOnLine(), "ring"), ElementsAre(ring, ring));
    EXPECT_FALSE(HeardOnLine().back().cutShort);
    EXPECT_THAT(HeardOnSoundCard(), IsEmpty()) << "an empty sound is skipped";
    EXPECT_EQ(status.Current(), " Connected...");
    EXPECT_TRUE(state.callActive);
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_FALSE(IsTimerRunning(kDisconnectTimer)) << "a connected call has no time limit";

    line.HangUp(&caller);
    Run(100);
    EXPECT_EQ(status.Current(), " Waiting for call...");
    EXPECT_EQ(state.callerText, "");
}

TEST_F(RingThrough, AfterTheUserAnswersTheCallersFirstKeyOnlyStopsTheKeys) {
    dialogs.press = VirtualDialogs::Press{VirtualDialogs::Button::Answer, 2000};
    CallIn();
    Press("123#");
    Run(12000);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].result, kAnswerCallResult);
    EXPECT_EQ(status.Current(), " Connected...");
    EXPECT_TRUE(state.notificationPending) << "not cleared when the notification closes";

    tapi.calls.clear();
    Press("7");
    Run(100);
    Press("8");
    Run(100);
    EXPECT_THAT(tapi.calls, ElementsAre("lineMonitorDigits 0"));
    EXPECT_TRUE(state.callerKeyed);
    EXPECT_EQ(state.digits, "");
    EXPECT_EQ(status.Current(), " Connected...");
}

TEST_F(RingThrough, EscapeOrTakeAMessageLeadToMessageTaking) {
    for (const auto button :
         {VirtualDialogs::Button::Escape, VirtualDialogs::Button::TakeMessage}) {
        dialogs.press = VirtualDialogs::Press{button, 6000};
        CallIn();
        Press("123#");
        Run(25000);
        line.HangUp(&caller);
        Run(100);
        caller = TestCaller{};
    }
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].result, kNotificationCancelled);
    EXPECT_EQ(dialogs.shown[1].result, kTakeMessageResult);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0].pin, "123");
    EXPECT_EQ(Messages()[1].pin, "123");
}

TEST_F(RingThrough, ACallerWhoHangsUpClosesTheNotificationAndNothingOfItReachesTheNextCaller) {
    CallIn();
    Press("123#");
    // During the notification's nested loop, after the first ring.
    std::vector<std::string> seenDuringNotification;
    After(7000, [&] { line.HangUp(&caller); });
    After(7200, [&] {
        seenDuringNotification = {status.Current(), state.callActive ? "active" : "gone",
                                  dialogs.shown.empty() ? "open" : "closed"};
    });
    Run(7300);

    // The nested tick tore the call down and closed the notification with it.
    EXPECT_THAT(seenDuringNotification, ElementsAre(" Waiting for call...", "gone", "closed"));
    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_THAT(controls.events, ElementsAre("lock", "unlock"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].result, kNotificationCancelled);
    // Nothing is recorded from a line with no call on it, and no hang-up
    // request is left behind for the next caller.
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_FALSE(audio.Recorder().HasBuffers());
    EXPECT_FALSE(state.hangUpRequested);

    // The next caller hears the greeting, and none of the old caller's ringing.
    caller = TestCaller{};
    CallIn();
    Run(12000);
    EXPECT_TRUE(state.callActive);
    EXPECT_FALSE(caller.hungUpTick);
    for (const HeardSound& sound : HeardOnLine()) {
        if (sound.start >= 0) {
            EXPECT_NE(sound.name, "ring") << "at " << sound.start;
        }
    }
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(RingThrough, TheNextCallAnsweredBeneathThePickUpPromptKeepsItsOwnKeys) {
    dialogs.press = VirtualDialogs::Press{VirtualDialogs::Button::Answer, 0};
    CallIn();
    Press("123#");
    // Once the pick-up prompt shows, this caller hangs up and the next one is
    // answered and starts keying a PIN, all beneath the prompt.
    TestCaller next;
    std::function<void()> onceThePromptShows = [&] {
        if (dialogs.shown.empty()) {
            After(10, onceThePromptShows);
            return;
        }
        line.HangUp(&caller);
        After(500, [&] { ASSERT_EQ(line.Dial(&next), service::DialResult::Offered); });
        for (std::uint32_t ring = 0; ring < 3; ++ring) {
            After(600 + ring * 300, [&] { line.Ring(&next); });
        }
        After(3000, [&] { line.PressKey('9', service::KeyMode::Dtmf, &next); });
    };
    After(10, onceThePromptShows);
    Run(15000);

    ASSERT_TRUE(next.answeredTick);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].dialog, "pick-up");
    EXPECT_EQ(state.digits, "9");
    EXPECT_EQ(status.Current(), " 9");
    line.HangUp(&next);
    Run(100);
}

TEST_F(RingThrough, KeysAfterAValidPinOnlyAnswerTheNotification) {
    for (const char* keys : {"123#5#", "123#45678901234#"}) {
        SCOPED_TRACE(keys);
        dialogs.shown.clear();
        CallIn();
        Press(keys);
        Run(12000);
        const std::vector<HeardSound> heard = HeardOnLine();
        EXPECT_EQ(std::count_if(heard.begin(), heard.end(),
                                [](const HeardSound& sound) {
                                    return sound.start >= 0 && sound.name == "valid-pin";
                                }),
                  1);
        ASSERT_EQ(dialogs.shown.size(), 2u);
        EXPECT_EQ(dialogs.shown[0].result, kAnswerCallResult);
        EXPECT_EQ(dialogs.shown[1].dialog, "pick-up");
        EXPECT_EQ(status.Current(), " Connected...");
        line.HangUp(&caller);
        Run(100);
        caller = TestCaller{};
    }
}

TEST_F(RingThrough, TwoInvalidPinsAndThenAValidOneRingThrough) {
    dialogs.press = VirtualDialogs::Press{VirtualDialogs::Button::Answer, 0};
    CallIn();
    for (const char* pin : {"9#", "8#", "123#"}) {
        Press(pin);
        Run(7000);
    }
    Run(10000);
    EXPECT_THAT(Statuses(), Contains(" Invalid PIN entered..."));
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown[0].request.notificationText, "Ann is calling");
    EXPECT_EQ(status.Current(), " Connected...");
    EXPECT_EQ(state.invalidPinCount, 2);
}

// A line without a handset (a network line): the user talks through the
// computer's microphone and speaker, and either side may hang up.
TEST_F(RingThrough, WithoutAHandsetTheUserTalksThroughTheComputerUntilEitherSideHangsUp) {
    handles.phoneHookSwitchDevices = PHONEHOOKSWITCHDEV_HEADSET;
    tapi.hookSwitchResult = 0;
    dialogs.press = VirtualDialogs::Press{VirtualDialogs::Button::Answer, 2000};
    dialogs.hangUpAfterMilliseconds = 7000;
    CallIn();
    Press("123#");
    ASSERT_TRUE(RunUntil([&] { return dialogs.shown.size() == 2; }));
    EXPECT_EQ(dialogs.shown[1].dialog, "talk") << "no receiver to pick up";
    EXPECT_EQ(dialogs.shown[1].request.notificationText, "Ann is calling");
    EXPECT_EQ(dialogs.shown[1].closeTick - dialogs.shown[1].openTick, 7000u);
    EXPECT_THAT(tapi.calls, Contains("phoneSetHookSwitch 4 8"));
    Run(100);
    EXPECT_THAT(tapi.calls, Contains("lineDrop")) << "the user's hang-up ends the call";
    EXPECT_TRUE(caller.hungUpTick.has_value());
    EXPECT_EQ(status.Current(), " Waiting for call...");

    // The caller hangs up first: the window closes with the call.
    dialogs.press = VirtualDialogs::Press{VirtualDialogs::Button::Answer, 2000};
    dialogs.hangUpAfterMilliseconds.reset();
    caller.answeredTick.reset();
    CallIn();
    Press("123#");
    // The talk window's loop runs nested in the tick: the schedule hangs up.
    std::uint32_t hungUp = 0;
    After(15000, [&] {
        hungUp = clock.TickCount();
        line.HangUp(&caller);
    });
    ASSERT_TRUE(RunUntil([&] { return dialogs.shown.size() == 4; }, 20000));
    EXPECT_EQ(dialogs.shown[3].dialog, "talk");
    EXPECT_LE(dialogs.shown[3].closeTick - hungUp, 20u) << "closed with the call";
    EXPECT_FALSE(state.callActive);
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(RingThrough, WithoutAHandsetAndNoWayToTalkTheCallerLeavesAMessage) {
    handles.phoneHookSwitchDevices = PHONEHOOKSWITCHDEV_HEADSET;
    tapi.hookSwitchResult = PHONEERR_OPERATIONFAILED;
    dialogs.press = VirtualDialogs::Press{VirtualDialogs::Button::Answer, 2000};
    CallIn();
    Press("123#");
    Run(15000);
    ASSERT_EQ(dialogs.shown.size(), 1u) << "neither pick-up prompt nor talk window";
    EXPECT_THAT(log.lines, Contains(::testing::HasSubstr("phoneSetHookSwitch")));
    EXPECT_THAT(HeardNames(), Contains("no-answer"));
    EXPECT_EQ(status.Current(), " Recording Message...");
}

}  // namespace
}  // namespace porthold::telephony::testing
