#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/multimedia/simulated_wave_streams.h"
#include "platform/multimedia/wave_device_provider.h"

namespace porthold::platform {

// The voice channel of a simulated telephone line, as a voice modem offers
// it: one output identifier (what the caller hears) and one input identifier
// (what the caller says). It is half-duplex: while either side is open, any
// further open answers MMSYSERR_ALLOCATED. It takes only the line's format
// (PCM mono, 8000 samples a second, 16 bits), plays in the clock's time and
// keeps a timeline of what the caller heard; the caller's speech is scripted.
//
// Suits in-process tests and a simulated line of the telephony service alike;
// see SimulatedWaveStreams for how it follows the clock.
class SimulatedLineVoiceChannel final : public WaveDeviceProvider {
public:
    SimulatedLineVoiceChannel(Clock& clock, std::uint32_t outputDeviceId,
                              std::uint32_t inputDeviceId);

    std::uint32_t OutputDeviceId() const { return outputDeviceId_; }
    std::uint32_t InputDeviceId() const { return inputDeviceId_; }

    bool ServesDevice(std::uint32_t deviceId, WaveDirection direction) const override;
    MMRESULT QueryFormat(std::uint32_t deviceId, WaveDirection direction,
                         const WaveFormat& format) override;
    MMRESULT OpenOutput(std::uint32_t deviceId, const WaveFormat& format,
                        std::unique_ptr<WaveOutputDevice>& device) override;
    MMRESULT OpenInput(std::uint32_t deviceId, const WaveFormat& format,
                       std::unique_ptr<WaveInputDevice>& device) override;

    // Whether either side is open.
    bool IsOpen() const;

    // What the caller heard, in the order the sounds were written.
    std::vector<PlayedSound> Timeline() const { return streams_.Timeline(); }
    std::vector<PlayedSound> TakeTimeline() { return streams_.TakeTimeline(); }

    // The caller says `samples` (8000 a second) from the clock reading
    // `startTick` on; between speeches the line carries silence or the noise
    // set here.
    void CallerSpeaks(std::uint32_t startTick, std::vector<std::int16_t> samples);
    void SetLineNoise(std::int16_t amplitude) { streams_.SetNoiseAmplitude(amplitude); }
    void ClearCallerSpeech() { streams_.ClearSpeech(); }

    // Brings the devices up to the clock reading (for a driver of its own).
    void Update(std::uint32_t tickCount) { streams_.Update(tickCount); }

private:
    std::uint32_t outputDeviceId_;
    std::uint32_t inputDeviceId_;
    SimulatedWaveStreams streams_;
};

}  // namespace porthold::platform
