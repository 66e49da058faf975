// The voice channel of a SIP line: the program's wave devices on one side,
// paced RTP frames and a jitter buffer on the other.

#include "service/sip/sip_voice_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/multimedia/simulated_sound_card.h"
#include "platform/virtual_clock.h"
#include "support/wave_bytes.h"

namespace porthold::service::sip {
namespace {

using platform::LineVoiceFormat;
using platform::MMSYSERR_NOERROR;
using OutputDevice = std::unique_ptr<platform::WaveOutputDevice>;
using InputDevice = std::unique_ptr<platform::WaveInputDevice>;
using Samples = std::vector<std::int16_t>;

constexpr std::uint32_t kOutputId = 7;
constexpr std::uint32_t kInputId = 8;

struct SentFrame {
    OutgoingFrame frame;
    std::uint32_t tick;
};

class RecordingSender final : public FrameSender {
public:
    explicit RecordingSender(platform::Clock& clock) : clock_(clock) {}
    void SendFrame(const OutgoingFrame& frame) override {
        const std::lock_guard lock(mutex_);
        frames_.push_back(SentFrame{frame, clock_.TickCount()});
    }
    std::vector<SentFrame> Frames() const {
        const std::lock_guard lock(mutex_);
        return frames_;
    }

private:
    platform::Clock& clock_;
    mutable std::mutex mutex_;
    std::vector<SentFrame> frames_;
};

// A buffer as WaveDevices hands it to a device: prepared and queued.
struct TestBuffer {
    explicit TestBuffer(const Samples& samples) : bytes(testing::SampleBytes(samples)) {
        header.lpData = bytes.data();
        header.dwBufferLength = static_cast<std::uint32_t>(bytes.size());
        header.dwFlags = platform::WHDR_PREPARED | platform::WHDR_INQUEUE;
    }
    bool IsDone() const { return (header.dwFlags.load() & platform::WHDR_DONE) != 0; }
    Samples Recorded() const {
        Samples samples(header.dwBytesRecorded / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    std::string bytes;
    platform::WAVEHDR header;
    std::optional<std::uint32_t> doneTick;
};

Samples Ramp(std::size_t count, int start) {
    Samples samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = static_cast<std::int16_t>((start + static_cast<int>(index) * 7) % 30000);
    }
    return samples;
}

Samples SamplesOf(const std::vector<SentFrame>& frames, std::size_t first = 0) {
    Samples samples;
    for (std::size_t index = first; index < frames.size(); ++index) {
        samples.insert(samples.end(), frames[index].frame.samples.begin(),
                       frames[index].frame.samples.end());
    }
    return samples;
}

class SipVoiceChannelTest : public ::testing::Test {
protected:
    // Moves time in 20 ms steps, noting when each buffer is first done.
    void Run(std::uint32_t milliseconds, const std::vector<TestBuffer*>& buffers = {}) {
        for (std::uint32_t step = 0; step < milliseconds; step += 20) {
            clock.Advance(20);
            for (TestBuffer* buffer : buffers) {
                if (!buffer->doneTick && buffer->IsDone()) {
                    buffer->doneTick = clock.TickCount();
                }
            }
        }
    }

    platform::VirtualClock clock;
    SipVoiceChannel channel{clock, kOutputId, kInputId};
    RecordingSender sender{clock};
    OutputDevice output;
    InputDevice input;
};

TEST_F(SipVoiceChannelTest, OffersOnlyTheLineFormatAndEachDeviceOnceButBothAtOnce) {
    platform::WaveFormat wideband = LineVoiceFormat();
    wideband.samplesPerSecond = 16000;
    wideband.averageBytesPerSecond = 32000;
    EXPECT_EQ(channel.QueryFormat(kInputId, platform::WaveDirection::Input, wideband),
              platform::WAVERR_BADFORMAT);
    ASSERT_EQ(channel.OpenOutput(kOutputId, LineVoiceFormat(), output), MMSYSERR_NOERROR);
    ASSERT_EQ(channel.OpenInput(kInputId, LineVoiceFormat(), input), MMSYSERR_NOERROR);
    InputDevice secondInput;
    EXPECT_EQ(channel.OpenInput(kInputId, LineVoiceFormat(), secondInput),
              platform::MMSYSERR_ALLOCATED);
    input.reset();
    EXPECT_EQ(channel.OpenInput(kInputId, LineVoiceFormat(), input), MMSYSERR_NOERROR);
}

TEST_F(SipVoiceChannelTest, ASecondPlayedDuringACallLeavesAsFiftyPacedFrames) {
    channel.BeginCallAudio(sender);
    ASSERT_EQ(channel.OpenOutput(kOutputId, LineVoiceFormat(), output), MMSYSERR_NOERROR);
    const Samples samples = Ramp(8000, 1);
    TestBuffer buffer(samples);
    output->Write(buffer.header);
    Run(1200, {&buffer});

    const std::vector<SentFrame> frames = sender.Frames();
    ASSERT_EQ(frames.size(), 50u);
    EXPECT_EQ(SamplesOf(frames), samples);
    // The stream starts at random numbers, not at zero.
    EXPECT_FALSE(frames[0].frame.sequence == 0 && frames[0].frame.timestamp == 0);
    for (std::size_t index = 0; index < frames.size(); ++index) {
        const OutgoingFrame& frame = frames[index].frame;
        EXPECT_EQ(frame.sequence, static_cast<std::uint16_t>(frames[0].frame.sequence + index));
        EXPECT_EQ(frame.timestamp, frames[0].frame.timestamp + index * kFrameSamples);
        EXPECT_EQ(frames[index].tick, 20 + index * kFrameMilliseconds);
        EXPECT_EQ(frame.marker, index == 0 ? RtpMarker::Set : RtpMarker::Clear);
    }
    // Done when the last frame has played, not when it was handed out.
    EXPECT_EQ(buffer.doneTick, frames.back().tick + kFrameMilliseconds);
}

TEST_F(SipVoiceChannelTest, ResetReturnsBuffersAtOnceAndTheStreamGoesOnAfterIt) {
    channel.BeginCallAudio(sender);
    ASSERT_EQ(channel.OpenOutput(kOutputId, LineVoiceFormat(), output), MMSYSERR_NOERROR);
    TestBuffer first(Ramp(8000, 1));
    TestBuffer second(Ramp(8000, 2));
    output->Write(first.header);
    output->Write(second.header);
    Run(200);
    output->Reset();
    EXPECT_TRUE(first.IsDone() && second.IsDone());
    EXPECT_FALSE(output->HasQueuedBuffers());
    const std::vector<SentFrame> beforeReset = sender.Frames();
    Run(300);
    EXPECT_EQ(sender.Frames().size(), beforeReset.size());

    const Samples samples = Ramp(800, 3);
    TestBuffer third(samples);
    output->Write(third.header);
    Run(200);
    const std::vector<SentFrame> frames = sender.Frames();
    ASSERT_EQ(frames.size(), beforeReset.size() + 5);
    EXPECT_EQ(SamplesOf(frames, beforeReset.size()), samples);
    EXPECT_TRUE(third.IsDone());
    // One RTP stream: the sequence goes on by one, the timestamp by the time
    // that passed, and the new talk spurt is marked.
    const SentFrame& last = beforeReset.back();
    const SentFrame& next = frames[beforeReset.size()];
    EXPECT_EQ(next.frame.sequence, static_cast<std::uint16_t>(last.frame.sequence + 1));
    EXPECT_EQ(next.frame.timestamp - last.frame.timestamp, (next.tick - last.tick) * 8);
    EXPECT_EQ(next.frame.marker, RtpMarker::Set);
}

TEST_F(SipVoiceChannelTest, WithoutACallNothingIsSentButBuffersCompleteInRealTime) {
    channel.BeginCallAudio(sender);
    channel.EndCallAudio();
    ASSERT_EQ(channel.OpenOutput(kOutputId, LineVoiceFormat(), output), MMSYSERR_NOERROR);
    ASSERT_EQ(channel.OpenInput(kInputId, LineVoiceFormat(), input), MMSYSERR_NOERROR);
    TestBuffer played(Ramp(4000, 1));
    TestBuffer recorded(Ramp(4000, 9));  // holds sound that silence must replace
    output->Write(played.header);
    input->AddBuffer(recorded.header);
    input->Start();
    channel.ReceiveAudio(1, 160, Ramp(160, 5));
    Run(1000, {&played, &recorded});

    EXPECT_TRUE(sender.Frames().empty());
    EXPECT_EQ(played.doneTick, 520u);
    EXPECT_EQ(recorded.doneTick, 500u);
    EXPECT_EQ(recorded.Recorded(), Samples(4000, 0));
}

TEST_F(SipVoiceChannelTest, ReceivedPacketsFillRecordingBuffersAfterTheJitterDepth) {
    channel.BeginCallAudio(sender);
    ASSERT_EQ(channel.OpenInput(kInputId, LineVoiceFormat(), input), MMSYSERR_NOERROR);
    // Buffers that do not hold whole frames, so frames are split across them.
    TestBuffer buffers[] = {TestBuffer(Samples(1000)), TestBuffer(Samples(1000)),
                            TestBuffer(Samples(1000))};
    const std::vector<TestBuffer*> watched = {&buffers[0], &buffers[1], &buffers[2]};
    for (TestBuffer* buffer : watched) {
        input->AddBuffer(buffer->header);
    }
    input->Start();
    auto packet = [](int number) { return Ramp(kFrameSamples, 1000 * (number + 1)); };
    // One packet every 20 ms; 3 and 4 swapped, 6 lost.
    for (const int number : {0, 1, 2, 4, 3, 5, 7, 8, 9}) {
        channel.ReceiveAudio(static_cast<std::uint16_t>(500 + number),
                             static_cast<std::uint32_t>(90000 + number * 160), packet(number));
        Run(20, watched);
    }
    Run(400, watched);

    // Playing starts once 60 ms are held: the first packet, which arrived as
    // recording began, is heard in the third frame.
    Samples expected(3000, 0);
    for (const int number : {0, 1, 2, 3, 4, 5, 7, 8, 9}) {
        const Samples samples = packet(number);
        std::copy(samples.begin(), samples.end(), expected.begin() + (number + 2) * 160);
    }
    Samples heard;
    for (const TestBuffer& buffer : buffers) {
        const Samples samples = buffer.Recorded();
        heard.insert(heard.end(), samples.begin(), samples.end());
    }
    EXPECT_EQ(heard, expected);
    // Filled in real time: each takes 125 ms, done with the frame that ends it.
    EXPECT_EQ(buffers[0].doneTick, 140u);
    EXPECT_EQ(buffers[1].doneTick, 260u);
    EXPECT_EQ(buffers[2].doneTick, 380u);
    channel.EndCallAudio();
}

bool Contains(const Samples& heard, const Samples& expected) {
    return std::search(heard.begin(), heard.end(), expected.begin(), expected.end()) != heard.end();
}

std::size_t CountSounding(const Samples& samples) {
    return static_cast<std::size_t>(
        std::count_if(samples.begin(), samples.end(), [](std::int16_t sample) { return sample; }));
}

class SipHeadsetTest : public SipVoiceChannelTest {
protected:
    Samples Speaker() const {
        Samples samples;
        for (const platform::PlayedSound& sound : soundCard.Timeline()) {
            const Samples played = sound.Samples();
            samples.insert(samples.end(), played.begin(), played.end());
        }
        return samples;
    }
    bool SoundCardClosed() const {
        return soundCard.OpenOutputCount() == 0 && soundCard.OpenInputCount() == 0;
    }

    platform::SimulatedSoundCard soundCard{clock};
    std::ostringstream problems;
    SipVoiceChannel headsetChannel{clock, kOutputId, kInputId, {}, {&soundCard, &problems, "home"}};
};

TEST_F(SipHeadsetTest, BridgesTheCallToTheSoundCardOnlyWhileConnected) {
    EXPECT_FALSE(headsetChannel.ConnectHeadset());  // no call's audio yet
    channel.BeginCallAudio(sender);
    EXPECT_FALSE(channel.ConnectHeadset());  // no sound card
    channel.EndCallAudio();
    headsetChannel.BeginCallAudio(sender);
    // The program plays all along; while connected the caller hears the user
    // instead.
    ASSERT_EQ(headsetChannel.OpenOutput(kOutputId, LineVoiceFormat(), output), MMSYSERR_NOERROR);
    TestBuffer played(Ramp(8000, 11));
    output->Write(played.header);
    Run(100);
    const std::size_t before = sender.Frames().size();
    ASSERT_TRUE(headsetChannel.ConnectHeadset());
    const Samples speech = Ramp(800, 3);
    soundCard.UserSpeaks(200, speech);
    Samples callerSaid;
    for (std::uint16_t number = 0; number < 10; ++number) {
        const Samples packet = Ramp(kFrameSamples, 500 + number);
        headsetChannel.ReceiveAudio(number, number * 160u, packet);
        callerSaid.insert(callerSaid.end(), packet.begin(), packet.end());
        Run(20);
    }
    Run(400);
    EXPECT_TRUE(Contains(Speaker(), callerSaid));
    const std::size_t connected = sender.Frames().size();
    const Samples spoken = SamplesOf(sender.Frames(), before);
    EXPECT_TRUE(Contains(spoken, speech));
    EXPECT_EQ(CountSounding(spoken), speech.size());

    headsetChannel.DisconnectHeadset();
    EXPECT_TRUE(SoundCardClosed());
    Run(100);
    const std::vector<SentFrame> frames = sender.Frames();
    ASSERT_EQ(frames.size(), connected + 5);
    EXPECT_EQ(CountSounding(SamplesOf(frames, connected)), kFrameSamples * 5);
    // One RTP stream throughout, a talk spurt starting at each change.
    for (std::size_t index = 1; index < frames.size(); ++index) {
        EXPECT_EQ(frames[index].frame.sequence,
                  static_cast<std::uint16_t>(frames[index - 1].frame.sequence + 1));
        EXPECT_EQ(frames[index].frame.timestamp, frames[index - 1].frame.timestamp + 160);
        EXPECT_EQ(frames[index].frame.marker,
                  index == before || index == connected ? RtpMarker::Set : RtpMarker::Clear);
    }
    Run(600, {&played});
    EXPECT_EQ(played.doneTick, 1020u);  // dropped or sent, the play took its length
    output.reset();
    headsetChannel.EndCallAudio();
}

TEST_F(SipHeadsetTest, AMissingSoundCardIsRefusedAndABusyOneRetriedUntilTheCallsEnd) {
    soundCard.SetCondition(platform::SoundCardCondition::Absent);
    headsetChannel.BeginCallAudio(sender);
    EXPECT_FALSE(headsetChannel.ConnectHeadset()) << "no card worth waiting for";
    soundCard.SetCondition(platform::SoundCardCondition::HeldByAnotherProgram);
    ASSERT_TRUE(headsetChannel.ConnectHeadset());
    Run(1540);  // tried at 20, 520, 1020 and 1520
    EXPECT_EQ(soundCard.OpenOutputCount(), 0u);
    const std::string line = problems.str();
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    EXPECT_TRUE(line.starts_with("porthold line service: line home: ")) << line;
    EXPECT_NE(line.find("in use"), std::string::npos) << line;

    soundCard.SetCondition(platform::SoundCardCondition::Available);
    Run(460);
    EXPECT_EQ(soundCard.OpenOutputCount(), 0u);  // not before half a second
    Run(20);
    EXPECT_EQ(soundCard.OpenOutputCount(), 1u);
    EXPECT_EQ(soundCard.OpenInputCount(), 1u);
    EXPECT_EQ(problems.str(), line);
    headsetChannel.EndCallAudio();
    EXPECT_TRUE(SoundCardClosed());
    EXPECT_FALSE(headsetChannel.IsPacing());
}

// A sound card whose speaker never finishes a buffer, and without a
// microphone: the bridge must stay bounded and hand everything back.
class StuckSoundCard final : public platform::WaveDeviceProvider {
public:
    struct Speaker final : platform::WaveOutputDevice {
        explicit Speaker(StuckSoundCard& owner) : card(owner) {}
        ~Speaker() override { card.closedHoldingBuffers = !queue.empty(); }
        platform::MMRESULT Write(platform::WAVEHDR& header) override {
            queue.push_back(&header);
            return MMSYSERR_NOERROR;
        }
        platform::MMRESULT Reset() override {
            std::ranges::for_each(queue, [](auto* header) { platform::MarkBufferDone(*header); });
            queue.clear();
            return MMSYSERR_NOERROR;
        }
        bool HasQueuedBuffers() const override { return !queue.empty(); }
        StuckSoundCard& card;
        std::vector<platform::WAVEHDR*> queue;
    };

    bool ServesDevice(std::uint32_t, platform::WaveDirection) const override { return true; }
    platform::MMRESULT QueryFormat(std::uint32_t, platform::WaveDirection,
                                   const platform::WaveFormat&) override {
        return MMSYSERR_NOERROR;
    }
    platform::MMRESULT OpenOutput(std::uint32_t, const platform::WaveFormat&,
                                  OutputDevice& device) override {
        auto speaker = std::make_unique<Speaker>(*this);
        speakerQueue = &speaker->queue;
        device = std::move(speaker);
        return MMSYSERR_NOERROR;
    }
    platform::MMRESULT OpenInput(std::uint32_t, const platform::WaveFormat&,
                                 InputDevice&) override {
        return platform::MMSYSERR_NODRIVER;
    }

    const std::vector<platform::WAVEHDR*>* speakerQueue = nullptr;
    std::optional<bool> closedHoldingBuffers;
};

TEST_F(SipVoiceChannelTest, ASpeakerThatRunsBehindLosesFramesAndIsResetBeforeItCloses) {
    StuckSoundCard card;
    SipVoiceChannel stuck{clock, kOutputId, kInputId, {}, {&card, nullptr, "home"}};
    stuck.BeginCallAudio(sender);
    ASSERT_TRUE(stuck.ConnectHeadset());
    Run(1000);
    ASSERT_NE(card.speakerQueue, nullptr);
    EXPECT_EQ(card.speakerQueue->size(), HeadsetBridge::kSpeakerBuffers);
    EXPECT_EQ(CountSounding(SamplesOf(sender.Frames())), 0u);  // silence, not stale bytes
    EXPECT_GE(sender.Frames().size(), 45u);
    // After a stall the stretch before is skipped, not sent in one burst.
    const std::size_t steady = sender.Frames().size();
    clock.Advance(3000);
    EXPECT_LE(sender.Frames().size() - steady, 10u);
    stuck.EndCallAudio();
    EXPECT_EQ(card.closedHoldingBuffers, false);
}

// Not a virtual clock, so the channel runs its own thread; but its sleeps
// return at once having moved time on, so nothing waits in real time.
class SteppingClock final : public platform::Clock {
public:
    std::uint32_t TickCount() const override {
        const std::lock_guard lock(mutex_);
        return ticks_;
    }
    void Sleep(std::uint32_t milliseconds) override {
        const std::lock_guard lock(mutex_);
        ticks_ += milliseconds;
        changed_.notify_all();
    }
    platform::LocalTime Now() const override { return {}; }
    void SetTimer(platform::TimerHandler&, platform::TimerId, std::uint32_t) override {}
    void KillTimer(platform::TimerHandler&, platform::TimerId) override {}
    void DeliverDueTimers() override {}

    // The limit only keeps a faulty channel from hanging the test run.
    bool WaitUntilDone(const TestBuffer& buffer) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return buffer.IsDone(); });
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint32_t ticks_ = 0;
};

TEST(SipVoiceChannelThread, SleepsOnlyWhilePacingAndSendsFromItsThread) {
    SteppingClock clock;
    RecordingSender sender(clock);
    auto channel = std::make_unique<SipVoiceChannel>(clock, kOutputId, kInputId);
    EXPECT_FALSE(channel->IsPacing());
    EXPECT_EQ(clock.TickCount(), 0u);  // no sleep while idle

    channel->BeginCallAudio(sender);
    EXPECT_TRUE(channel->IsPacing());
    OutputDevice output;
    ASSERT_EQ(channel->OpenOutput(kOutputId, LineVoiceFormat(), output), MMSYSERR_NOERROR);
    const Samples samples = Ramp(800, 1);
    TestBuffer buffer(samples);
    output->Write(buffer.header);
    ASSERT_TRUE(clock.WaitUntilDone(buffer));
    EXPECT_EQ(SamplesOf(sender.Frames()), samples);
    output.reset();
    channel->EndCallAudio();
    EXPECT_FALSE(channel->IsPacing());
}

}  // namespace
}  // namespace porthold::service::sip
