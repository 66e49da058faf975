#include "platform/multimedia/alsa_sound_card.h"

#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/multimedia/alsa_pcm.h"

namespace porthold::platform {
namespace alsa {
namespace {

// ALSA reports its troubles on stderr unless told otherwise; the program
// writes no diagnostics of its own there, and an absent card is an expected
// condition reported through result codes.
void IgnoreAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                     const char* /*format*/, ...) {}

void SilenceAlsaDiagnostics() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&IgnoreAlsaError); });
}

}  // namespace

MMRESULT OpenPcm(const std::string& name, snd_pcm_stream_t stream, const WaveFormat& format,
                 snd_pcm_t*& pcm) {
    pcm = nullptr;
    if (!IsPlainPcm(format)) {
        return WAVERR_BADFORMAT;
    }
    SilenceAlsaDiagnostics();
    int error = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
    if (error < 0) {
        pcm = nullptr;
        return error == -EBUSY || error == -EAGAIN ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER;
    }
    const snd_pcm_format_t sampleFormat =
        format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    // Resampling is allowed so that "any rate the PCM accepts" includes the
    // rates a sound server converts; 100 ms of buffering keeps a reset prompt.
    error = snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                               format.samplesPerSecond, 1, 100000);
    if (error < 0) {
        snd_pcm_close(pcm);
        pcm = nullptr;
        return error == -EBUSY ? MMSYSERR_ALLOCATED : WAVERR_BADFORMAT;
    }
    return MMSYSERR_NOERROR;
}

}  // namespace alsa

AlsaSoundCard::AlsaSoundCard(std::string pcmName) : pcmName_(std::move(pcmName)) {}

bool AlsaSoundCard::ServesDevice(std::uint32_t deviceId, WaveDirection /*direction*/) const {
    return deviceId == WAVE_MAPPER;
}

MMRESULT AlsaSoundCard::QueryFormat(std::uint32_t /*deviceId*/, WaveDirection direction,
                                    const WaveFormat& format) {
    snd_pcm_t* pcm = nullptr;
    const MMRESULT result = alsa::OpenPcm(
        pcmName_,
        direction == WaveDirection::Output ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE,
        format, pcm);
    if (pcm != nullptr) {
        snd_pcm_close(pcm);
    }
    return result;
}

MMRESULT AlsaSoundCard::OpenOutput(std::uint32_t /*deviceId*/, const WaveFormat& format,
                                   std::unique_ptr<WaveOutputDevice>& device) {
    snd_pcm_t* pcm = nullptr;
    const MMRESULT result = alsa::OpenPcm(pcmName_, SND_PCM_STREAM_PLAYBACK, format, pcm);
    if (result == MMSYSERR_NOERROR) {
        device = alsa::MakeOutput(pcm, format);
    }
    return result;
}

MMRESULT AlsaSoundCard::OpenInput(std::uint32_t /*deviceId*/, const WaveFormat& format,
                                  std::unique_ptr<WaveInputDevice>& device) {
    snd_pcm_t* pcm = nullptr;
    const MMRESULT result = alsa::OpenPcm(pcmName_, SND_PCM_STREAM_CAPTURE, format, pcm);
    if (result == MMSYSERR_NOERROR) {
        device = alsa::MakeInput(pcm, format);
    }
    return result;
}

}  // namespace porthold::platform
