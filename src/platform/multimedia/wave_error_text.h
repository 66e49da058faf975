#pragma once

#include <cstdint>
#include <string>

#include "platform/multimedia/wave_types.h"

namespace porthold::platform {

// A readable text for a wave result code, for the error log. Unknown codes get
// a text that names the number.
std::string WaveErrorText(MMRESULT error);

// Copies WaveErrorText(error) into `text`, cut to fit and always terminated.
// MMSYSERR_INVALPARAM when there is no room at all, MMSYSERR_BADERRNUM (with
// the text copied all the same) for an unknown code, else MMSYSERR_NOERROR.
MMRESULT CopyWaveErrorText(MMRESULT error, char* text, std::uint32_t textSize);

}  // namespace porthold::platform
