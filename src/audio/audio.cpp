#include "audio/audio.h"

namespace porthold::audio {

// The player is given the recorder before the recorder is built; it only
// keeps the reference until it is used, after construction.
Audio::Audio(platform::WaveDevices& devices, platform::Clock& clock, config::ErrorLog& log,
             const config::Settings& settings, CallFlags& callFlags)
    : player_(devices, clock, log, callFlags, recorder_),
      recorder_(devices, clock, log, settings, callFlags, player_) {}

Audio::~Audio() {
    Teardown();
}

void Audio::Teardown() {
    player_.StopAllSounds();
    recorder_.StopRecording();
    recorder_.ReleaseBuffers();
}

}  // namespace porthold::audio
