#include "service/modem_line/voice_modem_line.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <utility>

#include "service/modem_line/voice_modem_line_device.h"

namespace porthold::service {
namespace {

constexpr std::uint32_t kReopenMilliseconds = 10000;
// How often silence is recorded without a call.
constexpr std::uint32_t kSilenceMilliseconds = 20;
// The service sends one answer and one end a call; more is a fault of its own.
constexpr std::size_t kMostRequests = 64;
// Paced audio leaves the port at once; this much unsent means a port that
// takes nothing any more.
constexpr std::size_t kMostUnsentBytes = 64 * 1024;

}  // namespace

VoiceModemLine::VoiceModemLine(platform::Clock& clock, std::string name,
                               VoiceModemSettings settings, std::uint32_t outputDeviceId,
                               std::uint32_t inputDeviceId, std::ostream& problems)
    : clock_(clock),
      virtualClock_(dynamic_cast<platform::VirtualClock*>(&clock)),
      name_(std::move(name)),
      settings_(std::move(settings)),
      outputDeviceId_(outputDeviceId),
      inputDeviceId_(inputDeviceId),
      problems_(problems),
      wakeDescriptor_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      channel_(clock, outputDeviceId, inputDeviceId, [this] { Wake(); }),
      dialogue_(clock, *this, *this, channel_, settings_.callerId) {
    reopenTick_ = clock_.TickCount();
    if (virtualClock_ != nullptr) {
        virtualClock_->AddTimeObserver(*this);
    }
}

VoiceModemLine::~VoiceModemLine() {
    if (virtualClock_ != nullptr) {
        virtualClock_->RemoveTimeObserver(*this);
    }
    thread_.request_stop();
    Wake();
    if (thread_.joinable()) {
        thread_.join();
    }
    if (wakeDescriptor_ >= 0) {
        ::close(wakeDescriptor_);
    }
}

std::string VoiceModemLine::DeviceName() const {
    return "Porthold voice modem " + name_ + " (" + settings_.device + ")";
}

DWORD VoiceModemLine::MediaModes() const {
    return kind_.load() == modem::ModemKind::DataOnly
               ? telephony::LINEMEDIAMODE_DATAMODEM
               : telephony::LINEMEDIAMODE_AUTOMATEDVOICE | telephony::LINEMEDIAMODE_DATAMODEM;
}

modem::CallerId VoiceModemLine::LastCallerId() const {
    const std::lock_guard lock(mutex_);
    return lastCallerId_;
}

// The thread starts with the first service, so that nothing it reports is
// lost. Attach(nullptr) waits for a report in progress to finish.
void VoiceModemLine::Attach(LineEvents* events) {
    if (events == nullptr) {
        events_.store(nullptr);
        const std::lock_guard lock(reportMutex_);
        return;
    }
    events_.store(events);
    if (!thread_.joinable()) {
        thread_ = std::jthread([this](const std::stop_token& stop) { Run(stop); });
    }
}

void VoiceModemLine::CallAnswered(FarEndCallId call) {
    {
        const std::lock_guard lock(mutex_);
        if (requests_.size() < kMostRequests) {
            requests_.push_back({RequestKind::Answer, call});
        }
    }
    Wake();
}

void VoiceModemLine::CallEndedByLine(FarEndCallId call) {
    {
        const std::lock_guard lock(mutex_);
        if (requests_.size() < kMostRequests) {
            requests_.push_back({RequestKind::End, call});
        }
    }
    Wake();
}

void VoiceModemLine::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeDescriptor_, &one, sizeof one);
}

void VoiceModemLine::OnTimeChanged(std::uint32_t /*tickCount*/) {
    Wake();
}

template <typename Report>
void VoiceModemLine::Tell(Report report) {
    const std::lock_guard lock(reportMutex_);
    if (LineEvents* events = events_.load()) {
        report(*events);
    }
}

void VoiceModemLine::Run(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        if (!port_ && platform::HasReached(clock_.TickCount(), reopenTick_)) {
            OpenPort();
        }
        TakeRequests();
        if (port_) {
            dialogue_.Update();
        }
        if (port_ && std::exchange(hangUpNeeded_, false)) {
            dialogue_.HangUp();
        }
        if (std::exchange(portStuck_, false)) {
            LoseModem("stopped taking data");
        }
        channel_.Update();
        Flush();
        WaitForWork();
    }
}

void VoiceModemLine::OpenPort() {
    std::string problem;
    port_ = modem::SerialPort::Open(settings_.device, settings_.speed, settings_.flow, problem);
    if (!port_) {
        LoseModem(problem);
        return;
    }
    outgoing_.clear();
    dialogue_.Start();
}

void VoiceModemLine::TakeRequests() {
    std::deque<Request> requests;
    {
        const std::lock_guard lock(mutex_);
        requests.swap(requests_);
    }
    for (const Request& request : requests) {
        if (request.call == 0 || request.call != currentCall_ || !port_) {
            continue;
        }
        if (request.kind == RequestKind::Answer) {
            dialogue_.Answer();
            continue;
        }
        // A call dropped while it rings stays the current one until its rings
        // stop, so that they are not taken for a new call.
        channel_.SetCallAudio(modem::CallAudioState::Off);
        if (answered_) {
            currentCall_ = 0;
            answered_ = false;
        }
        dialogue_.HangUp();
    }
}

// Blocks until the port, a request or the clock has work. On a virtual
// clock, time moves only when a test moves it, which wakes the thread.
void VoiceModemLine::WaitForWork() {
    std::optional<std::uint32_t> wait;
    if (port_) {
        wait = dialogue_.MillisecondsUntilWork();
    } else {
        const auto left = static_cast<std::int32_t>(reopenTick_ - clock_.TickCount());
        wait = left > 0 ? static_cast<std::uint32_t>(left) : 0u;
    }
    if (channel_.RecordsSilence()) {
        wait = std::min(wait.value_or(kSilenceMilliseconds), kSilenceMilliseconds);
    }
    int timeout = wait ? static_cast<int>(*wait) : -1;
    if (virtualClock_ != nullptr && timeout != 0) {
        timeout = -1;
    }
    std::array<pollfd, 2> descriptors{};
    descriptors[0] = {wakeDescriptor_, POLLIN, 0};
    nfds_t count = 1;
    if (port_) {
        const short events = static_cast<short>(POLLIN | (outgoing_.empty() ? 0 : POLLOUT));
        descriptors[1] = {port_->Descriptor(), events, 0};
        count = 2;
    }
    if (::poll(descriptors.data(), count, timeout) <= 0) {
        return;
    }
    if ((descriptors[0].revents & POLLIN) != 0) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t read = ::read(wakeDescriptor_, &value, sizeof value);
    }
    if (count == 2 && descriptors[1].revents != 0) {
        ReadPort(descriptors[1].revents);
    }
}

void VoiceModemLine::ReadPort(short events) {
    std::string problem;
    if ((events & POLLIN) != 0) {
        std::string bytes;
        if (port_->Read(bytes, problem) == modem::PortStatus::Gone) {
            LoseModem(problem);
            return;
        }
        dialogue_.Received(bytes);
    } else if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        LoseModem("went away");
    }
}

void VoiceModemLine::Flush() {
    if (!port_) {
        return;
    }
    std::string problem;
    if (port_->Write(outgoing_, problem) == modem::PortStatus::Gone) {
        LoseModem(problem);
    }
}

void VoiceModemLine::Write(std::string_view bytes) {
    if (outgoing_.size() + bytes.size() > kMostUnsentBytes) {
        portStuck_ = true;
        return;
    }
    outgoing_.append(bytes);
}

// One line in the log for each time the line goes out of service; while it
// stays out, the attempts to open the port again say nothing.
void VoiceModemLine::LoseModem(const std::string& what) {
    port_.reset();
    outgoing_.clear();
    reopenTick_ = clock_.TickCount() + kReopenMilliseconds;
    EndCall();
    if (service_.exchange(LineService::OutOfService) == LineService::OutOfService) {
        return;
    }
    problems_ << "porthold line service: modem " << name_ << " on " << settings_.device << " "
              << what << "; the line is out of service, and tries again every 10 s" << std::endl;
    Tell([](LineEvents& events) { events.ServiceChanged(LineService::OutOfService); });
}

void VoiceModemLine::EndCall() {
    channel_.SetCallAudio(modem::CallAudioState::Off);
    const FarEndCallId call = std::exchange(currentCall_, 0);
    answered_ = false;
    hangUpNeeded_ = false;
    if (call != 0) {
        Tell([call](LineEvents& events) { events.FarEndHungUp(call); });
    }
}

void VoiceModemLine::Ready(modem::ModemKind kind) {
    kind_.store(kind);
    if (kind == modem::ModemKind::DataOnly && !std::exchange(dataOnlyReported_, true)) {
        problems_ << "porthold line service: modem " << name_ << " on " << settings_.device
                  << " knows no voice commands (or no format this program speaks), so it "
                     "can take data calls only"
                  << std::endl;
    }
    if (service_.exchange(LineService::InService) == LineService::OutOfService) {
        problems_ << "porthold line service: modem " << name_ << " on " << settings_.device
                  << " answers again; the line is back in service" << std::endl;
        Tell([](LineEvents& events) { events.ServiceChanged(LineService::InService); });
    }
}

void VoiceModemLine::Failed(const std::string& what) {
    LoseModem(what);
}

void VoiceModemLine::Ringing() {
    if (kind_.load() == modem::ModemKind::DataOnly) {
        return;
    }
    if (currentCall_ == 0) {
        currentCall_ = ++lastCall_;
        answered_ = false;
        const FarEndCallId call = currentCall_;
        Tell([call](LineEvents& events) { events.IncomingCall(call); });
    }
    const FarEndCallId call = currentCall_;
    Tell([call](LineEvents& events) { events.Ring(call); });
}

void VoiceModemLine::RingingStopped() {
    if (!answered_) {
        EndCall();
    }
}

void VoiceModemLine::CallerIdHeard(const modem::CallerId& callerId) {
    const std::lock_guard lock(mutex_);
    lastCallerId_ = callerId;
}

void VoiceModemLine::AnswerFinished(modem::AnswerOutcome outcome) {
    if (outcome == modem::AnswerOutcome::Answered && currentCall_ != 0) {
        answered_ = true;
        channel_.SetCallAudio(modem::CallAudioState::On);
        return;
    }
    EndCall();
}

void VoiceModemLine::KeyPressed(char key) {
    const FarEndCallId call = currentCall_;
    if (call != 0 && answered_) {
        Tell([call, key](LineEvents& events) { events.KeyPressed(call, key, KeyMode::Dtmf); });
    }
}

// The modem is put on hook after the dialogue has finished what it is doing.
void VoiceModemLine::FarEndGone() {
    EndCall();
    hangUpNeeded_ = true;
}

std::unique_ptr<LineProvider> MakeVoiceModemLine(const LineConfiguration& line,
                                                 platform::Clock& clock,
                                                 std::uint32_t outputDeviceId,
                                                 std::uint32_t inputDeviceId,
                                                 std::ostream& problems) {
    return std::make_unique<VoiceModemLine>(clock, line.name, line.modem, outputDeviceId,
                                            inputDeviceId, problems);
}

}  // namespace porthold::service
