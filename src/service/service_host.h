#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "platform/environment.h"
#include "service/line_configuration.h"
#include "service/line_socket_server.h"
#include "service/service_wave_devices.h"
#include "service/telephony_service.h"

namespace porthold::service {

// The wave device numbers of the line (of any kind) at `index` in the
// configuration: lines never share one.
std::uint32_t SimulatedLineOutputDevice(std::size_t index);
std::uint32_t SimulatedLineInputDevice(std::size_t index);

// What the service library keeps for its process: the service while
// applications use it, on the system clock, with its lines from the
// configuration and a socket listening for porthold-phone on each simulated
// line; and the wave device provider that hands the lines' voice channels to
// the program.
//
// The service starts with the first application and stops when the last one
// has shut down: its sockets close at once, and it reads its configuration
// again when it starts anew. The service itself is let go when the last of
// its wave devices the program has open is closed.
class ServiceHost {
public:
    // Makes a SIP line with its voice channel (see sip_stack/sip_line_device.h),
    // so that this library need not carry the SIP stack; without one, SIP
    // lines of the configuration are left out, with a problem said.
    using SipLineMaker = std::function<std::unique_ptr<LineProvider>(
        const LineConfiguration& line, platform::Clock& clock, std::uint32_t outputDeviceId,
        std::uint32_t inputDeviceId, std::ostream& problems)>;

    // Makes a voice modem line (see modem_line/voice_modem_line_device.h) in
    // the same way; without one, voice modem lines are left out likewise.
    using ModemLineMaker = SipLineMaker;

    // Problems with the configuration or the sockets are written to `problems`.
    ServiceHost(const platform::ProcessEnvironment& environment, std::ostream& problems,
                SipLineMaker makeSipLine = {}, ModemLineMaker makeModemLine = {});
    ~ServiceHost();
    ServiceHost(const ServiceHost&) = delete;
    ServiceHost& operator=(const ServiceHost&) = delete;

    // Runs an application's initialisation (or shutdown) on the service,
    // starting the service first when none runs, and stopping it afterwards
    // when no application is left.
    LONG StartApplication(const std::function<LONG(TelephonyService&)>& initialise);
    LONG EndApplication(const std::function<LONG(TelephonyService&)>& shutdown, LONG notRunning);

    // The running service, or null.
    std::shared_ptr<TelephonyService> Current() const;

    // The voice channels of whichever service runs.
    platform::WaveDeviceProvider& WaveDevices() { return waveDevices_; }

private:
    struct RunningService;

    void Start();
    void AddMadeLine(RunningService& running, const LineConfiguration& line, std::size_t index);
    void StopIfUnused();

    const platform::ProcessEnvironment& environment_;
    std::ostream& problems_;
    SipLineMaker makeSipLine_;
    ModemLineMaker makeModemLine_;
    ServiceWaveDevices waveDevices_;
    mutable std::mutex mutex_;
    std::shared_ptr<TelephonyService> service_;
    std::vector<std::unique_ptr<LineSocketServer>> servers_;
};

}  // namespace porthold::service
