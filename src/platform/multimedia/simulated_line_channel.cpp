#include "platform/multimedia/simulated_line_channel.h"

#include <utility>

namespace porthold::platform {

SimulatedLineVoiceChannel::SimulatedLineVoiceChannel(Clock& clock, std::uint32_t outputDeviceId,
                                                     std::uint32_t inputDeviceId)
    : outputDeviceId_(outputDeviceId), inputDeviceId_(inputDeviceId), streams_(clock) {}

bool SimulatedLineVoiceChannel::ServesDevice(std::uint32_t deviceId,
                                             WaveDirection direction) const {
    return deviceId == (direction == WaveDirection::Output ? outputDeviceId_ : inputDeviceId_);
}

MMRESULT SimulatedLineVoiceChannel::QueryFormat(std::uint32_t /*deviceId*/,
                                                WaveDirection /*direction*/,
                                                const WaveFormat& format) {
    // The format alone is judged: the program asks about a format while its
    // own earlier sound still holds the channel, and then waits for the open.
    return IsLineVoiceFormat(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMRESULT SimulatedLineVoiceChannel::OpenOutput(std::uint32_t deviceId, const WaveFormat& format,
                                               std::unique_ptr<WaveOutputDevice>& device) {
    if (!IsLineVoiceFormat(format)) {
        return WAVERR_BADFORMAT;
    }
    if (IsOpen()) {
        return MMSYSERR_ALLOCATED;
    }
    device = streams_.OpenOutput(deviceId, format);
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedLineVoiceChannel::OpenInput(std::uint32_t deviceId, const WaveFormat& format,
                                              std::unique_ptr<WaveInputDevice>& device) {
    if (!IsLineVoiceFormat(format)) {
        return WAVERR_BADFORMAT;
    }
    if (IsOpen()) {
        return MMSYSERR_ALLOCATED;
    }
    device = streams_.OpenInput(deviceId, format);
    return MMSYSERR_NOERROR;
}

bool SimulatedLineVoiceChannel::IsOpen() const {
    return streams_.OpenOutputCount() + streams_.OpenInputCount() > 0;
}

void SimulatedLineVoiceChannel::CallerSpeaks(std::uint32_t startTick,
                                             std::vector<std::int16_t> samples) {
    streams_.Speak(startTick, std::move(samples));
}

}  // namespace porthold::platform
