#include "audio/wave_error_report.h"

#include <array>
#include <string>

namespace porthold::audio {

void ReportWaveError(const platform::WaveDevices& devices, config::ErrorLog& log,
                     platform::MMRESULT code, std::string_view stepText, WaveErrorKind kind) {
    if (kind == WaveErrorKind::File) {
        log.LogError(stepText);
        return;
    }
    std::array<char, platform::MAXERRORLENGTH> text{};
    if (kind == WaveErrorKind::Input) {
        devices.InGetErrorText(code, text.data(), static_cast<std::uint32_t>(text.size()));
    } else {
        devices.OutGetErrorText(code, text.data(), static_cast<std::uint32_t>(text.size()));
    }
    std::string line(stepText);
    line += ' ';
    line += text.data();
    log.LogError(line);
}

}  // namespace porthold::audio
