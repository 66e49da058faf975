#include "platform/multimedia/wave_error_text.h"

#include <algorithm>
#include <cstring>

namespace porthold::platform {
namespace {

const char* KnownErrorText(MMRESULT error) {
    switch (error) {
        case MMSYSERR_NOERROR:
            return "The operation completed successfully.";
        case MMSYSERR_ERROR:
            return "The sound device reported an unspecified error.";
        case MMSYSERR_BADDEVICEID:
            return "The device identifier does not name a sound device of this system.";
        case MMSYSERR_NOTENABLED:
            return "The sound device is not enabled.";
        case MMSYSERR_ALLOCATED:
            return "The sound device is already in use.  Wait until it is free, and then try "
                   "again.";
        case MMSYSERR_INVALHANDLE:
            return "The sound device handle is not valid or has already been closed.";
        case MMSYSERR_NODRIVER:
            return "There is no sound device, or its driver is not available.";
        case MMSYSERR_NOMEM:
            return "There is not enough memory for the sound device.";
        case MMSYSERR_NOTSUPPORTED:
            return "The sound device does not support this function.";
        case MMSYSERR_BADERRNUM:
            return "The error number is not known.";
        case MMSYSERR_INVALFLAG:
            return "A flag passed to the sound device is not valid.";
        case MMSYSERR_INVALPARAM:
            return "A parameter passed to the sound device is not valid.";
        case WAVERR_BADFORMAT:
            return "The sound device cannot play or record this wave format.";
        case WAVERR_STILLPLAYING:
            return "The sound device is still playing or recording this buffer.";
        case WAVERR_UNPREPARED:
            return "The wave buffer has not been prepared.";
        default:
            return nullptr;
    }
}

}  // namespace

std::string WaveErrorText(MMRESULT error) {
    if (const char* text = KnownErrorText(error)) {
        return text;
    }
    return "The sound device reported error " + std::to_string(error) + ".";
}

MMRESULT CopyWaveErrorText(MMRESULT error, char* text, std::uint32_t textSize) {
    if (text == nullptr || textSize == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const std::string message = WaveErrorText(error);
    const std::size_t length = std::min<std::size_t>(message.size(), textSize - 1u);
    std::memcpy(text, message.data(), length);
    text[length] = '\0';
    return KnownErrorText(error) != nullptr ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM;
}

}  // namespace porthold::platform
