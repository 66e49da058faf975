#pragma once

#include <string_view>

#include "config/error_log.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/multimedia/wave_types.h"

namespace porthold::audio {

// Which error texts a result code is looked up in; file failures are logged
// by their step text alone.
enum class WaveErrorKind { Input, Output, File };

// Logs a failed wave or file step: the step text, then for device failures
// one blank and the device's text for `code`.
void ReportWaveError(const platform::WaveDevices& devices, config::ErrorLog& log,
                     platform::MMRESULT code, std::string_view stepText, WaveErrorKind kind);

}  // namespace porthold::audio
