// WAVE files come from users and from other programs: prompts, ring-through
// sounds, old recordings. Each input is read the three ways the program reads
// such a file: the whole-file reader, the telephony format test of the
// settings dialogs, and the player, which hands the file to a sound card.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "audio/audio.h"
#include "audio/telephony_format.h"
#include "audio/wave_layout.h"
#include "config/error_log.h"
#include "config/settings.h"
#include "fuzz_support.h"
#include "platform/message_boxes.h"
#include "platform/multimedia/simulated_sound_card.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"

namespace porthold::fuzz {
namespace {

class SilentErrorLog final : public config::ErrorLog {
public:
    void LogError(std::string_view /*message*/) override {}
};

class SilentMessageBoxes final : public platform::MessageBoxes {
public:
    platform::MessageBoxAnswer Show(std::string_view /*text*/, std::string_view /*caption*/,
                                    platform::MessageBoxButtons /*buttons*/,
                                    platform::MessageBoxIcon /*icon*/) override {
        return platform::MessageBoxAnswer::Ok;
    }
};

class IdleCallFlags final : public audio::CallFlags {
public:
    bool IsRetrieving() const override { return false; }
    bool IsMessagePlaying() const override { return false; }
    void SetMessageFinished() override {}
    void RequestHangUp() override {}
};

// The whole-file reader must see the same file in memory and on disk.
void ReadWhole(std::string_view bytes, const std::string& path) {
    const std::optional<audio::WaveSamples> inMemory = audio::ParseWaveSamples(bytes);
    const std::optional<audio::WaveSamples> fromFile = audio::ReadWaveSamples(path);
    Require(inMemory.has_value() == fromFile.has_value(), "the file and its bytes read alike");
    if (inMemory) {
        Require(inMemory->samples == fromFile->samples, "the file and its bytes agree");
        Require(inMemory->samples.size() * 2 <= bytes.size(),
                "no more samples than the bytes hold");
    }
}

// The player on a simulated sound card in virtual time; the sound, when the
// file plays, is stopped again before the next input.
void Play(const std::string& path) {
    platform::VirtualClock clock;
    platform::SimulatedSoundCard soundCard(clock);
    platform::WaveDevices devices;
    devices.RegisterSoundCard(soundCard);
    SilentErrorLog log;
    config::Settings settings;
    IdleCallFlags flags;
    audio::Audio audio(devices, clock, log, settings, flags);
    audio.Player().PlayWaveOut(path, platform::WAVE_MAPPER, audio::Interruptible::Yes);
    audio.Teardown();
}

}  // namespace
}  // namespace porthold::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    const std::string_view bytes = AsText(data, size);
    const std::string path = WriteScratchFile("input.wav", bytes);
    ReadWhole(bytes, path);
    SilentMessageBoxes messageBoxes;
    porthold::audio::IsTelephonyFormat(path, messageBoxes);
    Play(path);
    return 0;
}
