#pragma once

#include <memory>
#include <set>

#include "platform/multimedia/simulated_sound_card.h"
#include "platform/multimedia/wave_device_provider.h"

namespace porthold::testing {

// A simulated sound card that can be pulled out while devices on it are open,
// as a USB card can. From then on it opens nothing, as a missing card, and
// every open device hands its queued buffers back at once and refuses new
// ones, as the ALSA devices do when their PCM fails.
class UnpluggableSoundCard final : public platform::WaveDeviceProvider {
public:
    explicit UnpluggableSoundCard(platform::SimulatedSoundCard& card)
        : card_(card), plug_(std::make_shared<Plug>()) {}

    void Unplug() {
        card_.SetCondition(platform::SoundCardCondition::Absent);
        plug_->unplugged = true;
        for (Device* device : plug_->openDevices) {
            device->Fail();
        }
    }

    bool ServesDevice(std::uint32_t deviceId, platform::WaveDirection direction) const override {
        return card_.ServesDevice(deviceId, direction);
    }
    platform::MMRESULT QueryFormat(std::uint32_t deviceId, platform::WaveDirection direction,
                                   const platform::WaveFormat& format) override {
        return card_.QueryFormat(deviceId, direction, format);
    }
    platform::MMRESULT OpenOutput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                  std::unique_ptr<platform::WaveOutputDevice>& device) override {
        std::unique_ptr<platform::WaveOutputDevice> inner;
        const platform::MMRESULT result = card_.OpenOutput(deviceId, format, inner);
        if (result == platform::MMSYSERR_NOERROR) {
            device = std::make_unique<Output>(plug_, std::move(inner));
        }
        return result;
    }
    platform::MMRESULT OpenInput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                 std::unique_ptr<platform::WaveInputDevice>& device) override {
        std::unique_ptr<platform::WaveInputDevice> inner;
        const platform::MMRESULT result = card_.OpenInput(deviceId, format, inner);
        if (result == platform::MMSYSERR_NOERROR) {
            device = std::make_unique<Input>(plug_, std::move(inner));
        }
        return result;
    }

private:
    class Device;
    struct Plug {
        bool unplugged = false;
        std::set<Device*> openDevices;
    };

    class Device {
    public:
        explicit Device(std::shared_ptr<Plug> plug) : plug_(std::move(plug)) {
            plug_->openDevices.insert(this);
        }
        virtual ~Device() { plug_->openDevices.erase(this); }
        Device(const Device&) = delete;
        Device& operator=(const Device&) = delete;
        virtual void Fail() = 0;

    protected:
        bool IsUnplugged() const { return plug_->unplugged; }

    private:
        std::shared_ptr<Plug> plug_;
    };

    class Output final : public Device, public platform::WaveOutputDevice {
    public:
        Output(std::shared_ptr<Plug> plug, std::unique_ptr<platform::WaveOutputDevice> inner)
            : Device(std::move(plug)), inner_(std::move(inner)) {}
        void Fail() override { inner_->Reset(); }
        platform::MMRESULT Write(platform::WAVEHDR& header) override {
            return IsUnplugged() ? platform::MMSYSERR_ERROR : inner_->Write(header);
        }
        platform::MMRESULT Reset() override { return inner_->Reset(); }
        bool HasQueuedBuffers() const override { return inner_->HasQueuedBuffers(); }

    private:
        std::unique_ptr<platform::WaveOutputDevice> inner_;
    };

    class Input final : public Device, public platform::WaveInputDevice {
    public:
        Input(std::shared_ptr<Plug> plug, std::unique_ptr<platform::WaveInputDevice> inner)
            : Device(std::move(plug)), inner_(std::move(inner)) {}
        void Fail() override { inner_->Reset(); }
        platform::MMRESULT AddBuffer(platform::WAVEHDR& header) override {
            return IsUnplugged() ? platform::MMSYSERR_ERROR : inner_->AddBuffer(header);
        }
        platform::MMRESULT Start() override {
            return IsUnplugged() ? platform::MMSYSERR_ERROR : inner_->Start();
        }
        platform::MMRESULT Stop() override { return inner_->Stop(); }
        platform::MMRESULT Reset() override { return inner_->Reset(); }
        bool HasQueuedBuffers() const override { return inner_->HasQueuedBuffers(); }

    private:
        std::unique_ptr<platform::WaveInputDevice> inner_;
    };

    platform::SimulatedSoundCard& card_;
    std::shared_ptr<Plug> plug_;
};

}  // namespace porthold::testing
