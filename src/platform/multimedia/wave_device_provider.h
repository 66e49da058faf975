#pragma once

#include <cstdint>
#include <memory>

#include "platform/multimedia/wave_format.h"
#include "platform/multimedia/wave_types.h"

namespace porthold::platform {

enum class WaveDirection { Output, Input };

// Hands a buffer back to the program: clears WHDR_INQUEUE and sets WHDR_DONE in
// one step. A device calls it last, after it has written everything else of
// the header, and does not touch the header again.
inline void MarkBufferDone(WAVEHDR& header) {
    std::uint32_t flags = header.dwFlags.load();
    while (!header.dwFlags.compare_exchange_weak(flags, (flags & ~WHDR_INQUEUE) | WHDR_DONE)) {
    }
}

// One open output device. WaveDevices owns it and has already done the header
// bookkeeping: a header reaching Write is prepared, marked WHDR_INQUEUE and not
// WHDR_DONE. Destroying the object closes the device; WaveDevices does that
// only when no buffer is queued.
class WaveOutputDevice {
public:
    virtual ~WaveOutputDevice() = default;

    // Plays the buffer after those queued before it and marks it done when it
    // has been played.
    virtual MMRESULT Write(WAVEHDR& header) = 0;

    // Stops playing at once; every queued buffer is marked done before Reset
    // returns.
    virtual MMRESULT Reset() = 0;

    virtual bool HasQueuedBuffers() const = 0;
};

// One open input device; the counterpart of WaveOutputDevice. Buffers are
// filled in the order they were added.
class WaveInputDevice {
public:
    virtual ~WaveInputDevice() = default;

    // The header arrives prepared, WHDR_INQUEUE, not WHDR_DONE, with
    // dwBytesRecorded 0.
    virtual MMRESULT AddBuffer(WAVEHDR& header) = 0;

    virtual MMRESULT Start() = 0;

    // Stops recording; the buffer being filled is marked done when it holds any
    // bytes, empty buffers stay queued for a later Start.
    virtual MMRESULT Stop() = 0;

    // Stops recording and marks every queued buffer done, each with the bytes
    // recorded into it so far, before it returns.
    virtual MMRESULT Reset() = 0;

    virtual bool HasQueuedBuffers() const = 0;
};

// A source of wave devices: the sound card, a simulated telephone line, a
// modem or network line of the telephony service. WaveDevices routes the
// program's device identifiers to the provider that serves them, so the
// program does not know which kind of device it talks to.
//
// Device objects a provider creates may refer to the provider: it must outlive
// them (WaveDevices::UnregisterProvider closes them).
class WaveDeviceProvider {
public:
    virtual ~WaveDeviceProvider() = default;

    virtual bool ServesDevice(std::uint32_t deviceId, WaveDirection direction) const = 0;

    // Whether the device could be opened with this format now: MMSYSERR_NOERROR,
    // WAVERR_BADFORMAT, or why the device cannot be had (MMSYSERR_ALLOCATED,
    // MMSYSERR_NODRIVER...).
    virtual MMRESULT QueryFormat(std::uint32_t deviceId, WaveDirection direction,
                                 const WaveFormat& format) = 0;

    // On MMSYSERR_NOERROR `device` holds the open device.
    virtual MMRESULT OpenOutput(std::uint32_t deviceId, const WaveFormat& format,
                                std::unique_ptr<WaveOutputDevice>& device) = 0;
    virtual MMRESULT OpenInput(std::uint32_t deviceId, const WaveFormat& format,
                               std::unique_ptr<WaveInputDevice>& device) = 0;
};

}  // namespace porthold::platform
