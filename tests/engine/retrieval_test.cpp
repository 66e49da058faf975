// Remote retrieval: the owner's PIN plays every message over the line.

#include "engine_scenario.h"

namespace porthold::telephony::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Retrieval : public EngineScenario {
protected:
    Retrieval() {
        AddMessage("m0000000.wav", "m1", 2000);
        AddMessage("m0000001.wav", "m2", 1500);
        AddMessage("m0000002.wav", "m3", 1000);
    }

    // Keys the owner presses this long after keying the remote PIN. Beeps
    // are 500 ms; retrieval starts 500 ms after the PIN, so message 1 plays
    // from about 1000 to 3000, message 2 from 3500 to 5000.
    void Retrieve(const std::vector<std::pair<std::uint32_t, std::string>>& keys = {}) {
        CallIn();
        pinKeyed = Now();
        Press("958#");
        for (const auto& [delay, key] : keys) {
            After(delay, [this, key = key] {
                if (key == "hang up") {
                    line.HangUp(&caller);
                } else {
                    Press(key);
                }
            });
        }
        Run(15000);
    }

    std::int64_t pinKeyed = 0;

    // What was heard after the greeting that the retrieval cut off.
    std::vector<std::string> Retrieved() {
        std::vector<std::string> names = HeardNames();
        names.erase(names.begin(), names.begin() + 2);
        return names;
    }

    // Whether each sound began where the one before it ended.
    bool BackToBack() {
        const auto heard = HeardOnLine();
        for (std::size_t index = 3; index < heard.size(); ++index) {
            if (heard[index].start != heard[index - 1].end) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(Retrieval, EveryMessagePlaysAfterABeepAndTwoBeepsEndTheList) {
    Retrieve();
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2", "beep", "m3", "beep", "beep"));
    EXPECT_TRUE(BackToBack());
    const auto heard = HeardOnLine();
    // The four keys take a tick each; the first beep follows a pause of
    // 500 ms, during which the greeting goes on until the beep cuts it off.
    EXPECT_GE(heard[2].start - pinKeyed, 30 + 500);
    EXPECT_LE(heard[2].start - pinKeyed, 40 + 500);
    EXPECT_TRUE(heard[1].cutShort);
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Ringing...", " Prompting for PIN...", " 9",
                            " 95", " 958", " Retrieving messages..."));
    EXPECT_THAT(tapi.calls,
                ::testing::IsSupersetOf({"lineMonitorDigits 0", "lineMonitorDigits 2"}));
    // Retrieval has no time limit and changes no message.
    EXPECT_FALSE(IsTimerRunning(kDisconnectTimer));
    EXPECT_TRUE(state.retrieving);
    for (const store::MessageRecord& message : Messages()) {
        EXPECT_TRUE(message.isNew);
    }
    EXPECT_EQ(Messages().size(), 3u);
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST_F(Retrieval, TwoRepeatsTheMessagePlayingWhenTheKeyIsHandled) {
    // Pressed during message 1, handled once message 2 has started.
    Retrieve({{2000, "2"}});
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2", "beep", "m2", "beep", "m3",
                                         "beep", "beep"));
    EXPECT_TRUE(BackToBack());
}

TEST_F(Retrieval, OneStartsAgainFromTheOldestMessage) {
    // Pressed during message 2, handled while message 3 plays.
    Retrieve({{4000, "1"}});
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2", "beep", "m3", "beep", "m1",
                                         "beep", "m2", "beep", "m3", "beep", "beep"));
    EXPECT_TRUE(BackToBack());
}

TEST_F(Retrieval, AnotherKeyStopsAfterTheCurrentMessageAndTwoResumes) {
    Retrieve({{2000, "3"}});
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2"));
    Press("2");
    Run(5000);
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2", "beep", "m2", "beep", "m3",
                                         "beep", "beep"));
    // At the end of the list keys still work.
    Press("#");
    Run(2000);
    Press("1");
    Run(10000);
    EXPECT_EQ(Retrieved().size(), 18u);
}

TEST_F(Retrieval, StarAndLettersChangeNothing) {
    Retrieve({{2000, "*"}, {2100, "A"}, {3600, "D"}});
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2", "beep", "m3", "beep", "beep"));
}

TEST_F(Retrieval, AnEmptyListGivesTwoBeeps) {
    messages.ClearList();
    Retrieve();
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "beep"));
}

TEST_F(Retrieval, AHangUpLetsTheMessagePlayingEndAndAdvancesNoFurther) {
    Retrieve({{2000, "hang up"}});
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2"));
    EXPECT_FALSE(HeardOnLine().back().cutShort);
    EXPECT_FALSE(state.retrieving);
    EXPECT_EQ(status.Current(), " Waiting for call...");
}

TEST_F(Retrieval, KeysQueuedAheadOfTheHangUpPlayNoFurtherMessage) {
    // While a message plays the engine waits for it; the keys and the
    // hang-up queue up meanwhile.
    Retrieve({{1500, "*"}, {1600, "A"}, {2000, "hang up"}});
    EXPECT_THAT(Retrieved(), ElementsAre("beep", "m1", "beep", "m2"));
    EXPECT_FALSE(state.retrieving);
}

TEST_F(Retrieval, TheRemotePinWinsOverACallerWithTheSameDigits) {
    AddCaller("958", "Same digits", "");
    Retrieve();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(Retrieved().size(), 8u);
}

TEST_F(Retrieval, AnEmptyRemotePinNeverMatches) {
    settings.RemotePIN = "";
    CallIn();
    Press("#");
    Run(12000);
    EXPECT_FALSE(state.retrieving);
    ASSERT_EQ(Messages().size(), 4u);
    EXPECT_EQ(Messages()[3].pin, "#");
}

}  // namespace
}  // namespace porthold::telephony::testing
