#include "platform/multimedia/wave_devices.h"

#include <algorithm>

#include "platform/multimedia/wave_error_text.h"

namespace porthold::platform {
namespace {

MMRESULT CheckOpenArguments(bool handleGiven, const WAVEFORMATEX* format, std::uintptr_t callback,
                            std::uint32_t flags) {
    // Any callback kind other than CALLBACK_NULL lands here too: devices only
    // report through the headers' done flags.
    if ((flags & ~WAVE_FORMAT_QUERY) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if (format == nullptr || callback != 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (!handleGiven && (flags & WAVE_FORMAT_QUERY) == 0) {
        return MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT PrepareHeader(WAVEHDR* header) {
    if (header == nullptr || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT UnprepareHeader(WAVEHDR* header) {
    if (header == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// Checks a header before it goes to a device and marks it queued. The device
// may hand it back from its own thread as soon as it has it, so the flags are
// set before the device sees the header.
MMRESULT EnterQueue(WAVEHDR* header) {
    if (header == nullptr || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    const std::uint32_t flags = header->dwFlags;
    if ((flags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags = (flags & ~WHDR_DONE) | WHDR_INQUEUE;
    return MMSYSERR_NOERROR;
}

MMRESULT OpenOn(WaveDeviceProvider& provider, std::uint32_t deviceId, const WaveFormat& format,
                std::unique_ptr<WaveOutputDevice>& device) {
    return provider.OpenOutput(deviceId, format, device);
}

MMRESULT OpenOn(WaveDeviceProvider& provider, std::uint32_t deviceId, const WaveFormat& format,
                std::unique_ptr<WaveInputDevice>& device) {
    return provider.OpenInput(deviceId, format, device);
}

}  // namespace

WaveDevices::~WaveDevices() {
    for (auto& [handle, open] : outputs_) {
        open.device->Reset();
    }
    for (auto& [handle, open] : inputs_) {
        open.device->Reset();
    }
}

void WaveDevices::RegisterSoundCard(WaveDeviceProvider& provider) {
    soundCard_ = &provider;
}

void WaveDevices::RegisterProvider(WaveDeviceProvider& provider) {
    if (std::find(providers_.begin(), providers_.end(), &provider) == providers_.end()) {
        providers_.push_back(&provider);
    }
}

void WaveDevices::UnregisterProvider(WaveDeviceProvider& provider) {
    std::erase_if(outputs_, [&](auto& entry) {
        if (entry.second.provider != &provider) {
            return false;
        }
        entry.second.device->Reset();
        return true;
    });
    std::erase_if(inputs_, [&](auto& entry) {
        if (entry.second.provider != &provider) {
            return false;
        }
        entry.second.device->Reset();
        return true;
    });
    std::erase(providers_, &provider);
    if (soundCard_ == &provider) {
        soundCard_ = nullptr;
    }
}

WaveDeviceProvider* WaveDevices::Route(std::uint32_t deviceId, WaveDirection direction,
                                       MMRESULT& failure) const {
    if (deviceId == WAVE_MAPPER) {
        failure = MMSYSERR_NODRIVER;
        return soundCard_;
    }
    for (WaveDeviceProvider* provider : providers_) {
        if (provider->ServesDevice(deviceId, direction)) {
            return provider;
        }
    }
    failure = MMSYSERR_BADDEVICEID;
    return nullptr;
}

WaveOutputDevice* WaveDevices::FindOutput(HWAVEOUT handle) const {
    const auto found = outputs_.find(static_cast<std::uintptr_t>(handle));
    return found == outputs_.end() ? nullptr : found->second.device.get();
}

WaveInputDevice* WaveDevices::FindInput(HWAVEIN handle) const {
    const auto found = inputs_.find(static_cast<std::uintptr_t>(handle));
    return found == inputs_.end() ? nullptr : found->second.device.get();
}

template <typename Handle, typename Device>
MMRESULT WaveDevices::Open(Handle* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                           std::uintptr_t callback, std::uint32_t flags, WaveDirection direction,
                           OpenDevices<Device>& opened) {
    if (const MMRESULT invalid = CheckOpenArguments(handle != nullptr, format, callback, flags)) {
        return invalid;
    }
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (!query) {
        *handle = Handle{};
    }
    MMRESULT failure = MMSYSERR_NOERROR;
    WaveDeviceProvider* provider = Route(deviceId, direction, failure);
    if (provider == nullptr) {
        return failure;
    }
    const WaveFormat waveFormat = ReadWaveFormat(format);
    if (query) {
        return provider->QueryFormat(deviceId, direction, waveFormat);
    }
    std::unique_ptr<Device> device;
    const MMRESULT result = OpenOn(*provider, deviceId, waveFormat, device);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    if (!device) {
        return MMSYSERR_ERROR;
    }
    const std::uintptr_t value = nextHandle_++;
    opened.emplace(value, OpenDevice<Device>{provider, std::move(device)});
    *handle = Handle{value};
    return MMSYSERR_NOERROR;
}

template <typename Device>
MMRESULT WaveDevices::Close(OpenDevices<Device>& opened, std::uintptr_t handle) {
    const auto found = opened.find(handle);
    if (found == opened.end()) {
        return MMSYSERR_INVALHANDLE;
    }
    if (found->second.device->HasQueuedBuffers()) {
        return WAVERR_STILLPLAYING;
    }
    opened.erase(found);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevices::OutOpen(HWAVEOUT* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                              std::uintptr_t callback, std::uintptr_t /*callbackInstance*/,
                              std::uint32_t flags) {
    return Open(handle, deviceId, format, callback, flags, WaveDirection::Output, outputs_);
}

MMRESULT WaveDevices::OutPrepareHeader(HWAVEOUT handle, WAVEHDR* header) {
    return FindOutput(handle) == nullptr ? MMSYSERR_INVALHANDLE : PrepareHeader(header);
}

MMRESULT WaveDevices::OutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header) {
    return FindOutput(handle) == nullptr ? MMSYSERR_INVALHANDLE : UnprepareHeader(header);
}

MMRESULT WaveDevices::OutWrite(HWAVEOUT handle, WAVEHDR* header) {
    WaveOutputDevice* device = FindOutput(handle);
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (const MMRESULT refused = EnterQueue(header)) {
        return refused;
    }
    const MMRESULT result = device->Write(*header);
    if (result != MMSYSERR_NOERROR) {
        header->dwFlags &= ~WHDR_INQUEUE;
    }
    return result;
}

MMRESULT WaveDevices::OutReset(HWAVEOUT handle) {
    WaveOutputDevice* device = FindOutput(handle);
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Reset();
}

MMRESULT WaveDevices::OutClose(HWAVEOUT handle) {
    return Close(outputs_, static_cast<std::uintptr_t>(handle));
}

MMRESULT WaveDevices::OutGetErrorText(MMRESULT error, char* text, std::uint32_t textSize) const {
    return CopyWaveErrorText(error, text, textSize);
}

MMRESULT WaveDevices::InOpen(HWAVEIN* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                             std::uintptr_t callback, std::uintptr_t /*callbackInstance*/,
                             std::uint32_t flags) {
    return Open(handle, deviceId, format, callback, flags, WaveDirection::Input, inputs_);
}

MMRESULT WaveDevices::InPrepareHeader(HWAVEIN handle, WAVEHDR* header) {
    return FindInput(handle) == nullptr ? MMSYSERR_INVALHANDLE : PrepareHeader(header);
}

MMRESULT WaveDevices::InUnprepareHeader(HWAVEIN handle, WAVEHDR* header) {
    return FindInput(handle) == nullptr ? MMSYSERR_INVALHANDLE : UnprepareHeader(header);
}

MMRESULT WaveDevices::InAddBuffer(HWAVEIN handle, WAVEHDR* header) {
    WaveInputDevice* device = FindInput(handle);
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header != nullptr && (header->dwFlags & WHDR_INQUEUE) == 0) {
        header->dwBytesRecorded = 0;
    }
    if (const MMRESULT refused = EnterQueue(header)) {
        return refused;
    }
    const MMRESULT result = device->AddBuffer(*header);
    if (result != MMSYSERR_NOERROR) {
        header->dwFlags &= ~WHDR_INQUEUE;
    }
    return result;
}

MMRESULT WaveDevices::InStart(HWAVEIN handle) {
    WaveInputDevice* device = FindInput(handle);
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Start();
}

MMRESULT WaveDevices::InStop(HWAVEIN handle) {
    WaveInputDevice* device = FindInput(handle);
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Stop();
}

MMRESULT WaveDevices::InReset(HWAVEIN handle) {
    WaveInputDevice* device = FindInput(handle);
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Reset();
}

MMRESULT WaveDevices::InClose(HWAVEIN handle) {
    return Close(inputs_, static_cast<std::uintptr_t>(handle));
}

MMRESULT WaveDevices::InGetErrorText(MMRESULT error, char* text, std::uint32_t textSize) const {
    return CopyWaveErrorText(error, text, textSize);
}

}  // namespace porthold::platform
