#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/multimedia/simulated_wave_streams.h"
#include "platform/multimedia/wave_device_provider.h"

namespace porthold::platform {

enum class SoundCardCondition {
    Available,
    // Another program holds the card: every query and open answers
    // MMSYSERR_ALLOCATED.
    HeldByAnotherProgram,
    // No sound card at all: every query and open answers MMSYSERR_NODRIVER.
    Absent,
};

// A sound card for tests: plays several sounds at once in the clock's time,
// keeps a timeline of them, and records silence, noise or scripted speech
// from its microphone. Takes plain PCM (8 or 16 bits, one or two channels).
// Register it as the sound card (WAVE_MAPPER); it also serves any identifier
// given to it here.
class SimulatedSoundCard final : public WaveDeviceProvider {
public:
    explicit SimulatedSoundCard(Clock& clock, std::vector<std::uint32_t> extraDeviceIds = {});

    void SetCondition(SoundCardCondition condition) { condition_ = condition; }

    bool ServesDevice(std::uint32_t deviceId, WaveDirection direction) const override;
    MMRESULT QueryFormat(std::uint32_t deviceId, WaveDirection direction,
                         const WaveFormat& format) override;
    MMRESULT OpenOutput(std::uint32_t deviceId, const WaveFormat& format,
                        std::unique_ptr<WaveOutputDevice>& device) override;
    MMRESULT OpenInput(std::uint32_t deviceId, const WaveFormat& format,
                       std::unique_ptr<WaveInputDevice>& device) override;

    std::size_t OpenOutputCount() const { return streams_.OpenOutputCount(); }
    std::size_t OpenInputCount() const { return streams_.OpenInputCount(); }

    std::vector<PlayedSound> Timeline() const { return streams_.Timeline(); }
    std::vector<PlayedSound> TakeTimeline() { return streams_.TakeTimeline(); }

    // The user says `samples` into the microphone, at the recording's sample
    // rate, from the clock reading `startTick` on.
    void UserSpeaks(std::uint32_t startTick, std::vector<std::int16_t> samples);
    void SetMicrophoneNoise(std::int16_t amplitude) { streams_.SetNoiseAmplitude(amplitude); }

    void Update(std::uint32_t tickCount) { streams_.Update(tickCount); }

private:
    MMRESULT Admit(const WaveFormat& format) const;

    std::vector<std::uint32_t> extraDeviceIds_;
    std::atomic<SoundCardCondition> condition_{SoundCardCondition::Available};
    SimulatedWaveStreams streams_;
};

}  // namespace porthold::platform
