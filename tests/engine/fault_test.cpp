// The faults of a home machine during a call: a disk that fills, a folder that
// turns read-only, a sound card pulled out. Nothing stored is lost and the
// next call is answered.

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <set>

#include "audio/unpluggable_sound_card.h"
#include "audio/wave_layout.h"
#include "engine_scenario.h"
#include "platform/files.h"
#include "platform/multimedia/wave_error_text.h"
#include "support/file_size_limit.h"

namespace porthold::telephony::testing {
namespace {

using ::testing::ElementsAre;

// Root writes into a folder whatever its mode says. Without the override
// capabilities, dropped here for this thread alone and given back at the end,
// it meets a read-only folder as any other user does.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        EXPECT_EQ(::syscall(SYS_capget, &header_, saved_), 0);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        EXPECT_EQ(::syscall(SYS_capset, &header_, reduced), 0);
    }
    ~WithoutPermissionOverride() { ::syscall(SYS_capset, &header_, saved_); }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

class Faults : public EngineScenario {
protected:
    // A caller who presses # at once and speaks `words` after the beep.
    void LeaveMessage(const std::vector<std::int16_t>& words) {
        caller = TestCaller{};
        CallIn();
        Press("#");
        // Where nothing can be recorded the caller speaks after the beep all
        // the same.
        RunUntil([&] { return audio.Recorder().IsRecording(); }, 12000);
        line.Speak(words, &caller);
        RunUntil([&] { return caller.hungUpTick.has_value(); },
                 static_cast<std::uint32_t>(words.size() / 8 + 500));
        if (!caller.hungUpTick) {
            line.HangUp(&caller);
        }
        Run(100);
        ASSERT_EQ(status.Current(), " Waiting for call...");
    }

    std::vector<std::int16_t> Recorded(const std::string& path) {
        const auto read = audio::ReadWaveSamples(path);
        EXPECT_TRUE(read.has_value()) << path;
        return read ? read->samples : std::vector<std::int16_t>{};
    }

    int SavedMessageCount() {
        store::MessageList saved(settings.messagesFolder);
        return saved.LoadList() ? saved.NodeCount() : -1;
    }
};

TEST_F(Faults, ADiskThatFillsKeepsTheMessageUpToTheLastBufferAndEndsTheCall) {
    const std::vector<std::int16_t> words = Speech(5000);
    {
        // Room for the header and three and a half buffers of the message.
        porthold::testing::FileSizeLimit limit(46 + 7000);
        LeaveMessage(words);
    }
    ASSERT_TRUE(caller.hungUpTick) << "the program ends the message";
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Recorded(Messages()[0].path),
              std::vector<std::int16_t>(words.begin(), words.begin() + 3000));
    EXPECT_THAT(log.lines, ElementsAre("Rebuffer: mmioWrite"));
    EXPECT_EQ(SavedMessageCount(), 1);

    // With room again the next caller's message is whole.
    LeaveMessage(Speech(1000));
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Recorded(Messages()[1].path), Speech(1000));
    EXPECT_EQ(SavedMessageCount(), 2);
}

TEST_F(Faults, AReadOnlyMessagesFolderLosesOnlyTheNewMessageAndTheCallerHearsNothingAmiss) {
    AddMessage("m0000000.wav", "old", 1000);
    const std::string oldList = folder.Read("messages/messages.lst");
    boxes.QueueAnswer(platform::MessageBoxAnswer::Ok);
    ASSERT_EQ(::chmod(settings.messagesFolder.c_str(), 0500), 0);
    {
        WithoutPermissionOverride readOnly;
        LeaveMessage(Speech(2000));
    }
    ASSERT_EQ(::chmod(settings.messagesFolder.c_str(), 0700), 0);

    EXPECT_THAT(HeardNames(), ElementsAre("sit", "greeting (cut)", "record-prompt", "beep"));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Could not open message file.");
    EXPECT_THAT(log.lines, ElementsAre("Could not save message file."));
    EXPECT_EQ(folder.Read("messages/messages.lst"), oldList);
    ASSERT_EQ(Messages().size(), 1u) << "no entry for a file that could not be made";
    EXPECT_EQ(Recorded(Messages()[0].path).size(), 8000u);

    // Once the folder can be written again the next message is kept, and the
    // list names each file once.
    LeaveMessage(Speech(1000));
    EXPECT_EQ(Recorded(Messages().back().path), Speech(1000));
    store::MessageList saved(settings.messagesFolder);
    ASSERT_TRUE(saved.LoadList());
    std::set<std::string> paths;
    for (int index = 0; index < saved.NodeCount(); ++index) {
        std::string path;
        saved.GetPath(index, path);
        EXPECT_TRUE(platform::FileExists(path)) << path;
        EXPECT_TRUE(paths.insert(path).second) << path << " listed twice";
    }
}

TEST_F(Faults, ASoundCardPulledOutDuringTheNotificationNeitherHangsNorStopsTheLine) {
    AddCaller("123", "Ann is calling", WriteSound("ann.wav", "ann", 1500));
    porthold::testing::UnpluggableSoundCard card(soundCard);
    devices.RegisterSoundCard(card);
    CallIn();
    Press("123#");
    // Halfway through the caller's sound, while the notification shows.
    After(1500, [&] { card.Unplug(); });
    Run(30000);

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].repeatCount, 4) << "the rings on the line go on";
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].pin, "123");
    EXPECT_EQ(HeardOnSoundCard().size(), 1u);
    EXPECT_TRUE(HeardOnSoundCard()[0].cutShort);
    // Each repetition finds the card gone and says so.
    EXPECT_THAT(log.lines, ::testing::Each(std::string("PlayWaveOut ") +
                                           platform::WaveErrorText(platform::MMSYSERR_NODRIVER)));
    EXPECT_EQ(log.lines.size(), 4u);
}

}  // namespace
}  // namespace porthold::telephony::testing
