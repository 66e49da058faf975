#include "service/service_wave_devices.h"

#include <utility>

namespace porthold::service {
namespace {

using platform::MMRESULT;

// A device that keeps its service (and so its channel) alive. The service is
// let go after the device, whatever order the members are written in.
class KeptAliveOutput final : public platform::WaveOutputDevice {
public:
    KeptAliveOutput(std::shared_ptr<TelephonyService> service,
                    std::unique_ptr<platform::WaveOutputDevice> device)
        : service_(std::move(service)), device_(std::move(device)) {}
    ~KeptAliveOutput() override { device_.reset(); }

    MMRESULT Write(platform::WAVEHDR& header) override { return device_->Write(header); }
    MMRESULT Reset() override { return device_->Reset(); }
    bool HasQueuedBuffers() const override { return device_->HasQueuedBuffers(); }

private:
    std::shared_ptr<TelephonyService> service_;
    std::unique_ptr<platform::WaveOutputDevice> device_;
};

class KeptAliveInput final : public platform::WaveInputDevice {
public:
    KeptAliveInput(std::shared_ptr<TelephonyService> service,
                   std::unique_ptr<platform::WaveInputDevice> device)
        : service_(std::move(service)), device_(std::move(device)) {}
    ~KeptAliveInput() override { device_.reset(); }

    MMRESULT AddBuffer(platform::WAVEHDR& header) override { return device_->AddBuffer(header); }
    MMRESULT Start() override { return device_->Start(); }
    MMRESULT Stop() override { return device_->Stop(); }
    MMRESULT Reset() override { return device_->Reset(); }
    bool HasQueuedBuffers() const override { return device_->HasQueuedBuffers(); }

private:
    std::shared_ptr<TelephonyService> service_;
    std::unique_ptr<platform::WaveInputDevice> device_;
};

}  // namespace

void ServiceWaveDevices::SetService(std::shared_ptr<TelephonyService> service) {
    const std::lock_guard lock(mutex_);
    service_ = std::move(service);
}

std::pair<std::shared_ptr<TelephonyService>, platform::WaveDeviceProvider*>
ServiceWaveDevices::Route(std::uint32_t deviceId, platform::WaveDirection direction) const {
    std::shared_ptr<TelephonyService> service;
    {
        const std::lock_guard lock(mutex_);
        service = service_;
    }
    if (service) {
        for (platform::WaveDeviceProvider* channel : service->WaveDeviceProviders()) {
            if (channel->ServesDevice(deviceId, direction)) {
                return {std::move(service), channel};
            }
        }
    }
    return {nullptr, nullptr};
}

bool ServiceWaveDevices::ServesDevice(std::uint32_t deviceId,
                                      platform::WaveDirection direction) const {
    return Route(deviceId, direction).second != nullptr;
}

MMRESULT ServiceWaveDevices::QueryFormat(std::uint32_t deviceId, platform::WaveDirection direction,
                                         const platform::WaveFormat& format) {
    const auto [service, channel] = Route(deviceId, direction);
    return channel == nullptr ? platform::MMSYSERR_NODRIVER
                              : channel->QueryFormat(deviceId, direction, format);
}

MMRESULT ServiceWaveDevices::OpenOutput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                        std::unique_ptr<platform::WaveOutputDevice>& device) {
    auto [service, channel] = Route(deviceId, platform::WaveDirection::Output);
    if (channel == nullptr) {
        return platform::MMSYSERR_NODRIVER;
    }
    std::unique_ptr<platform::WaveOutputDevice> opened;
    const MMRESULT result = channel->OpenOutput(deviceId, format, opened);
    if (result == platform::MMSYSERR_NOERROR && opened) {
        device = std::make_unique<KeptAliveOutput>(std::move(service), std::move(opened));
    }
    return result;
}

MMRESULT ServiceWaveDevices::OpenInput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                       std::unique_ptr<platform::WaveInputDevice>& device) {
    auto [service, channel] = Route(deviceId, platform::WaveDirection::Input);
    if (channel == nullptr) {
        return platform::MMSYSERR_NODRIVER;
    }
    std::unique_ptr<platform::WaveInputDevice> opened;
    const MMRESULT result = channel->OpenInput(deviceId, format, opened);
    if (result == platform::MMSYSERR_NOERROR && opened) {
        device = std::make_unique<KeptAliveInput>(std::move(service), std::move(opened));
    }
    return result;
}

}  // namespace porthold::service
