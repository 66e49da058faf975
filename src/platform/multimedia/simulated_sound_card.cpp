#include "platform/multimedia/simulated_sound_card.h"

#include <algorithm>
#include <utility>

namespace porthold::platform {

SimulatedSoundCard::SimulatedSoundCard(Clock& clock, std::vector<std::uint32_t> extraDeviceIds)
    : extraDeviceIds_(std::move(extraDeviceIds)), streams_(clock) {}

bool SimulatedSoundCard::ServesDevice(std::uint32_t deviceId, WaveDirection /*direction*/) const {
    return std::find(extraDeviceIds_.begin(), extraDeviceIds_.end(), deviceId) !=
           extraDeviceIds_.end();
}

MMRESULT SimulatedSoundCard::Admit(const WaveFormat& format) const {
    switch (condition_.load()) {
        case SoundCardCondition::HeldByAnotherProgram:
            return MMSYSERR_ALLOCATED;
        case SoundCardCondition::Absent:
            return MMSYSERR_NODRIVER;
        case SoundCardCondition::Available:
            break;
    }
    return IsPlainPcm(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMRESULT SimulatedSoundCard::QueryFormat(std::uint32_t /*deviceId*/, WaveDirection /*direction*/,
                                         const WaveFormat& format) {
    return Admit(format);
}

MMRESULT SimulatedSoundCard::OpenOutput(std::uint32_t deviceId, const WaveFormat& format,
                                        std::unique_ptr<WaveOutputDevice>& device) {
    if (const MMRESULT refused = Admit(format)) {
        return refused;
    }
    device = streams_.OpenOutput(deviceId, format);
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedSoundCard::OpenInput(std::uint32_t deviceId, const WaveFormat& format,
                                       std::unique_ptr<WaveInputDevice>& device) {
    if (const MMRESULT refused = Admit(format)) {
        return refused;
    }
    device = streams_.OpenInput(deviceId, format);
    return MMSYSERR_NOERROR;
}

void SimulatedSoundCard::UserSpeaks(std::uint32_t startTick, std::vector<std::int16_t> samples) {
    streams_.Speak(startTick, std::move(samples));
}

}  // namespace porthold::platform
