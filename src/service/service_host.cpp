#include "service/service_host.h"

#include "platform/system_clock.h"
#include "service/line_configuration.h"
#include "service/simulated_modem_line.h"

namespace porthold::service {

std::uint32_t SimulatedLineOutputDevice(std::size_t index) {
    return static_cast<std::uint32_t>(100 + 2 * index);
}

std::uint32_t SimulatedLineInputDevice(std::size_t index) {
    return static_cast<std::uint32_t>(101 + 2 * index);
}

// The service and its clock, which live and go together. The service's
// problems (a flooded queue) go to the host's log as one line each.
struct ServiceHost::RunningService {
    explicit RunningService(std::ostream& problems)
        : service(clock, [&problems](std::string_view problem) {
              problems << "porthold line service: " << problem << std::endl;
          }) {}

    platform::SystemClock clock;
    TelephonyService service;
};

ServiceHost::ServiceHost(const platform::ProcessEnvironment& environment, std::ostream& problems,
                         SipLineMaker makeSipLine, ModemLineMaker makeModemLine)
    : environment_(environment),
      problems_(problems),
      makeSipLine_(std::move(makeSipLine)),
      makeModemLine_(std::move(makeModemLine)) {}

ServiceHost::~ServiceHost() {
    const std::lock_guard lock(mutex_);
    servers_.clear();
    waveDevices_.SetService(nullptr);
}

LONG ServiceHost::StartApplication(const std::function<LONG(TelephonyService&)>& initialise) {
    const std::lock_guard lock(mutex_);
    if (!service_) {
        Start();
    }
    const LONG result = initialise(*service_);
    StopIfUnused();
    return result;
}

LONG ServiceHost::EndApplication(const std::function<LONG(TelephonyService&)>& shutdown,
                                 LONG notRunning) {
    const std::lock_guard lock(mutex_);
    if (!service_) {
        return notRunning;
    }
    const LONG result = shutdown(*service_);
    StopIfUnused();
    return result;
}

std::shared_ptr<TelephonyService> ServiceHost::Current() const {
    const std::lock_guard lock(mutex_);
    return service_;
}

void ServiceHost::Start() {
    const ServiceConfiguration configuration = LoadServiceConfiguration(environment_);
    for (const std::string& problem : configuration.problems) {
        problems_ << "porthold line service: " << problem << '\n';
    }
    auto running = std::make_shared<RunningService>(problems_);
    service_ = std::shared_ptr<TelephonyService>(running, &running->service);
    for (std::size_t index = 0; index < configuration.lines.size(); ++index) {
        const LineConfiguration& line = configuration.lines[index];
        if (line.provider != ProviderKind::SimulatedModem) {
            AddMadeLine(*running, line, index);
            continue;
        }
        auto modem = std::make_unique<SimulatedModemLine>(running->clock, line.name,
                                                          SimulatedLineOutputDevice(index),
                                                          SimulatedLineInputDevice(index));
        CallBehaviour behaviour;
        behaviour.answerOrder = line.answerOrder;
        modem->SetBehaviour(behaviour);
        SimulatedModemLine& added = running->service.AddLine(std::move(modem));
        auto server =
            std::make_unique<LineSocketServer>(added, running->clock, line.socketPath, problems_);
        std::string problem;
        if (server->Start(problem)) {
            servers_.push_back(std::move(server));
        } else {
            problems_ << "porthold line service: line " << line.name << ": " << problem << '\n';
        }
    }
    waveDevices_.SetService(service_);
}

// SIP and voice modem lines come from makers outside this library, so that
// the service need not carry their stacks.
void ServiceHost::AddMadeLine(RunningService& running, const LineConfiguration& line,
                              std::size_t index) {
    const bool sip = line.provider == ProviderKind::Sip;
    const SipLineMaker& make = sip ? makeSipLine_ : makeModemLine_;
    if (!make) {
        problems_ << "porthold line service: line " << line.name << ": "
                  << (sip ? "SIP lines" : "voice modem lines") << " are not available here"
                  << std::endl;
        return;
    }
    running.service.AddLine(make(line, running.clock, SimulatedLineOutputDevice(index),
                                 SimulatedLineInputDevice(index), problems_));
}

void ServiceHost::StopIfUnused() {
    if (!service_ || service_->ApplicationCount() > 0) {
        return;
    }
    servers_.clear();
    waveDevices_.SetService(nullptr);
    service_.reset();
}

}  // namespace porthold::service
