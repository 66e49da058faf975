// Replies that come late, early or never; the end of a call and of the program.

#include "audio/wave_layout.h"
#include "engine_scenario.h"

namespace porthold::telephony::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Teardown : public EngineScenario {
protected:
    void Ring(int rings) {
        for (int ring = 0; ring < rings; ++ring) {
            line.Ring(&caller);
            Run(1000);
        }
    }
};

TEST_F(Teardown, NoReplyToTheAnswerSuspendsAnsweringUntilADialogCloses) {
    service::CallBehaviour behaviour;
    behaviour.answerReply = service::ReplyDelivery::Withheld;
    line.SetBehaviour(behaviour);
    ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
    Ring(2);
    RunUntil([&] { return caller.hungUpTick.has_value(); }, 20000);

    // The main thread waited the whole limit, then dropped the call. The
    // connection the service reported meanwhile belongs to the dropped call
    // and starts nothing.
    ASSERT_TRUE(caller.answeredTick && caller.hungUpTick);
    EXPECT_EQ(*caller.hungUpTick - *caller.answeredTick, 10000u);
    EXPECT_FALSE(state.answeringEnabled);
    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_EQ(engine.PendingMessageCount(), 0u);
    Run(1000);
    EXPECT_FALSE(state.callActive);
    EXPECT_THAT(tapi.calls, ElementsAre("lineAnswer", "lineMonitorDigits 0", "lineDrop",
                                        "LINE_REPLY", "lineDeallocateCall"));
    EXPECT_THAT(HeardOnLine(), IsEmpty());
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Ringing...", " Disconnecting..."));

    // The next caller rings unanswered until a management dialog has closed.
    service::CallBehaviour orderly;
    line.SetBehaviour(orderly);
    caller = TestCaller{};
    ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
    Ring(3);
    EXPECT_FALSE(line.IsAnswered());
    EXPECT_EQ(status.Current(), " Ringing...");
    state.answeringEnabled = true;
    Ring(1);
    EXPECT_TRUE(line.IsAnswered());
}

TEST_F(Teardown, NoReplyToTheDropForgetsTheCallWithoutReleasingIt) {
    service::CallBehaviour behaviour;
    behaviour.dropReply = service::ReplyDelivery::Withheld;
    line.SetBehaviour(behaviour);
    CallIn();
    tapi.calls.clear();
    RunUntil([&] { return caller.hungUpTick.has_value(); }, 40000);
    const std::int64_t dropped = static_cast<std::int64_t>(*caller.hungUpTick) -
                                 static_cast<std::int64_t>(*caller.answeredTick);
    EXPECT_GE(Now() - dropped, 10000) << "the main thread waited the limit out";
    Run(100);

    EXPECT_THAT(tapi.calls, ElementsAre("lineMonitorDigits 0", "lineDrop"));
    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_EQ(engine.PendingMessageCount(), 0u);
    EXPECT_EQ(status.Current(), " Waiting for call...");
    EXPECT_THAT(controls.events, ElementsAre("lock", "unlock"));
}

TEST_F(Teardown, AConnectionReportedBeforeTheReplyIsStillPrompted) {
    service::CallBehaviour behaviour;
    behaviour.answerOrder = service::AnswerOrder::ConnectedThenReply;
    line.SetBehaviour(behaviour);
    CallIn();
    Run(2000);
    EXPECT_THAT(HeardNames(), ElementsAre("sit", "greeting"));
    EXPECT_EQ(status.Current(), " Prompting for PIN...");
    EXPECT_TRUE(IsTimerRunning(kDisconnectTimer));
    Press("#");
    Run(12000);
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(Teardown, AReplyWithinTheLimitKeepsTheMainThreadWaitingUntilItComes) {
    service::CallBehaviour behaviour;
    behaviour.replyDelayMilliseconds = 3000;
    line.SetBehaviour(behaviour);
    CallIn();
    Run(1000);
    EXPECT_THAT(HeardOnLine().at(0).name, "sit");
    EXPECT_GE(HeardOnLine().at(0).start, 3000);
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST_F(Teardown, TheProgramsEndDuringACallReleasesEverythingInOrder) {
    CallIn();
    Press("12");
    Run(100);
    tapi.calls.clear();
    const std::size_t statusCount = status.texts.size();
    engine.ExitInstance();

    EXPECT_THAT(tapi.calls,
                ElementsAre("phoneClose", "phoneShutdown", "lineMonitorDigits 0", "lineDrop",
                            "LINE_REPLY", "lineDeallocateCall", "lineClose", "lineShutdown"));
    for (const platform::TimerId timer :
         {kTickTimer, kDisconnectTimer, kRenotifyTimer, kWaitDigitTimer}) {
        EXPECT_FALSE(IsTimerRunning(timer)) << timer;
    }
    EXPECT_EQ(handles.lineApp, 0u);
    EXPECT_EQ(handles.lineHandle, 0u);
    EXPECT_EQ(state.callHandle, 0u);
    EXPECT_EQ(service.ApplicationCount(), 0u);
    EXPECT_TRUE(audio.Player().IsQueueEmpty());
    EXPECT_EQ(status.texts.size(), statusCount) << "no status text at the end";
    EXPECT_THAT(controls.events, ElementsAre("lock"));
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST_F(Teardown, TheProgramsEndWithoutTelephonyMakesNoLineRequest) {
    state.telephonyUnavailable = true;
    status.texts.clear();
    Run(100);
    EXPECT_THAT(status.texts, IsEmpty()) << "the tick keeps only the audio going";
    engine.ExitInstance();
    EXPECT_THAT(tapi.calls, ElementsAre("phoneClose", "phoneShutdown"));
    EXPECT_NE(handles.lineHandle, 0u);
}

TEST_F(Teardown, TheProgramsEndDuringARecordingLeavesAPlayableMessage) {
    CallIn();
    Press("#");
    RunUntil([&] { return audio.Recorder().IsRecording(); }, 20000);
    line.Speak(Speech(2000), &caller);
    Run(2500);
    engine.ExitInstance();

    const auto recorded = audio::ReadWaveSamples(Messages().at(0).path);
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(recorded->samples, Speech(2000));
}

TEST_F(Teardown, AFailingStatusQueryIsLoggedOnceAMinute) {
    tapi.lineDevStatusResult = LINEERR_OPERATIONFAILED;
    Run(150000);
    EXPECT_THAT(log.lines, ElementsAre("lineGetLineDevStatus OPERATIONFAILED",
                                       "lineGetLineDevStatus OPERATIONFAILED",
                                       "lineGetLineDevStatus OPERATIONFAILED"));
    // A success ends the run; the next failure is logged at the next tick.
    tapi.lineDevStatusResult.reset();
    Run(kRestingTickMilliseconds);
    tapi.lineDevStatusResult = LINEERR_NOMEM;
    Run(kRestingTickMilliseconds);
    EXPECT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.lines.back(), "lineGetLineDevStatus NOMEM");
}

TEST_F(Teardown, DisconnectingWithoutACallHandleMakesNoTelephonyRequest) {
    state.callActive = true;
    state.digits = "12";
    engine.DisconnectCall();
    EXPECT_THAT(tapi.calls, IsEmpty());
    EXPECT_EQ(status.Current(), " Disconnecting...");
    EXPECT_THAT(controls.events, ElementsAre("unlock"));
    EXPECT_EQ(state.digits, "");
    EXPECT_FALSE(state.callActive);
}

TEST_F(Teardown, FailedDigitMonitoringIsLoggedAndTheCallEndsByItsTimer) {
    tapi.monitorDigitsResult = LINEERR_OPERATIONFAILED;
    CallIn();
    Press("12#");
    RunUntil([&] { return caller.hungUpTick.has_value(); }, 40000);
    EXPECT_THAT(log.lines, ElementsAre("lineCallback: lineMonitorDigits OPERATIONFAILED",
                                       "DisconnectCall: lineMonitorDigits OPERATIONFAILED"));
}

}  // namespace
}  // namespace porthold::telephony::testing
