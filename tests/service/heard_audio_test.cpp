// Following what the caller of a simulated line hears, and handing the
// line's voice channels to the program through the service's provider.

#include "service/heard_audio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "service/service_wave_devices.h"
#include "service/simulated_modem_line.h"

namespace porthold::service {
namespace {

using platform::MMSYSERR_NOERROR;

constexpr platform::WAVEFORMATEX kLineFormat{platform::WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 18};

// A sound the program plays: `milliseconds` of the same sample value.
struct Sound {
    Sound(std::uint32_t milliseconds, std::int16_t value)
        : samples(milliseconds * 8, value), bytes(samples.size() * 2) {
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        header.lpData = bytes.data();
        header.dwBufferLength = static_cast<std::uint32_t>(bytes.size());
    }
    std::vector<std::int16_t> samples;
    std::vector<char> bytes;
    platform::WAVEHDR header;
};

// The caller's ear, assembled from what the follower hands over.
class Ear {
public:
    void Take(const std::vector<HeardChunk>& chunks) {
        for (const HeardChunk& chunk : chunks) {
            if (heard_.size() < chunk.firstSample + chunk.samples.size()) {
                heard_.resize(chunk.firstSample + chunk.samples.size(), 0);
            }
            for (std::size_t index = 0; index < chunk.samples.size(); ++index) {
                EXPECT_EQ(heard_[chunk.firstSample + index], 0) << "a sample handed over twice";
                heard_[chunk.firstSample + index] = chunk.samples[index];
            }
        }
    }
    // The samples from `first` on, `count` of them (silence beyond the end).
    std::vector<std::int16_t> Stretch(std::size_t first, std::size_t count) const {
        std::vector<std::int16_t> stretch(count, 0);
        for (std::size_t index = 0; index < count && first + index < heard_.size(); ++index) {
            stretch[index] = heard_[first + index];
        }
        return stretch;
    }
    std::size_t Size() const { return heard_.size(); }

private:
    std::vector<std::int16_t> heard_;
};

class HeardAudioTest : public ::testing::Test {
protected:
    HeardAudioTest() { devices.RegisterProvider(line.VoiceChannel()); }

    platform::HWAVEOUT OpenOutput() {
        platform::HWAVEOUT handle{};
        EXPECT_EQ(devices.OutOpen(&handle, 100, &kLineFormat, 0, 0, 0), MMSYSERR_NOERROR);
        return handle;
    }

    void Play(platform::HWAVEOUT handle, Sound& sound) {
        ASSERT_EQ(devices.OutPrepareHeader(handle, &sound.header), MMSYSERR_NOERROR);
        ASSERT_EQ(devices.OutWrite(handle, &sound.header), MMSYSERR_NOERROR);
    }

    platform::VirtualClock clock{platform::LocalTime{2026, 1, 5, 9, 0, 0, 0}, 5000};
    SimulatedModemLine line{clock, "line0", 100, 101};
    platform::WaveDevices devices;
};

TEST_F(HeardAudioTest, SoundsArePlacedWhereTheyPlayedWithSilenceBetween) {
    const platform::HWAVEOUT output = OpenOutput();
    Sound before(100, 9);
    Play(output, before);
    clock.Advance(200);  // played before the answer: not heard from it

    HeardAudio heard(line.VoiceChannel(), clock.TickCount());
    Ear ear;
    clock.Advance(50);
    Sound greeting(300, 1000);
    Play(output, greeting);
    clock.Advance(100);
    ear.Take(heard.Collect(clock.TickCount()));
    EXPECT_EQ(ear.Size(), 150u * 8) << "handed over as it plays";

    clock.Advance(400);
    Sound beep(100, -500);
    Play(output, beep);
    clock.Advance(150);
    ear.Take(heard.Collect(clock.TickCount()));

    EXPECT_EQ(ear.Stretch(0, 50 * 8), std::vector<std::int16_t>(50 * 8, 0));
    EXPECT_EQ(ear.Stretch(50 * 8, 300 * 8), greeting.samples);
    EXPECT_EQ(ear.Stretch(350 * 8, 200 * 8), std::vector<std::int16_t>(200 * 8, 0));
    EXPECT_EQ(ear.Stretch(550 * 8, 100 * 8), beep.samples);
    EXPECT_EQ(ear.Size(), 650u * 8);
    EXPECT_TRUE(line.VoiceChannel().Timeline().empty()) << "finished sounds are let go";
    devices.OutClose(output);
}

TEST_F(HeardAudioTest, ASoundCutShortOrPlayingPastTheEndIsHeardUntilThen) {
    const platform::HWAVEOUT output = OpenOutput();
    HeardAudio heard(line.VoiceChannel(), clock.TickCount());
    Ear ear;
    Sound greeting(1000, 7);
    Play(output, greeting);
    clock.Advance(250);
    ASSERT_EQ(devices.OutReset(output), MMSYSERR_NOERROR);
    clock.Advance(100);
    Sound prompt(1000, 8);
    Play(output, prompt);
    clock.Advance(300);
    // The call ends here; the prompt plays on, unheard.
    ear.Take(heard.Collect(clock.TickCount()));
    clock.Advance(300);

    EXPECT_EQ(ear.Stretch(0, 250 * 8), std::vector<std::int16_t>(250 * 8, 7));
    EXPECT_EQ(ear.Stretch(350 * 8, 300 * 8), std::vector<std::int16_t>(300 * 8, 8));
    EXPECT_EQ(ear.Size(), 650u * 8);
    devices.OutReset(output);
    devices.OutClose(output);
}

TEST(ServiceWaveDevicesTest, OpenDevicesKeepTheirServiceWhileTheServiceComesAndGoes) {
    platform::VirtualClock clock;
    auto service = std::make_shared<TelephonyService>(clock);
    SimulatedModemLine& line =
        service->AddLine(std::make_unique<SimulatedModemLine>(clock, "line0", 100, 101));
    ServiceWaveDevices provider;
    platform::WaveDevices devices;
    devices.RegisterProvider(provider);

    platform::HWAVEOUT output{};
    EXPECT_EQ(devices.OutOpen(&output, 100, &kLineFormat, 0, 0, 0), platform::MMSYSERR_BADDEVICEID)
        << "no service runs";
    provider.SetService(service);
    ASSERT_EQ(devices.OutOpen(&output, 100, &kLineFormat, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(line.VoiceChannel().IsOpen());
    EXPECT_FALSE(provider.ServesDevice(101, platform::WaveDirection::Output));
    EXPECT_TRUE(provider.ServesDevice(101, platform::WaveDirection::Input));

    // The service stops while the program still plays on the line.
    std::weak_ptr<TelephonyService> stopped = service;
    provider.SetService(nullptr);
    service.reset();
    EXPECT_FALSE(stopped.expired());
    Sound sound(100, 3);
    ASSERT_EQ(devices.OutPrepareHeader(output, &sound.header), MMSYSERR_NOERROR);
    ASSERT_EQ(devices.OutWrite(output, &sound.header), MMSYSERR_NOERROR);
    clock.Advance(100);
    EXPECT_NE(sound.header.dwFlags & platform::WHDR_DONE, 0u);
    ASSERT_EQ(devices.OutClose(output), MMSYSERR_NOERROR);
    EXPECT_TRUE(stopped.expired()) << "let go with its last device";
}

}  // namespace
}  // namespace porthold::service
