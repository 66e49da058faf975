// The messages a call brings, from the offer to the idle call, as the program
// relies on them.

#include <memory>
#include <vector>

#include "platform/multimedia/wave_format.h"
#include "service_test_support.h"

namespace porthold::service::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Records what the line tells the caller.
class RecordingCaller final : public CallerEnd {
public:
    void Answered(std::uint32_t tick) override { answeredAt.push_back(tick); }
    void HungUpByLine(std::uint32_t tick) override { hungUpAt.push_back(tick); }

    std::vector<std::uint32_t> answeredAt;
    std::vector<std::uint32_t> hungUpAt;
};

class CallSequence : public ServiceTest {
protected:
    CallSequence() { OpenAsTheProgram(); }
};

TEST_F(CallSequence, AnIncomingCallIsOfferedToTheOwnerAndRingsCountFromZero) {
    ASSERT_EQ(line.Dial(), DialResult::Offered);
    const std::vector<Seen> offer = Messages();
    ASSERT_EQ(offer.size(), 2u);
    const HCALL call = offer[0].param2;
    EXPECT_NE(call, 0u);
    EXPECT_EQ(offer[0], (Seen{LINE_APPNEWCALL, lineHandle, 0, call, LINECALLPRIVILEGE_OWNER}));
    EXPECT_EQ(offer[1], CallState(call, LINECALLSTATE_OFFERING, 1));

    line.Ring();
    EXPECT_THAT(Messages(), ElementsAre(Ring(lineHandle, 0)));
    line.Ring();
    line.Ring();
    EXPECT_THAT(Messages(), ElementsAre(Ring(lineHandle, 2)))
        << "rings not read yet wait as one, with the latest count";
}

TEST_F(CallSequence, AnAnswerIsRepliedToThenConnectsAndTellsTheCaller) {
    RecordingCaller caller;
    ASSERT_EQ(line.Dial(&caller), DialResult::Offered);
    const HCALL call = Messages().front().param2;
    line.Ring();
    clock.Advance(250);

    // The ring not read yet goes: read after the answer, it would ask for
    // another.
    const LONG request = service.lineAnswer(call, nullptr, 0);
    ASSERT_GT(request, 0);
    EXPECT_THAT(Messages(),
                ElementsAre(Reply(request), CallState(call, LINECALLSTATE_CONNECTED, 1)));
    EXPECT_THAT(caller.answeredAt, ElementsAre(250u));
    EXPECT_TRUE(line.IsAnswered());

    EXPECT_EQ(service.lineAnswer(call, nullptr, 0), LINEERR_INVALCALLSTATE);
    line.Ring();
    EXPECT_THAT(Messages(), IsEmpty()) << "an answered call no longer rings";
    EXPECT_EQ(service.lineAnswer(call + 1000, nullptr, 0), LINEERR_INVALCALLHANDLE);
}

TEST_F(CallSequence, TheLineCanReportTheConnectionBeforeTheReply) {
    CallBehaviour behaviour;
    behaviour.answerOrder = AnswerOrder::ConnectedThenReply;
    line.SetBehaviour(behaviour);
    const HCALL call = DialAndOffer();

    const LONG request = service.lineAnswer(call, nullptr, 0);
    EXPECT_THAT(Messages(),
                ElementsAre(CallState(call, LINECALLSTATE_CONNECTED, 1), Reply(request)));
}

TEST_F(CallSequence, ADelayedReplyHoldsBackWhatFollowsItAndAWithheldOneNeverComes) {
    CallBehaviour behaviour;
    behaviour.replyDelayMilliseconds = 12000;
    line.SetBehaviour(behaviour);
    const HCALL call = DialAndOffer();

    const LONG request = service.lineAnswer(call, nullptr, 0);
    clock.Advance(11999);
    EXPECT_THAT(Messages(), IsEmpty());
    clock.Advance(1);
    EXPECT_THAT(Messages(),
                ElementsAre(Reply(request), CallState(call, LINECALLSTATE_CONNECTED, 1)));

    behaviour = CallBehaviour{};
    behaviour.dropReply = ReplyDelivery::Withheld;
    line.SetBehaviour(behaviour);
    ASSERT_GT(service.lineDrop(call, nullptr, 0), 0);
    EXPECT_THAT(Messages(), ElementsAre(CallState(call, LINECALLSTATE_DISCONNECTED, 1),
                                        CallState(call, LINECALLSTATE_IDLE)));
}

TEST_F(CallSequence, KeysArriveOnlyWhileDigitsAreMonitored) {
    const HCALL call = AnsweredCall();
    line.PressKey('1');
    EXPECT_THAT(Messages(), IsEmpty());

    ASSERT_EQ(service.lineMonitorDigits(call, LINEDIGITMODE_DTMF), 0);
    clock.Advance(40);
    line.PressKey('7');
    line.PressKey('#');
    line.PressKey('x');  // no such key
    line.PressKey('4', KeyMode::Pulse);
    EXPECT_THAT(Messages(),
                ElementsAre(Seen{LINE_MONITORDIGITS, call, '7', LINEDIGITMODE_DTMF, 40},
                            Seen{LINE_MONITORDIGITS, call, '#', LINEDIGITMODE_DTMF, 40},
                            Seen{LINE_MONITORDIGITS, call, '4', LINEDIGITMODE_PULSE, 40}));

    ASSERT_EQ(service.lineMonitorDigits(call, 0), 0);
    line.PressKey('2');
    line.PressKey('2', KeyMode::Pulse);
    EXPECT_THAT(Messages(), IsEmpty());

    ASSERT_EQ(service.lineMonitorDigits(call, LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND), 0);
    line.PressKey('A');
    EXPECT_THAT(Messages(),
                ElementsAre(Seen{LINE_MONITORDIGITS, call, 'A', LINEDIGITMODE_DTMF, 40},
                            Seen{LINE_MONITORDIGITS, call, 'A', LINEDIGITMODE_DTMFEND, 40}));
    EXPECT_EQ(service.lineMonitorDigits(call, 0x10), LINEERR_INVALDIGITMODE);
}

TEST_F(CallSequence, KeysBeforeTheAnswerAreLost) {
    const HCALL call = DialAndOffer();
    EXPECT_EQ(service.lineMonitorDigits(call, LINEDIGITMODE_DTMF), 0);
    line.PressKey('5');
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(CallSequence, AFarEndHangUpDisconnectsAndTheDropThenIdlesTheCall) {
    const HCALL call = AnsweredCall();
    line.HangUp();
    EXPECT_THAT(Messages(), ElementsAre(CallState(call, LINECALLSTATE_DISCONNECTED, 1)));
    EXPECT_EQ(service.lineDeallocateCall(call), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(service.lineMonitorDigits(call, 0), 0) << "switching monitoring off stays harmless";

    const LONG request = service.lineDrop(call, nullptr, 0);
    ASSERT_GT(request, 0);
    EXPECT_THAT(Messages(), ElementsAre(Reply(request), CallState(call, LINECALLSTATE_IDLE)));
    EXPECT_EQ(service.lineDrop(call, nullptr, 0), LINEERR_INVALCALLSTATE);
    EXPECT_EQ(service.lineDeallocateCall(call), 0);
    EXPECT_EQ(service.lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);
}

TEST_F(CallSequence, ADropWhileTheCallerIsOnHangsUpOnTheCallerAndFreesTheLine) {
    RecordingCaller caller;
    ASSERT_EQ(line.Dial(&caller), DialResult::Offered);
    const HCALL call = Messages().front().param2;
    const LONG answer = service.lineAnswer(call, nullptr, 0);
    Messages();
    clock.Advance(3000);

    const LONG drop = service.lineDrop(call, nullptr, 0);
    EXPECT_GT(drop, answer) << "request identifiers grow";
    EXPECT_THAT(Messages(), ElementsAre(Reply(drop), CallState(call, LINECALLSTATE_DISCONNECTED, 1),
                                        CallState(call, LINECALLSTATE_IDLE)));
    EXPECT_THAT(caller.hungUpAt, ElementsAre(3000u));
    EXPECT_FALSE(line.IsInCall());
    EXPECT_EQ(service.lineDeallocateCall(call), 0) << "idle as soon as the reply is there";
    EXPECT_EQ(line.Dial(), DialResult::Offered);
}

TEST_F(CallSequence, ACallerWhoGivesUpWhileRingingLeavesAnIdleCall) {
    const HCALL call = DialAndOffer();
    line.Ring();
    line.HangUp();
    // The ring not read yet is stale: read first, it would have the call
    // answered after it was over.
    EXPECT_THAT(Messages(), ElementsAre(CallState(call, LINECALLSTATE_DISCONNECTED, 1),
                                        CallState(call, LINECALLSTATE_IDLE)));
    EXPECT_EQ(service.lineDeallocateCall(call), 0);
    line.Ring();
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(CallSequence, TheLineTakesOneCallAtATimeUntilItIsIdle) {
    const HCALL call = AnsweredCall();
    EXPECT_EQ(line.Dial(), DialResult::Busy);
    line.HangUp();
    EXPECT_EQ(line.Dial(), DialResult::Busy) << "disconnected but not yet dropped";
    service.lineDrop(call, nullptr, 0);
    EXPECT_EQ(line.Dial(), DialResult::Offered);
}

TEST_F(CallSequence, ActiveCallsCountTheAnsweredCallAndAnotherApplicationsCall) {
    EXPECT_EQ(ActiveCalls(lineHandle), 0u);
    const HCALL call = DialAndOffer();
    EXPECT_EQ(ActiveCalls(lineHandle), 0u) << "an offered call is not active yet";
    service.lineAnswer(call, nullptr, 0);
    EXPECT_EQ(ActiveCalls(lineHandle), 1u);
    EXPECT_FALSE(line.HoldOtherCall(OtherCall::Held)) << "the line has a call";
    line.HangUp();
    EXPECT_EQ(ActiveCalls(lineHandle), 1u);
    service.lineDrop(call, nullptr, 0);
    EXPECT_EQ(ActiveCalls(lineHandle), 0u);

    EXPECT_TRUE(line.HoldOtherCall(OtherCall::Held));
    EXPECT_EQ(ActiveCalls(lineHandle), 1u);
    EXPECT_EQ(line.Dial(), DialResult::Busy);
    EXPECT_TRUE(line.HoldOtherCall(OtherCall::Released));
    EXPECT_EQ(ActiveCalls(lineHandle), 0u);
    EXPECT_EQ(line.Dial(), DialResult::Offered);
}

TEST_F(CallSequence, ACallerIsAskedAboutOnlyForItsOwnCall) {
    RecordingCaller first;
    ASSERT_EQ(line.Dial(&first), DialResult::Offered);
    const HCALL call = Messages().front().param2;
    service.lineDrop(call, nullptr, 0);
    Messages();
    RecordingCaller second;
    ASSERT_EQ(line.Dial(&second), DialResult::Offered);

    // The first caller learns late that its call is over: nothing it does
    // reaches the second call.
    line.Ring(&first);
    line.HangUp(&first);
    EXPECT_TRUE(line.IsInCall());
    EXPECT_EQ(Messages().size(), 2u) << "only the second call's offer";
}

TEST_F(CallSequence, ClosingTheLineOrShuttingDownHangsUpOnTheCaller) {
    RecordingCaller caller;
    const HCALL call = [&] {
        EXPECT_EQ(line.Dial(&caller), DialResult::Offered);
        return Messages().front().param2;
    }();
    service.lineAnswer(call, nullptr, 0);
    EXPECT_EQ(service.lineClose(lineHandle), 0);
    EXPECT_EQ(caller.hungUpAt.size(), 1u);
    EXPECT_EQ(service.lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(service.lineClose(lineHandle), LINEERR_INVALLINEHANDLE);

    lineHandle = Open(app);
    ASSERT_EQ(line.Dial(&caller), DialResult::Offered);
    EXPECT_EQ(service.lineShutdown(app), 0);
    EXPECT_EQ(caller.hungUpAt.size(), 2u);
    EXPECT_EQ(service.ApplicationCount(), 0u);
    LINEMESSAGE message{};
    EXPECT_EQ(service.lineGetMessage(app, &message, 0), LINEERR_INVALAPPHANDLE);
}

TEST_F(CallSequence, AnOwnerWhoOpensDuringTheRingingIsOfferedTheCall) {
    EXPECT_EQ(service.lineClose(lineHandle), 0);
    ASSERT_EQ(line.Dial(), DialResult::Offered);
    line.Ring();
    lineHandle = Open(app);
    const std::vector<Seen> offer = Messages();
    ASSERT_EQ(offer.size(), 2u);
    EXPECT_EQ(offer[0].messageId, LINE_APPNEWCALL);
    line.Ring();
    EXPECT_THAT(Messages(), ElementsAre(Ring(lineHandle, 1)));
}

TEST_F(CallSequence, AMonitoringApplicationHearsTheRingsButIsNotOfferedTheCall) {
    const HLINEAPP other = Initialize();
    const HLINE monitor = Open(other, 0, LINECALLPRIVILEGE_MONITOR);
    ASSERT_EQ(line.Dial(), DialResult::Offered);
    line.Ring();
    EXPECT_THAT(Messages(other), ElementsAre(Ring(monitor, 0)));
    EXPECT_EQ(Messages().size(), 3u);
}

TEST_F(CallSequence, TheCallersSpeechEndsWithTheCall) {
    DialAndOffer();
    line.Speak(std::vector<std::int16_t>(8000, 1000));  // a second
    line.HangUp();

    std::unique_ptr<platform::WaveInputDevice> input;
    ASSERT_EQ(
        line.VoiceDevices().OpenInput(line.WaveInputDeviceId(), platform::LineVoiceFormat(), input),
        platform::MMSYSERR_NOERROR);
    std::vector<std::int16_t> recorded(800, -1);  // 100 ms
    platform::WAVEHDR header;
    header.lpData = reinterpret_cast<char*>(recorded.data());
    header.dwBufferLength = 1600;
    input->AddBuffer(header);
    input->Start();
    clock.Advance(100);
    EXPECT_EQ(header.dwBytesRecorded, 1600u);
    EXPECT_EQ(recorded, std::vector<std::int16_t>(800, 0));
    input->Reset();
}

TEST_F(CallSequence, AWaitForAMessageRunsOnTheClock) {
    LINEMESSAGE message{};
    EXPECT_EQ(service.lineGetMessage(app, &message, 0), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(clock.ElapsedMilliseconds(), 0u) << "time-out 0 never waits";
    EXPECT_EQ(service.lineGetMessage(app, &message, 500), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(clock.ElapsedMilliseconds(), 500u);
    EXPECT_EQ(service.lineGetMessage(app, nullptr, 0), LINEERR_INVALPOINTER);
}

}  // namespace
}  // namespace porthold::service::testing
