#pragma once

#include <cstdint>
#include <memory>
#include <ostream>

#include "platform/clock.h"
#include "platform/multimedia/wave_device_provider.h"
#include "service/line_configuration.h"
#include "service/line_provider.h"

namespace porthold::service {

// A SIP line with its voice channel, ready for the service: the channel's
// wave devices carry the call's audio as RTP, paced by `clock`. Whatever goes
// wrong, now or later, is written to `problems`, which must outlive the line.
// The line's phone device is a headset: the computer's sound card, the ALSA
// PCM the entry names.
std::unique_ptr<LineProvider> MakeSipLine(const LineConfiguration& line, platform::Clock& clock,
                                          std::uint32_t outputDeviceId, std::uint32_t inputDeviceId,
                                          std::ostream& problems);

// The same with another sound card as the headset (WAVE_MAPPER of `soundCard`).
std::unique_ptr<LineProvider> MakeSipLineWithSoundCard(
    const LineConfiguration& line, platform::Clock& clock, std::uint32_t outputDeviceId,
    std::uint32_t inputDeviceId, std::ostream& problems,
    std::unique_ptr<platform::WaveDeviceProvider> soundCard);

}  // namespace porthold::service
