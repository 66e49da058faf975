#pragma once

#include <memory>
#include <mutex>

#include "platform/multimedia/wave_device_provider.h"
#include "service/telephony_service.h"

namespace porthold::service {

// The voice channels of the service as one wave device provider, which the
// program may keep for its whole run while the service comes and goes: it
// serves the channels of the service running at the time (none while none
// runs), and every device it opens keeps that service alive until the
// program closes the device. So a sound still playing on the line when the
// program shuts its telephony down never outlives the channel it plays on.
class ServiceWaveDevices final : public platform::WaveDeviceProvider {
public:
    // The running service, or null.
    void SetService(std::shared_ptr<TelephonyService> service);

    bool ServesDevice(std::uint32_t deviceId, platform::WaveDirection direction) const override;
    platform::MMRESULT QueryFormat(std::uint32_t deviceId, platform::WaveDirection direction,
                                   const platform::WaveFormat& format) override;
    platform::MMRESULT OpenOutput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                  std::unique_ptr<platform::WaveOutputDevice>& device) override;
    platform::MMRESULT OpenInput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                 std::unique_ptr<platform::WaveInputDevice>& device) override;

private:
    // The running service and its channel that serves the device, or nulls.
    std::pair<std::shared_ptr<TelephonyService>, platform::WaveDeviceProvider*> Route(
        std::uint32_t deviceId, platform::WaveDirection direction) const;

    mutable std::mutex mutex_;
    std::shared_ptr<TelephonyService> service_;
};

}  // namespace porthold::service
