// Message taking: the prompt and beep, the list entry, the recording and how it ends.

#include <filesystem>

#include "audio/wave_layout.h"
#include "engine_scenario.h"
#include "platform/files.h"

namespace porthold::telephony::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MessageTaking : public EngineScenario {
protected:
    std::vector<std::int16_t> Recorded(const std::string& path) {
        const auto read = audio::ReadWaveSamples(path);
        EXPECT_TRUE(read.has_value()) << path;
        return read ? read->samples : std::vector<std::int16_t>{};
    }

    // The moment the recording started: the end of the beep.
    std::int64_t BeepEnd() {
        for (const HeardSound& sound : HeardOnLine()) {
            if (sound.name == "beep") {
                return sound.end;
            }
        }
        ADD_FAILURE() << "no beep";
        return 0;
    }
};

TEST_F(MessageTaking, HashAloneCutsTheGreetingOffAndRecordsTheCallerUnderHash) {
    CallIn();
    Run(2000);
    Press("#");
    RunUntil([&] { return audio.Recorder().IsRecording(); }, 20000);
    const std::vector<std::int16_t> words = Speech(3000);
    line.Speak(words, &caller);
    Run(3500);
    line.HangUp(&caller);
    Run(100);

    EXPECT_THAT(HeardNames(), ElementsAre("sit", "greeting (cut)", "record-prompt", "beep"));
    const auto heard = HeardOnLine();
    EXPECT_EQ(heard[2].start, heard[1].end) << "the prompt follows the cut at once";
    EXPECT_EQ(heard[3].start, heard[2].end) << "and the beep the prompt";
    EXPECT_THAT(Statuses(),
                ElementsAre(" Waiting for call...", " Ringing...", " Prompting for PIN...",
                            " Recording Message...", " Disconnecting...", " Waiting for call..."));

    ASSERT_EQ(Messages().size(), 1u);
    const store::MessageRecord message = Messages()[0];
    EXPECT_EQ(message.path, settings.messagesFolder + "m0000000.wav");
    EXPECT_EQ(message.pin, "#");
    EXPECT_TRUE(message.isNew);
    EXPECT_EQ(message.dateTime, "01/05/2026 02:30 PM");
    EXPECT_EQ(state.newMessageCount, 1);
    EXPECT_THAT(controls.events, ElementsAre("lock", "look 147 New\nMessage(s)", "unlock"));

    // The list on disk already holds the entry, and the file the caller's words.
    store::MessageList saved(settings.messagesFolder);
    ASSERT_TRUE(saved.LoadList());
    EXPECT_EQ(saved.NodeCount(), 1);
    EXPECT_EQ(Recorded(message.path), words);
    EXPECT_THAT(tapi.calls, ::testing::IsSupersetOf({"lineMonitorDigits 0"}));
    EXPECT_THAT(log.lines, IsEmpty());
}

TEST_F(MessageTaking, ACallerWhoSaysNothingIsHungUpOnAfterTenSecondsOfSilence) {
    CallIn();
    Press("#");
    RunUntil([&] { return caller.hungUpTick.has_value(); }, 60000);

    ASSERT_TRUE(caller.hungUpTick);
    const std::int64_t hungUp = static_cast<std::int64_t>(*caller.hungUpTick) -
                                static_cast<std::int64_t>(*caller.answeredTick);
    // 80 silent buffers of 125 ms, found on the tick after the last one filled.
    EXPECT_GE(hungUp - BeepEnd(), 10000);
    EXPECT_LE(hungUp - BeepEnd(), 10020);
    EXPECT_THAT(Recorded(Messages().at(0).path), IsEmpty());
    EXPECT_FALSE(audio.Recorder().HasBuffers());
}

TEST_F(MessageTaking, AMessageEndsAtTwoMinutesOfSound) {
    CallIn();
    Press("#");
    RunUntil([&] { return audio.Recorder().IsRecording(); }, 20000);
    line.Speak(Speech(130000), &caller);
    RunUntil([&] { return caller.hungUpTick.has_value(); }, 140000);

    ASSERT_TRUE(caller.hungUpTick);
    EXPECT_EQ(Recorded(Messages().at(0).path).size(), 960u * 1000u);
}

TEST_F(MessageTaking, TheFirstFreeNumberIsUsedAgain) {
    folder.Write("messages/m0000000.wav", "taken");
    folder.Write("messages/m0000002.wav", "taken");
    CallIn();
    Press("#");
    Run(12000);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].path, settings.messagesFolder + "m0000001.wav");
}

TEST_F(MessageTaking, AFullMessagesFolderIsToldAndNothingIsRecorded) {
    everyMessageFileTaken = true;
    boxes.QueueAnswer(platform::MessageBoxAnswer::Ok);
    CallIn();
    Press("#");
    Run(12000);

    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "There are too many saved recordings, please delete some.");
    EXPECT_EQ(boxes.shown()[0].caption, "Porthold");
    EXPECT_EQ(boxes.shown()[0].icon, platform::MessageBoxIcon::Information);
    EXPECT_THAT(log.lines, ElementsAre("RecordMessage: Too many recorded messages."));
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_FALSE(audio.Recorder().IsRecording());
}

TEST_F(MessageTaking, AListThatCannotBeSavedIsToldAndTheMessageStillRecorded) {
    // A folder in the list file's place makes every save fail.
    ASSERT_TRUE(platform::CreateDirectory(settings.messagesFolder + "messages.lst"));
    boxes.QueueAnswer(platform::MessageBoxAnswer::Ok);
    CallIn();
    Press("#");
    RunUntil([&] { return audio.Recorder().IsRecording(); }, 20000);

    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Could not open message file.");
    EXPECT_THAT(log.lines, ElementsAre("Could not save message file."));
    EXPECT_EQ(Messages().size(), 1u) << "kept in memory for the next save";
}

TEST_F(MessageTaking, ACallerWhoHangsUpWhileTheSaveFailureShowsIsNotRecordedAndKeepsTheName) {
    ASSERT_TRUE(platform::CreateDirectory(settings.messagesFolder + "messages.lst"));
    boxes.QueueAnswer(platform::MessageBoxAnswer::Ok);
    modalBoxes.whileShown = [&] {
        line.HangUp(&caller);
        Run(200);
    };
    CallIn();
    Press("#");
    Run(12000);

    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_FALSE(audio.Recorder().HasBuffers());
    EXPECT_FALSE(state.hangUpRequested);
    EXPECT_EQ(status.Current(), " Waiting for call...");

    // The entry keeps its name although it has no file: the next message,
    // once the list saves again, gets a name of its own.
    modalBoxes.whileShown = nullptr;
    std::filesystem::remove(settings.messagesFolder + "messages.lst");
    caller = TestCaller{};
    CallIn();
    Press("#");
    Run(12000);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_NE(Messages()[0].path, Messages()[1].path);
}

TEST_F(MessageTaking, ThreeInvalidPinsTakeAMessageUnderTheThirdPinMarkedWithAStar) {
    CallIn();
    for (const char* pin : {"11#", "22#", "33#"}) {
        Press(pin);
        Run(7000);
    }
    Run(6000);

    EXPECT_THAT(HeardNames(),
                ElementsAre("sit", "greeting (cut)", "invalid-pin", "greeting (cut)", "invalid-pin",
                            "greeting (cut)", "invalid-pin", "record-prompt", "beep"));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].pin, "33*");
    EXPECT_EQ(state.invalidPinCount, 0);
    EXPECT_THAT(
        Statuses(),
        ElementsAre(" Waiting for call...", " Ringing...", " Prompting for PIN...", " 1", " 11",
                    " Invalid PIN entered...", " 2", " 22", " Invalid PIN entered...", " 3", " 33",
                    " Invalid PIN entered...", " Recording Message..."));
}

TEST_F(MessageTaking, ACallerWhoHangsUpDuringThePromptStillLeavesAnEntry) {
    CallIn();
    Press("#");
    // Two seconds into the prompt, while the program waits for it to end.
    After(2100, [&] { line.HangUp(&caller); });
    Run(10000);

    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(Messages()[0].isNew);
    EXPECT_TRUE(audio::ReadWaveSamples(Messages()[0].path).has_value());
    EXPECT_FALSE(state.callActive);
    EXPECT_EQ(status.Current(), " Waiting for call...");
}

TEST_F(MessageTaking, KeysQueuedBehindTheKeyThatStartsAMessageTakeNoFurtherOne) {
    // Keyed in one burst, all before the engine stops listening for keys.
    for (const auto& [keys, mode] :
         {std::pair{"#5#", service::KeyMode::Dtmf}, std::pair{"789", service::KeyMode::Pulse}}) {
        SCOPED_TRACE(keys);
        CallIn();
        Press(keys, mode);
        RunUntil([&] { return audio.Recorder().IsRecording(); }, 20000);
        Run(3000);
        EXPECT_EQ(status.Current(), " Recording Message...");
        line.HangUp(&caller);
        Run(100);
        caller = TestCaller{};
    }
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1].pin, "");
}

}  // namespace
}  // namespace porthold::telephony::testing
