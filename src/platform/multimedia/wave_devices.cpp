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

MMRESULT WaveDevices::OutOpen(HWAVEOUT* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                              std::uintptr_t callback, std::uintptr_t /*callbackInstance*/,
                              std::uint32_t flags) {
    if (const MMRESULT invalid = CheckOpenArguments(handle != nullptr, format, callback, flags)) {
        return invalid;
    }
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (!query) {
        *handle = HWAVEOUT{};
    }
    MMRESULT failure = MMSYSERR_NOERROR;
    WaveDeviceProvider* provider = Route(deviceId, WaveDirection::Output, failure);
    if (provider == nullptr) {
        return failure;
    }
    const WaveFormat waveFormat = ReadWaveFormat(format);
    if (query) {
        return provider->QueryFormat(deviceId, WaveDirection::Output, waveFormat);
    }
    std::unique_ptr<WaveOutputDevice> device;
    const MMRESULT result = provider->OpenOutput(deviceId, waveFormat, device);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    if (!device) {
        return MMSYSERR_ERROR;
    }
    const std::uintptr_t value = nextHandle_++;
    outputs_.emplace(value, OpenOutputDevice{provider, std::move(device)});
    *handle = HWAVEOUT{value};
    return MMSYSERR_NOERROR;
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
    const auto found = outputs_.find(static_cast<std::uintptr_t>(handle));
    if (found == outputs_.end()) {
        return MMSYSERR_INVALHANDLE;
    }
    if (found->second.device->HasQueuedBuffers()) {
        return WAVERR_STILLPLAYING;
    }
    outputs_.erase(found);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevices::OutGetErrorText(MMRESULT error, char* text, std::uint32_t textSize) const {
    return CopyWaveErrorText(error, text, textSize);
}

MMRESULT WaveDevices::InOpen(HWAVEIN* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                             std::uintptr_t callback, std::uintptr_t /*callbackInstance*/,
                             std::uint32_t flags) {
    if (const MMRESULT invalid = CheckOpenArguments(handle != nullptr, format, callback, flags)) {
        return invalid;
    }
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (!query) {
        *handle = HWAVEIN{};
    }
    MMRESULT failure = MMSYSERR_NOERROR;
    WaveDeviceProvider* provider = Route(deviceId, WaveDirection::Input, failure);
    if (provider == nullptr) {
        return failure;
    }
    const WaveFormat waveFormat = ReadWaveFormat(format);
    if (query) {
        return provider->QueryFormat(deviceId, WaveDirection::Input, waveFormat);
    }
    std::unique_ptr<WaveInputDevice> device;
    const MMRESULT result = provider->OpenInput(deviceId, waveFormat, device);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    if (!device) {
        return MMSYSERR_ERROR;
    }
    const std::uintptr_t value = nextHandle_++;
    inputs_.emplace(value, OpenInputDevice{provider, std::move(device)});
    *handle = HWAVEIN{value};
    return MMSYSERR_NOERROR;
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
    const auto found = inputs_.find(static_cast<std::uintptr_t>(handle));
    if (found == inputs_.end()) {
        return MMSYSERR_INVALHANDLE;
    }
    if (found->second.device->HasQueuedBuffers()) {
        return WAVERR_STILLPLAYING;
    }
    inputs_.erase(found);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveDevices::InGetErrorText(MMRESULT error, char* text, std::uint32_t textSize) const {
    return CopyWaveErrorText(error, text, textSize);
}

}  // namespace porthold::platform
