#include "service/sip_stack/sip_line.h"

#include <array>
#include <chrono>
#include <future>
#include <utility>

#include "service/sip_stack/sip_line_call.h"

namespace porthold::service {
namespace {

// libre's hash tables: a line has one call, so small ones do.
constexpr std::uint32_t kHashSize = 16;
constexpr int kSessionHashSize = 16;
// How long a closing line waits for the registrar to confirm that it dropped
// the registration; a registrar that has gone away cannot hold it up longer.
constexpr std::chrono::milliseconds kUnregisterLimit{2000};

}  // namespace

SipLine::SipLine(std::string name, const SipLineSettings& settings,
                 platform::WaveDeviceProvider& voiceDevices, std::uint32_t outputDeviceId,
                 std::uint32_t inputDeviceId, sip::CallAudio& audio, std::ostream& problems)
    : name_(std::move(name)),
      settings_(settings),
      voiceDevices_(voiceDevices),
      outputDeviceId_(outputDeviceId),
      inputDeviceId_(inputDeviceId),
      audio_(audio),
      problems_(problems),
      frameSender_(std::make_unique<RtpFrameSender>(*this)),
      thread_(problems) {
    tmr_init(&releaseTimer_);
    tmr_init(&floodTimer_);
    const auto started = thread_.RunAndWait([this] { return Start(); });
    if (!started.value_or(false)) {
        Report("cannot take calls on " + settings_.listen.host + " port " +
               std::to_string(settings_.listen.port));
    }
}

SipLine::~SipLine() {
    if (thread_.Running()) {
        EndRegistration();
    }
    if (thread_.Running() && !thread_.RunAndWait([this] { Shut(); })) {
        Report("the SIP stack did not shut down in time");
    }
    // Frames posted meanwhile still find the line whole, and do nothing.
    thread_.Stop();
}

bool SipLine::Start() {
    sa address{};
    if (sa_set_str(&address, settings_.listen.host.c_str(), settings_.listen.port) != 0) {
        return false;
    }
    // The stack keeps the resolver it is given for as long as it needs it.
    const auto resolver = sip::MakeResolver(settings_.registrar,
                                            [this](std::string_view problem) { Report(problem); });
    struct ::sip* stack = nullptr;
    if (sip_alloc(&stack, resolver.get(), kHashSize, kHashSize, kHashSize, "Porthold", nullptr,
                  nullptr) != 0) {
        return false;
    }
    stack_.reset(stack);
    sipsess_sock* sessions = nullptr;
    if (sip_transp_add(stack, SIP_TRANSP_UDP, &address) != 0 ||
        sipsess_listen(&sessions, stack, kSessionHashSize, &SipLine::OnInvite, this) != 0) {
        Shut();
        return false;
    }
    sessions_.reset(sessions);
    sa bound{};
    if (sip_transp_laddr(stack, &bound, SIP_TRANSP_UDP, nullptr) != 0) {
        Shut();
        return false;
    }
    // The address the caller sends its audio to: the listening address, or
    // where this machine's traffic leaves from when that is a wildcard.
    mediaAddress_ = bound;
    if (sa_is_any(&mediaAddress_) &&
        net_default_source_addr_get(sa_af(&mediaAddress_), &mediaAddress_) != 0) {
        Shut();
        return false;
    }
    sa_set_port(&mediaAddress_, 0);
    listeningPort_.store(sa_port(&bound));
    StartRegistration();
    return true;
}

// A line whose registration cannot start still takes the calls sent straight
// to its address.
void SipLine::StartRegistration() {
    if (settings_.registrar.empty()) {
        return;
    }
    registration_ = sip::SipRegistration::Create(
        *stack_, settings_, [this](std::string_view problem) { Report(problem); });
    if (registration_) {
        registration_->Start();
    }
}

void SipLine::EndRegistration() {
    const auto released = thread_.RunAndWait(
        [this] { return registration_ ? registration_->Stop() : std::shared_future<void>(); });
    if (released && released->valid() &&
        released->wait_for(kUnregisterLimit) != std::future_status::ready) {
        Report("the registrar did not confirm the end of the registration in time");
    }
}

void SipLine::Shut() {
    if (call_) {
        EndCall(false);
    }
    tmr_cancel(&releaseTimer_);
    ended_.clear();
    tmr_cancel(&floodTimer_);
    if (const auto flood = floodGuard_.End()) {
        ReportFloodOver(*flood);
    }
    // Sessions first: the listening socket's table frees what is left in it.
    sessions_.reset();
    registration_.reset();
    if (stack_) {
        // A goodbye just sent is not waited for: the line is going.
        sip_close(stack_.get(), true);
        stack_.reset();
    }
    listeningPort_.store(0);
}

void SipLine::CallAnswered(FarEndCallId call) {
    // Under the service's lock: only hands the answer to the libre thread.
    if (!thread_.Post([this, call] { Answer(call); })) {
        Report("the answer to a call was lost");
    }
}

void SipLine::CallEndedByLine(FarEndCallId call) {
    if (!thread_.Post([this, call] {
            if (call_ && call_->id == call) {
                EndCall(false);
            }
        })) {
        Report("the line's hang-up of a call was lost");
    }
}

void SipLine::Report(std::string_view problem) {
    const std::lock_guard lock(problemsMutex_);
    // As the service's other problem lines are written, whole and at once.
    problems_ << "porthold line service: line " << name_ << ": " << problem << std::endl;
}

void SipLine::CallReceiver::ReceivedAudio(std::uint16_t sequence, std::uint32_t timestamp,
                                          std::span<const std::int16_t> samples) {
    line_.audio_.ReceiveAudio(sequence, timestamp, samples);
}

void SipLine::RtpFrameSender::SendFrame(const sip::OutgoingFrame& frame) {
    const FarEndCallId call = call_.load();
    if (call == 0) {
        return;
    }
    if (inFlight_.fetch_add(1) >= kMostFramesInFlight) {
        inFlight_.fetch_sub(1);
        return;
    }
    std::array<std::uint8_t, sip::kFrameSamples> codes{};
    sip::EncodeG711(law_.load(), frame.samples, codes);
    const bool posted =
        line_.thread_.Post([this, call, codes, timestamp = frame.timestamp, marker = frame.marker] {
            inFlight_.fetch_sub(1);
            line_.SendAudio(call, codes, timestamp, marker);
        });
    if (!posted) {
        inFlight_.fetch_sub(1);
    }
}

void SipLine::SendAudio(FarEndCallId call, std::span<const std::uint8_t> codes,
                        std::uint32_t timestamp, sip::RtpMarker marker) {
    if (call_ && call_->id == call && call_->rtp) {
        call_->rtp->Send(codes, timestamp, marker);
    }
}

}  // namespace porthold::service
