#pragma once

#include <memory>

#include "platform/multimedia/wave_device_provider.h"

namespace porthold::testing {

// A voice channel with no devices, for tests of a SIP line's signalling.
class NoWaveDevices final : public platform::WaveDeviceProvider {
public:
    bool ServesDevice(std::uint32_t, platform::WaveDirection) const override { return false; }
    platform::MMRESULT QueryFormat(std::uint32_t, platform::WaveDirection,
                                   const platform::WaveFormat&) override {
        return platform::MMSYSERR_NODRIVER;
    }
    platform::MMRESULT OpenOutput(std::uint32_t, const platform::WaveFormat&,
                                  std::unique_ptr<platform::WaveOutputDevice>&) override {
        return platform::MMSYSERR_NODRIVER;
    }
    platform::MMRESULT OpenInput(std::uint32_t, const platform::WaveFormat&,
                                 std::unique_ptr<platform::WaveInputDevice>&) override {
        return platform::MMSYSERR_NODRIVER;
    }
};

}  // namespace porthold::testing
