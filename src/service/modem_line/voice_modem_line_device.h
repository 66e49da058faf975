#pragma once

#include <cstdint>
#include <memory>
#include <ostream>

#include "platform/clock.h"
#include "service/line_configuration.h"
#include "service/line_provider.h"

namespace porthold::service {

// A voice modem line of the configuration, ready for the service (see
// VoiceModemLine). Whatever goes wrong, now or later, is written to
// `problems`, which must outlive the line.
std::unique_ptr<LineProvider> MakeVoiceModemLine(const LineConfiguration& line,
                                                 platform::Clock& clock,
                                                 std::uint32_t outputDeviceId,
                                                 std::uint32_t inputDeviceId,
                                                 std::ostream& problems);

}  // namespace porthold::service
