#pragma once

#include "audio/call_flags.h"
#include "audio/wave_player.h"
#include "audio/wave_recorder.h"
#include "config/error_log.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/multimedia/wave_devices.h"

namespace porthold::audio {

// The program's one audio object: the playback queue and the recorder, which
// call into each other when a device either of them needs is busy. Created at
// start-up and kept for the whole run; the devices, clock, log, settings and
// engine flags it is given must outlive it.
class Audio {
public:
    Audio(platform::WaveDevices& devices, platform::Clock& clock, config::ErrorLog& log,
          const config::Settings& settings, CallFlags& callFlags);
    // Runs Teardown, so no device is left playing into freed memory.
    ~Audio();
    Audio(const Audio&) = delete;
    Audio& operator=(const Audio&) = delete;

    WavePlayer& Player() { return player_; }
    WaveRecorder& Recorder() { return recorder_; }

    // The program's end: every sound stopped and released, the recording
    // stopped and its file finalised, any remaining buffers freed. Safe to
    // call more than once.
    void Teardown();

private:
    WavePlayer player_;
    WaveRecorder recorder_;
};

}  // namespace porthold::audio
