#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/call_flags.h"
#include "audio/wave_layout.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/multimedia/simulated_line_channel.h"
#include "platform/multimedia/simulated_sound_card.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "support/recording_error_log.h"
#include "support/temporary_folder.h"
#include "support/wave_bytes.h"

namespace porthold::audio::testing {

inline constexpr std::uint32_t kLineOut = 3;
inline constexpr std::uint32_t kLineIn = 4;
inline constexpr std::uint32_t kStartTick = 1000;
// Samples of one recorder buffer (125 ms).
inline constexpr std::size_t kBufferSamples = 1000;

// The engine's flags, as plain fields a test sets and reads.
class FakeCallFlags final : public CallFlags {
public:
    bool IsRetrieving() const override { return retrieving; }
    bool IsMessagePlaying() const override { return messagePlaying; }
    void SetMessageFinished() override { ++messageFinishedCount; }
    void RequestHangUp() override { ++hangUpRequestCount; }

    bool retrieving = false;
    bool messagePlaying = false;
    int messageFinishedCount = 0;
    int hangUpRequestCount = 0;
};

// Speech the silence test always takes for sound: both bytes of every sample
// lie far from zero. Each sample differs from its neighbours, so order and
// position can be checked.
inline std::vector<std::int16_t> Speech(std::size_t count, std::size_t firstIndex = 0) {
    std::vector<std::int16_t> samples;
    samples.reserve(count);
    for (std::size_t index = firstIndex; index < firstIndex + count; ++index) {
        const int magnitude = 0x4040 + static_cast<int>(index * 37 % 0x2F00);
        samples.push_back(static_cast<std::int16_t>(index % 2 == 0 ? magnitude : -magnitude));
    }
    return samples;
}

inline std::vector<std::int16_t> Concatenate(std::vector<std::vector<std::int16_t>> pieces) {
    std::vector<std::int16_t> all;
    for (const auto& piece : pieces) {
        all.insert(all.end(), piece.begin(), piece.end());
    }
    return all;
}

inline std::string Golden(const std::string& name) {
    return platform::ReadFileContents(PORTHOLD_AUDIO_GOLDEN + name).value_or("");
}

using porthold::testing::Chunk;
using porthold::testing::Little16;
using porthold::testing::Little32;
using porthold::testing::Riff;
using porthold::testing::SampleBytes;

struct PcmFormat {
    std::uint16_t tag = 1;  // PCM
    std::uint16_t channels = 1;
    std::uint32_t rate = 8000;
    std::uint16_t bits = 16;
};

// A "fmt " chunk of 16 bytes, or of 18 with the extra-size field.
inline std::string FormatChunk(const PcmFormat& format, bool withExtraSize = true) {
    const auto blockAlign = static_cast<std::uint16_t>(format.channels * format.bits / 8);
    std::string content = Little16(format.tag) + Little16(format.channels) + Little32(format.rate) +
                          Little32(format.rate * blockAlign) + Little16(blockAlign) +
                          Little16(format.bits);
    if (withExtraSize) {
        content += Little16(18);
    }
    return Chunk("fmt ", content);
}

// What the program's tick does for the audio: let the recorder write its
// filled buffers, then release finished sounds.
class AudioTick final : public platform::TimerHandler {
public:
    explicit AudioTick(Audio& audio) : audio_(audio) {}
    void OnTimer(platform::TimerId /*id*/) override {
        if (audio_.Recorder().IsRecording()) {
            audio_.Recorder().Rebuffer();
        }
        audio_.Player().DeleteWaveOut();
    }

private:
    Audio& audio_;
};

// The program's audio object on a simulated telephone line and sound card,
// in virtual time, with the tick running every 10 milliseconds.
class AudioFixture : public ::testing::Test {
protected:
    AudioFixture() {
        devices.RegisterProvider(line);
        devices.RegisterSoundCard(soundCard);
        settings.SilenceLevel = 10;
        clock.SetTimer(tick, 0, 10);
    }
    ~AudioFixture() override { clock.KillTimer(tick, 0); }

    // A prompt of the telephony layout lasting `milliseconds`.
    std::string WritePrompt(const std::string& name, std::uint32_t milliseconds) {
        const std::string path = folder.File(name);
        EXPECT_TRUE(WriteTelephonyWaveFile(path, Speech(milliseconds * 8)));
        return path;
    }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        folder.Write(name, bytes);
        return folder.File(name);
    }

    std::uint32_t Elapsed() const { return clock.TickCount() - kStartTick; }

    std::vector<std::int16_t> RecordedSamples(const std::string& path) {
        const std::optional<WaveSamples> read = ReadWaveSamples(path);
        EXPECT_TRUE(read.has_value()) << path;
        return read ? read->samples : std::vector<std::int16_t>{};
    }

    platform::VirtualClock clock{platform::LocalTime{2026, 1, 5, 9, 0, 0, 0}, kStartTick};
    platform::SimulatedLineVoiceChannel line{clock, kLineOut, kLineIn};
    platform::SimulatedSoundCard soundCard{clock};
    platform::WaveDevices devices;
    porthold::testing::RecordingErrorLog log;
    config::Settings settings;
    FakeCallFlags flags;
    porthold::testing::TemporaryFolder folder;
    Audio audio{devices, clock, log, settings, flags};
    WavePlayer& player = audio.Player();
    WaveRecorder& recorder = audio.Recorder();
    AudioTick tick{audio};
};

}  // namespace porthold::audio::testing
