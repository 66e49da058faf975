#pragma once

#include <cstdint>
#include <vector>

#include "platform/multimedia/simulated_line_channel.h"

namespace porthold::service {

// A stretch of what the caller heard: samples (16-bit, mono, 8000 a second)
// placed by their number counted from the origin.
struct HeardChunk {
    std::uint64_t firstSample = 0;
    std::vector<std::int16_t> samples;
};

// Follows what the caller of a simulated line hears from a moment on (the
// answer), as it plays: each Collect hands over the samples played since the
// last one, sample-accurately placed, so that the gaps between them are the
// silence the caller heard. Sounds cut short end where they were cut.
//
// It takes finished sounds out of the channel's timeline as it goes, so a
// long call does not accumulate them; only one follower may use a channel.
class HeardAudio {
public:
    HeardAudio(platform::SimulatedLineVoiceChannel& channel, std::uint32_t originTick);

    // What played up to the clock reading `now` and was not handed over yet.
    // At the end of the call, `now` is the moment the call ended: what plays
    // on after it is not heard.
    std::vector<HeardChunk> Collect(std::uint32_t now);

private:
    struct Followed {
        platform::PlayedSound sound;
        std::uint64_t samplesHandedOver = 0;
    };

    // Hands over the new part of `followed`; true once nothing more of it can
    // come (it has stopped playing and everything is handed over).
    bool Follow(Followed& followed, std::uint32_t now, std::vector<HeardChunk>& chunks) const;

    platform::SimulatedLineVoiceChannel& channel_;
    std::uint32_t originTick_;
    // Handed-over counts of the channel's timeline entries, by position.
    std::vector<std::uint64_t> handedOver_;
    // Sounds taken out of the timeline while they were still playing; they
    // are followed as planned.
    std::vector<Followed> detached_;
};

}  // namespace porthold::service
