#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/multimedia/wave_device_provider.h"
#include "platform/multimedia/wave_types.h"

namespace porthold::platform {

// The program's wave output and input devices. Operations keep the meaning of
// the customary wave audio calls: open takes a handle to fill (none with
// WAVE_FORMAT_QUERY), a device identifier, the format, a callback that must be
// absent and the flags; buffers are prepared, queued and found finished by
// polling WHDR_DONE in their headers.
//
// Device identifiers are routed to registered providers; WAVE_MAPPER goes to
// the provider registered as the sound card. Handles are checked: a stale or
// foreign handle answers MMSYSERR_INVALHANDLE.
//
// Used from one thread (the program's main thread); the devices behind it run
// threads of their own and report through the headers only.
class WaveDevices {
public:
    WaveDevices() = default;
    // Stops and closes every device still open; their queued buffers are
    // marked done first.
    ~WaveDevices();
    WaveDevices(const WaveDevices&) = delete;
    WaveDevices& operator=(const WaveDevices&) = delete;

    // Providers are not owned and must stay until unregistered or until this
    // object is gone. RegisterSoundCard replaces an earlier sound card.
    void RegisterSoundCard(WaveDeviceProvider& provider);
    // Asked in registration order for every identifier other than WAVE_MAPPER.
    void RegisterProvider(WaveDeviceProvider& provider);
    // Stops and closes the provider's open devices (their handles become
    // invalid) and forgets it, also as the sound card.
    void UnregisterProvider(WaveDeviceProvider& provider);

    MMRESULT OutOpen(HWAVEOUT* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                     std::uintptr_t callback, std::uintptr_t callbackInstance, std::uint32_t flags);
    MMRESULT OutPrepareHeader(HWAVEOUT handle, WAVEHDR* header);
    // WAVERR_STILLPLAYING while the header is queued.
    MMRESULT OutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header);
    MMRESULT OutWrite(HWAVEOUT handle, WAVEHDR* header);
    // Stops playback; every queued buffer is marked done before it returns.
    MMRESULT OutReset(HWAVEOUT handle);
    // WAVERR_STILLPLAYING while buffers are queued; the handle stays open then.
    MMRESULT OutClose(HWAVEOUT handle);
    MMRESULT OutGetErrorText(MMRESULT error, char* text, std::uint32_t textSize) const;

    MMRESULT InOpen(HWAVEIN* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                    std::uintptr_t callback, std::uintptr_t callbackInstance, std::uint32_t flags);
    MMRESULT InPrepareHeader(HWAVEIN handle, WAVEHDR* header);
    MMRESULT InUnprepareHeader(HWAVEIN handle, WAVEHDR* header);
    MMRESULT InAddBuffer(HWAVEIN handle, WAVEHDR* header);
    MMRESULT InStart(HWAVEIN handle);
    // Stops recording; the buffer being filled comes back done when it holds
    // any bytes, empty ones stay queued.
    MMRESULT InStop(HWAVEIN handle);
    // Stops recording; every queued buffer comes back done with the bytes
    // recorded into it so far, before it returns.
    MMRESULT InReset(HWAVEIN handle);
    MMRESULT InClose(HWAVEIN handle);
    MMRESULT InGetErrorText(MMRESULT error, char* text, std::uint32_t textSize) const;

    std::size_t OpenOutputCount() const { return outputs_.size(); }
    std::size_t OpenInputCount() const { return inputs_.size(); }

private:
    template <typename Device>
    struct OpenDevice {
        WaveDeviceProvider* provider;
        std::unique_ptr<Device> device;
    };
    template <typename Device>
    using OpenDevices = std::map<std::uintptr_t, OpenDevice<Device>>;

    // The open and close of both directions, which differ only in their types.
    template <typename Handle, typename Device>
    MMRESULT Open(Handle* handle, std::uint32_t deviceId, const WAVEFORMATEX* format,
                  std::uintptr_t callback, std::uint32_t flags, WaveDirection direction,
                  OpenDevices<Device>& opened);
    template <typename Device>
    static MMRESULT Close(OpenDevices<Device>& opened, std::uintptr_t handle);

    // The provider serving the identifier, or null with the reason in `failure`.
    WaveDeviceProvider* Route(std::uint32_t deviceId, WaveDirection direction,
                              MMRESULT& failure) const;
    WaveOutputDevice* FindOutput(HWAVEOUT handle) const;
    WaveInputDevice* FindInput(HWAVEIN handle) const;

    WaveDeviceProvider* soundCard_ = nullptr;
    std::vector<WaveDeviceProvider*> providers_;
    OpenDevices<WaveOutputDevice> outputs_;
    OpenDevices<WaveInputDevice> inputs_;
    // Shared by both directions, so an input handle never names an output.
    std::uintptr_t nextHandle_ = 1;
};

}  // namespace porthold::platform
