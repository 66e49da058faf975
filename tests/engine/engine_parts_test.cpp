// The engine's parts on their own: the notification and pick-up logic, the
// reply waits, message file numbering and the failure-run log.

#include <set>

#include "engine_scenario.h"
#include "telephony/failure_run_log.h"
#include "telephony/incoming_call_notification.h"
#include "telephony/message_files.h"
#include "telephony/pick_up_prompt.h"

namespace porthold::telephony::testing {
namespace {

using ::testing::ElementsAre;

// The engine is idle here; its line and sound card serve the parts.
class EngineParts : public EngineScenario {
protected:
    IncomingCallRequest Request(std::int32_t limit) {
        return IncomingCallRequest{"Bob",
                                   WriteSound("bob.wav", "bob", 1000),
                                   settings.soundsFolder + "default_ring.wav",
                                   kLineOut,
                                   limit,
                                   &callerKeyed};
    }

    std::vector<std::string> Names(const std::vector<HeardSound>& heard) {
        std::vector<std::string> names;
        for (const HeardSound& sound : heard) {
            names.push_back(sound.name + "@" + std::to_string(sound.start) +
                            (sound.cutShort ? " cut" : ""));
        }
        return names;
    }

    bool callerKeyed = false;
};

TEST_F(EngineParts, WithAFreeLineTheNotificationRingsEveryFourSecondsForSixteen) {
    const IncomingCallRequest request = Request(4);
    IncomingCallNotification notification(request, audio.Player(), clock);
    notification.Start();
    ASSERT_TRUE(clock.AdvanceUntil([&] { return notification.IsFinished(); }, 60000));

    EXPECT_EQ(Now(), 16000);
    EXPECT_EQ(notification.Result(), kTakeMessageResult);
    EXPECT_EQ(notification.RepeatCount(), 4);
    EXPECT_EQ(notification.NotificationText(), "Bob");
    // Each ring cuts the one before; the limit cuts the last sounds started.
    EXPECT_THAT(Names(HeardOnLine()), ElementsAre("ring@0 cut", "ring@4000 cut", "ring@8000 cut",
                                                  "ring@12000 cut", "ring@16000 cut"));
    EXPECT_THAT(Names(HeardOnSoundCard()),
                ElementsAre("bob@0", "bob@4000", "bob@8000", "bob@12000", "bob@16000 cut"));
}

TEST_F(EngineParts, ALimitOfOneOrLessEndsAtTheFirstRepetition) {
    for (const std::int32_t limit : {1, 0, -3}) {
        const IncomingCallRequest request = Request(limit);
        IncomingCallNotification notification(request, audio.Player(), clock);
        const std::int64_t opened = Now();
        notification.Start();
        ASSERT_TRUE(clock.AdvanceUntil([&] { return notification.IsFinished(); }, 60000));
        EXPECT_EQ(Now() - opened, 4000) << limit;
        EXPECT_EQ(notification.Result(), kTakeMessageResult);
    }
}

TEST_F(EngineParts, TheCallersKeyEndsTheNotificationAtTheNextTimerWithoutAnotherSound) {
    const IncomingCallRequest request = Request(4);
    IncomingCallNotification notification(request, audio.Player(), clock);
    notification.Start();
    Run(5000);
    callerKeyed = true;
    ASSERT_TRUE(clock.AdvanceUntil([&] { return notification.IsFinished(); }, 60000));

    EXPECT_EQ(Now(), 8000);
    EXPECT_EQ(notification.Result(), kAnswerCallResult);
    EXPECT_FALSE(callerKeyed) << "read and cleared";
    EXPECT_EQ(HeardOnLine().size(), 2u);
    EXPECT_EQ(HeardOnSoundCard().size(), 2u);
}

TEST_F(EngineParts, TheButtonsEndTheNotificationAndLeaveTheSoundsPlaying) {
    const IncomingCallRequest request = Request(4);
    for (const int expected : {kAnswerCallResult, kTakeMessageResult, kNotificationCancelled}) {
        IncomingCallNotification notification(request, audio.Player(), clock);
        notification.Start();
        Run(500);
        if (expected == kAnswerCallResult) {
            notification.Answer();
        } else if (expected == kTakeMessageResult) {
            notification.TakeMessage();
        } else {
            notification.Cancel();
        }
        EXPECT_TRUE(notification.IsFinished());
        EXPECT_EQ(notification.Result(), expected);
        EXPECT_FALSE(clock.IsTimerRunning(notification, IncomingCallNotification::kRepeatTimer));
        EXPECT_FALSE(HeardOnLine().back().cutShort);
        Run(7000);
    }
}

TEST_F(EngineParts, ThePickUpPromptClosesAfterFiveSeconds) {
    PickUpPrompt prompt(clock);
    prompt.Start();
    Run(4990);
    EXPECT_FALSE(prompt.IsFinished());
    Run(10);
    EXPECT_TRUE(prompt.IsFinished());
    EXPECT_FALSE(clock.IsTimerRunning(prompt, PickUpPrompt::kCloseTimer));
}

// The waits, on the line's queue after an answer whose reply follows the
// connection (or never comes). No tick runs during a wait.
class ReplyWaits : public EngineScenario {
protected:
    void OfferAndAnswer(service::ReplyDelivery reply) {
        service::CallBehaviour behaviour;
        behaviour.answerOrder = service::AnswerOrder::ConnectedThenReply;
        behaviour.answerReply = reply;
        line.SetBehaviour(behaviour);
        settings.RingsAnswer = 99;
        ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
        Run(100);
        ASSERT_GT(service.lineAnswer(state.callHandle, nullptr, 0), 0);
    }

    // Releases the call behind the engine's back, so the next one starts clean.
    void EndCall() {
        line.HangUp(&caller);
        service.lineDrop(state.callHandle, nullptr, 0);
        EXPECT_EQ(service.lineDeallocateCall(state.callHandle), 0);
        LINEMESSAGE message{};
        while (service.lineGetMessage(handles.lineApp, &message, 0) == 0) {
        }
        state.callHandle = 0;
        caller = TestCaller{};
    }

    void ExpectKeptConnection(ReplyWaiter& waiter) {
        const std::vector<LINEMESSAGE> kept = waiter.TakeKeptMessages();
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].dwMessageID, LINE_CALLSTATE);
        EXPECT_EQ(kept[0].dwParam1, LINECALLSTATE_CONNECTED);
    }
};

// Either way of waiting: the reply ends the wait at once, and without one the
// main thread waits the whole limit; what came before the reply is kept.
TEST_F(ReplyWaits, TheReplyEndsTheWaitOrTheWholeLimitPassesAndWhatCameBeforeIsKept) {
    for (const bool threaded : {false, true}) {
        for (const auto reply :
             {service::ReplyDelivery::Queued, service::ReplyDelivery::Withheld}) {
            const bool replied = reply == service::ReplyDelivery::Queued;
            SCOPED_TRACE(std::string(threaded ? "threaded" : "interleaved") +
                         (replied ? ", replied" : ", no reply"));
            OfferAndAnswer(reply);
            auto waiter = std::make_shared<ReplyWaiter>(service, handles.lineApp, clock);
            InterleavedReplyWait interleaved(clock);
            ThreadedReplyWait threadedWait(clock);
            ReplyWaitStrategy& strategy =
                threaded ? static_cast<ReplyWaitStrategy&>(threadedWait) : interleaved;
            const std::uint64_t start = clock.ElapsedMilliseconds();
            EXPECT_EQ(strategy.Await(waiter), replied);
            if (replied) {
                EXPECT_LT(clock.ElapsedMilliseconds() - start, 10u);
            } else {
                EXPECT_EQ(clock.ElapsedMilliseconds() - start, 10000u);
                waiter->Abandon();
                EXPECT_EQ(waiter->Step(), ReplyWaiter::Progress::GaveUp);
            }
            ExpectKeptConnection(*waiter);
            EndCall();
        }
    }
}

TEST(MessageFiles, TheFirstNumberWithoutAFileIsChosen) {
    std::set<std::string> taken;
    const auto exists = [&](const std::string& path) { return taken.count(path) > 0; };
    EXPECT_EQ(FirstFreeMessageFile("/m/", exists), "/m/m0000000.wav");
    for (int number = 0; number < 1000; ++number) {
        char name[32];
        std::snprintf(name, sizeof(name), "/m/m%07d.wav", number);
        taken.insert(name);
    }
    taken.insert("/m/m0001001.wav");
    EXPECT_EQ(FirstFreeMessageFile("/m/", exists), "/m/m0001000.wav");
    taken.insert("/m/m0001000.wav");
    EXPECT_EQ(FirstFreeMessageFile("/m/", exists), "/m/m0001002.wav");
}

TEST(MessageFiles, OnlyNamesOfTheMessageFormHaveANumber) {
    EXPECT_EQ(MessageFileNumber("m0000000.wav"), 0);
    EXPECT_EQ(MessageFileNumber("/home/user/messages/m9999998.wav"), 9999998);
    for (const char* other : {"m000001.wav", "m00000012.wav", "m00000a1.wav", "M0000001.wav",
                              "m0000001.WAV", "m0000001.wav.bak", "/m0000001.wav/x", ""}) {
        EXPECT_EQ(MessageFileNumber(other), std::nullopt) << other;
    }
}

TEST(MessageFiles, TheLastNumberIs9999998) {
    int probes = 0;
    std::string last;
    const auto probe = [&](const std::string& path) {
        if (++probes == kMessageFileNumberLimit) {
            last = path;
        }
        return true;
    };
    EXPECT_FALSE(FirstFreeMessageFile("/m/", probe));
    EXPECT_EQ(probes, kMessageFileNumberLimit);
    EXPECT_EQ(last, "/m/m9999998.wav");
}

TEST(FailureRunLog, LogsTheFirstFailureOfARunThenOnceAMinute) {
    platform::VirtualClock clock;
    porthold::testing::RecordingErrorLog log;
    FailureRunLog runLog(log, clock, "Query");
    for (int tick = 0; tick < 12100; ++tick) {
        // Failing from 0 to 120000 ms, both ends included.
        runLog.Report(tick <= 12000 ? LINEERR_NODEVICE : 0);
        clock.Sleep(10);
    }
    runLog.Report(LINEERR_NOMEM);
    runLog.Report(LINEERR_NOMEM);
    EXPECT_THAT(log.lines,
                ElementsAre("Query NODEVICE", "Query NODEVICE", "Query NODEVICE", "Query NOMEM"));
}

}  // namespace
}  // namespace porthold::telephony::testing
