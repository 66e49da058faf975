#pragma once

#include <string>

#include "platform/multimedia/wave_device_provider.h"

namespace porthold::platform {

// The computer's sound card through ALSA, by default its "default" PCM (which
// reaches PipeWire or PulseAudio on a desktop). Register it as the sound card
// (WAVE_MAPPER). Plays and records plain PCM: 8 or 16 bits, one or two
// channels, any rate the PCM accepts.
//
// A machine without a sound card answers MMSYSERR_NODRIVER, a card held by
// another program MMSYSERR_ALLOCATED; neither blocks. ALSA's own diagnostics
// are kept off stderr. Each open device runs a thread of its own that feeds
// or drains the PCM; the program's buffers are copied, so a reset returns
// them at once, whatever the PCM is doing.
class AlsaSoundCard final : public WaveDeviceProvider {
public:
    explicit AlsaSoundCard(std::string pcmName = "default");

    // Only through WAVE_MAPPER.
    bool ServesDevice(std::uint32_t deviceId, WaveDirection direction) const override;
    MMRESULT QueryFormat(std::uint32_t deviceId, WaveDirection direction,
                         const WaveFormat& format) override;
    MMRESULT OpenOutput(std::uint32_t deviceId, const WaveFormat& format,
                        std::unique_ptr<WaveOutputDevice>& device) override;
    MMRESULT OpenInput(std::uint32_t deviceId, const WaveFormat& format,
                       std::unique_ptr<WaveInputDevice>& device) override;

private:
    std::string pcmName_;
};

}  // namespace porthold::platform
