#include "platform/multimedia/simulated_line_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/multimedia/scripted_audio.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/system_clock.h"
#include "platform/virtual_clock.h"
#include "wave_test_support.h"

namespace porthold::platform {
namespace {

using testing::LineFormatBlock;
using testing::TestBuffer;

constexpr std::uint32_t kLineOut = 7;
constexpr std::uint32_t kLineIn = 8;

class SimulatedLineTest : public ::testing::Test {
protected:
    SimulatedLineTest() { devices.RegisterProvider(line); }

    HWAVEOUT OpenOutput() {
        HWAVEOUT handle{};
        EXPECT_EQ(devices.OutOpen(&handle, kLineOut, &format, 0, 0, CALLBACK_NULL),
                  MMSYSERR_NOERROR);
        return handle;
    }

    HWAVEIN OpenInput() {
        HWAVEIN handle{};
        EXPECT_EQ(devices.InOpen(&handle, kLineIn, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        return handle;
    }

    void Play(HWAVEOUT handle, TestBuffer& buffer) {
        ASSERT_EQ(devices.OutPrepareHeader(handle, &buffer.header), MMSYSERR_NOERROR);
        ASSERT_EQ(devices.OutWrite(handle, &buffer.header), MMSYSERR_NOERROR);
    }

    void Queue(HWAVEIN handle, TestBuffer& buffer) {
        ASSERT_EQ(devices.InPrepareHeader(handle, &buffer.header), MMSYSERR_NOERROR);
        ASSERT_EQ(devices.InAddBuffer(handle, &buffer.header), MMSYSERR_NOERROR);
    }

    const WAVEFORMATEX format = LineFormatBlock();
    VirtualClock clock{LocalTime{2026, 1, 5, 9, 0, 0, 0}, 1000};
    SimulatedLineVoiceChannel line{clock, kLineOut, kLineIn};
    WaveDevices devices;
};

TEST_F(SimulatedLineTest, IsHalfDuplexWhileEitherSideIsOpen) {
    const HWAVEOUT output = OpenOutput();
    HWAVEOUT secondOutput{};
    HWAVEIN input{};
    EXPECT_EQ(devices.OutOpen(&secondOutput, kLineOut, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(devices.InOpen(&input, kLineIn, &format, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    // A format query judges the format only, so the program can ask while its
    // own sound still holds the line.
    EXPECT_EQ(devices.InOpen(nullptr, kLineIn, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);

    input = OpenInput();
    EXPECT_TRUE(line.IsOpen());
    EXPECT_EQ(devices.OutOpen(&secondOutput, kLineOut, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(devices.InClose(input), MMSYSERR_NOERROR);
    EXPECT_FALSE(line.IsOpen());
}

TEST_F(SimulatedLineTest, OutputIsDoneWhenTheClockReachesItsEnd) {
    const HWAVEOUT handle = OpenOutput();
    TestBuffer greeting(2000, 'g');  // 125 ms
    const std::uint32_t start = clock.TickCount();
    Play(handle, greeting);
    EXPECT_EQ(greeting.header.dwFlags.load(), WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(devices.OutUnprepareHeader(handle, &greeting.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(devices.OutClose(handle), WAVERR_STILLPLAYING);

    clock.Advance(124);
    EXPECT_FALSE(greeting.IsDone());
    clock.Advance(1);
    EXPECT_EQ(greeting.header.dwFlags.load(), WHDR_PREPARED | WHDR_DONE);

    // Time passing in a sleep finishes a sound just the same.
    TestBuffer prompt(8000, 'p');  // 500 ms
    Play(handle, prompt);
    clock.Sleep(499);
    EXPECT_FALSE(prompt.IsDone());
    clock.Sleep(1);
    EXPECT_TRUE(prompt.IsDone());
    EXPECT_EQ(devices.OutUnprepareHeader(handle, &prompt.header), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutClose(handle), MMSYSERR_NOERROR);

    const std::vector<PlayedSound> timeline = line.Timeline();
    ASSERT_EQ(timeline.size(), 2u);
    EXPECT_EQ(timeline[0].deviceId, kLineOut);
    EXPECT_EQ(timeline[0].startTick, start);
    EXPECT_EQ(timeline[0].endTick, start + 125);
    EXPECT_EQ(timeline[0].state, PlaybackState::Finished);
    EXPECT_EQ(timeline[0].bytes, std::vector<std::uint8_t>(2000, 'g'));
    EXPECT_EQ(timeline[1].startTick, start + 125);
    EXPECT_EQ(timeline[1].endTick, start + 625);
}

// The program finds finished buffers from its timer; the device must be up to
// date when a timer falls due at the very moment a buffer ends.
TEST_F(SimulatedLineTest, ATimerDueAtTheEndOfASoundSeesItDone) {
    class Poll final : public TimerHandler {
    public:
        explicit Poll(const TestBuffer& buffer) : buffer_(buffer) {}
        void OnTimer(TimerId) override { seen.push_back(buffer_.IsDone()); }
        std::vector<bool> seen;

    private:
        const TestBuffer& buffer_;
    };
    const HWAVEOUT handle = OpenOutput();
    TestBuffer sound(1920);  // 120 ms
    Play(handle, sound);
    Poll poll(sound);
    clock.SetTimer(poll, 0, 10);
    clock.Advance(120);
    clock.KillTimer(poll, 0);
    ASSERT_EQ(poll.seen.size(), 12u);
    EXPECT_FALSE(poll.seen[10]);
    EXPECT_TRUE(poll.seen[11]);
    EXPECT_EQ(devices.OutClose(handle), MMSYSERR_NOERROR);
}

TEST_F(SimulatedLineTest, ResetCutsASoundShort) {
    const HWAVEOUT handle = OpenOutput();
    TestBuffer greeting(160000);  // 10 s
    const std::uint32_t start = clock.TickCount();
    Play(handle, greeting);
    clock.Advance(300);
    EXPECT_EQ(devices.OutReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(greeting.header.dwFlags.load(), WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(devices.OutUnprepareHeader(handle, &greeting.header), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutClose(handle), MMSYSERR_NOERROR);

    const std::vector<PlayedSound> timeline = line.Timeline();
    ASSERT_EQ(timeline.size(), 1u);
    EXPECT_EQ(timeline[0].startTick, start);
    EXPECT_EQ(timeline[0].endTick, start + 300);
    EXPECT_EQ(timeline[0].state, PlaybackState::CutShort);
    EXPECT_EQ(timeline[0].bytes.size(), 160000u);
}

TEST_F(SimulatedLineTest, InputFillsBuffersFromTheCallersSpeech) {
    const HWAVEIN handle = OpenInput();
    const std::uint32_t start = clock.TickCount();
    line.CallerSpeaks(start + 250, std::vector<std::int16_t>(1000, 1234));
    line.CallerSpeaks(start + 475, {-5, 6});
    TestBuffer first(2000, 'x');
    TestBuffer second(2000, 'x');
    Queue(handle, first);
    Queue(handle, second);
    ASSERT_EQ(devices.InStart(handle), MMSYSERR_NOERROR);

    clock.Advance(124);
    EXPECT_FALSE(first.IsDone());
    clock.Advance(1);
    ASSERT_TRUE(first.IsDone());
    EXPECT_EQ(first.header.dwBytesRecorded, 2000u);
    EXPECT_EQ(first.RecordedSamples(), std::vector<std::int16_t>(1000, 0));

    // Given back the way the recorder does, it is filled again after the
    // second buffer.
    ASSERT_EQ(devices.InUnprepareHeader(handle, &first.header), MMSYSERR_NOERROR);
    Queue(handle, first);
    EXPECT_EQ(first.header.dwFlags.load(), WHDR_PREPARED | WHDR_INQUEUE);
    clock.Sleep(125);
    EXPECT_TRUE(second.IsDone());
    EXPECT_FALSE(first.IsDone());
    clock.Advance(125);
    ASSERT_TRUE(first.IsDone());
    EXPECT_EQ(first.RecordedSamples(), std::vector<std::int16_t>(1000, 1234));

    // With no buffer queued the sound is lost; the next buffer starts from the
    // time it was queued.
    clock.Advance(75);
    ASSERT_EQ(devices.InUnprepareHeader(handle, &second.header), MMSYSERR_NOERROR);
    Queue(handle, second);
    clock.Advance(125);
    ASSERT_TRUE(second.IsDone());
    const std::vector<std::int16_t> samples = second.RecordedSamples();
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(samples[200], -5);
    EXPECT_EQ(samples[201], 6);

    EXPECT_EQ(devices.InReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.InClose(handle), MMSYSERR_NOERROR);
}

TEST_F(SimulatedLineTest, SpeechIsHeardAcrossTheWrapOfTheTickCountAndNeverAgain) {
    clock.Advance(0u - clock.TickCount() - 100u);
    const std::uint32_t start = clock.TickCount();
    line.CallerSpeaks(start, std::vector<std::int16_t>(2000, 1234));  // 250 ms
    const HWAVEIN handle = OpenInput();
    TestBuffer buffer(4000);
    Queue(handle, buffer);
    ASSERT_EQ(devices.InStart(handle), MMSYSERR_NOERROR);
    clock.Advance(250);
    ASSERT_TRUE(buffer.IsDone());
    EXPECT_EQ(buffer.RecordedSamples(), std::vector<std::int16_t>(2000, 1234));
    ASSERT_EQ(devices.InReset(handle), MMSYSERR_NOERROR);

    // Almost a whole wrap later the tick count reads 125 ms before the speech
    // began; it is long over and must not come back.
    clock.Advance(0u - 375u);
    ASSERT_EQ(devices.InUnprepareHeader(handle, &buffer.header), MMSYSERR_NOERROR);
    Queue(handle, buffer);
    ASSERT_EQ(devices.InStart(handle), MMSYSERR_NOERROR);
    clock.Advance(250);
    ASSERT_TRUE(buffer.IsDone());
    EXPECT_EQ(buffer.RecordedSamples(), std::vector<std::int16_t>(2000, 0));
    EXPECT_EQ(devices.InReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.InClose(handle), MMSYSERR_NOERROR);
}

TEST(ScriptedAudioStore, KeepsOnlySpeechStillToBeHeardAndNoMoreThanItsLimit) {
    ScriptedAudio script;
    // A second of speech a minute for a week: each is over long before the
    // next, even at the slowest recording rate.
    for (std::uint32_t minute = 0; minute < 7 * 24 * 60; ++minute) {
        script.MoveTo(minute * 60000u);
        script.Speak(minute * 60000u, std::vector<std::int16_t>(8000, 100));
        ASSERT_EQ(script.SpeechCount(), 1u) << "minute " << minute;
    }
    EXPECT_EQ(script.Render(7u * 24u * 60u * 60000u - 60000u, 0, 4, 8000),
              (std::vector<std::int16_t>{100, 100, 100, 100}));

    // Speech spoken all at once beyond the limit makes room by forgetting
    // what was said earliest.
    const std::size_t half = ScriptedAudio::kMaximumStoredSamples / 2;
    ScriptedAudio crowded;
    crowded.Speak(0, std::vector<std::int16_t>(half, 1));
    crowded.Speak(0, std::vector<std::int16_t>(half, 10));
    crowded.Speak(0, std::vector<std::int16_t>(half, 100));
    EXPECT_EQ(crowded.SpeechCount(), 2u);
    EXPECT_EQ(crowded.Render(0, 0, 1, 8000), std::vector<std::int16_t>{110});
}

TEST_F(SimulatedLineTest, ResetAndStopReturnPartlyFilledBuffers) {
    const HWAVEIN handle = OpenInput();
    line.SetLineNoise(3);
    TestBuffer first(2000);
    TestBuffer second(2000);
    Queue(handle, first);
    Queue(handle, second);
    ASSERT_EQ(devices.InStart(handle), MMSYSERR_NOERROR);
    clock.Advance(60);
    EXPECT_EQ(devices.InClose(handle), WAVERR_STILLPLAYING);

    // Stop hands back the buffer being filled; empty ones wait.
    ASSERT_EQ(devices.InStop(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(first.IsDone());
    EXPECT_EQ(first.header.dwBytesRecorded, 960u);
    for (const std::int16_t sample : first.RecordedSamples()) {
        ASSERT_LE(sample < 0 ? -sample : sample, 3);
    }
    EXPECT_FALSE(second.IsDone());
    clock.Advance(500);
    EXPECT_FALSE(second.IsDone());

    ASSERT_EQ(devices.InStart(handle), MMSYSERR_NOERROR);
    clock.Advance(20);
    ASSERT_EQ(devices.InReset(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(second.IsDone());
    EXPECT_EQ(second.header.dwBytesRecorded, 320u);
    EXPECT_EQ(devices.InClose(handle), MMSYSERR_NOERROR);
}

TEST_F(SimulatedLineTest, RefusesFormatsOtherThanTheLinesOwn) {
    struct Case {
        const char* name;
        WAVEFORMATEX block;
    };
    const std::vector<Case> cases{
        {"stereo", {WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0}},
        {"44100 Hz", {WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0}},
        {"8 bits", {WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0}},
        {"not PCM", {7, 1, 8000, 8000, 1, 8, 0}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        HWAVEOUT output{};
        HWAVEIN input{};
        EXPECT_EQ(devices.OutOpen(nullptr, kLineOut, &test.block, 0, 0, WAVE_FORMAT_QUERY),
                  WAVERR_BADFORMAT);
        EXPECT_EQ(devices.OutOpen(&output, kLineOut, &test.block, 0, 0, CALLBACK_NULL),
                  WAVERR_BADFORMAT);
        EXPECT_EQ(devices.InOpen(&input, kLineIn, &test.block, 0, 0, CALLBACK_NULL),
                  WAVERR_BADFORMAT);
    }
    EXPECT_FALSE(line.IsOpen());

    // A 16-byte format chunk, as some files carry it, is a complete PCM format.
    const auto shortBlock = std::make_unique<char[]>(16);
    std::memcpy(shortBlock.get(), &format, 16);
    HWAVEOUT output{};
    EXPECT_EQ(devices.OutOpen(&output, kLineOut, reinterpret_cast<WAVEFORMATEX*>(shortBlock.get()),
                              0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);
}

TEST(SimulatedLineRealTime, FollowsARealClockWithAThreadOfItsOwn) {
    SystemClock clock;
    SimulatedLineVoiceChannel line(clock, kLineOut, kLineIn);
    WaveDevices devices;
    devices.RegisterProvider(line);
    const WAVEFORMATEX format = LineFormatBlock();
    HWAVEOUT handle{};
    ASSERT_EQ(devices.OutOpen(&handle, kLineOut, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    TestBuffer beep(480);  // 30 ms
    ASSERT_EQ(devices.OutPrepareHeader(handle, &beep.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(handle, &beep.header), MMSYSERR_NOERROR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!beep.IsDone() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(beep.IsDone());
    EXPECT_EQ(devices.OutClose(handle), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace porthold::platform
