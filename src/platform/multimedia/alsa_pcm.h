#pragma once

// Internal to the ALSA sound card: opening a PCM and the device objects that
// run it.

#include <alsa/asoundlib.h>

#include <memory>
#include <string>

#include "platform/multimedia/wave_device_provider.h"

namespace porthold::platform::alsa {

// Opens the PCM without blocking and sets it up for the format. On success
// `pcm` is open (non-blocking); otherwise it is null and the result says why:
// MMSYSERR_ALLOCATED when another program holds the device, WAVERR_BADFORMAT
// when it refuses the format, MMSYSERR_NODRIVER when there is no such device.
MMRESULT OpenPcm(const std::string& name, snd_pcm_stream_t stream, const WaveFormat& format,
                 snd_pcm_t*& pcm);

// Take ownership of an open PCM.
std::unique_ptr<WaveOutputDevice> MakeOutput(snd_pcm_t* pcm, const WaveFormat& format);
std::unique_ptr<WaveInputDevice> MakeInput(snd_pcm_t* pcm, const WaveFormat& format);

}  // namespace porthold::platform::alsa
