#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "service/line_provider.h"
#include "service/sip/voice_channel.h"
#include "service/sip_line_settings.h"
#include "service/sip_stack/invite_flood_guard.h"
#include "service/sip_stack/libre.h"
#include "service/sip_stack/libre_ptr.h"
#include "service/sip_stack/rtp_stream.h"
#include "service/sip_stack/sdp_answer.h"
#include "service/sip_stack/sip_registration.h"
#include "service/sip_stack/sip_stack_thread.h"

namespace porthold::service {

// A line device whose calls come in over SIP: callers send their INVITE
// straight to the line's address (UDP). It takes one call at a time, rings
// the program at the configured cadence, answers with G.711 when the program
// answers, and carries the call's audio over RTP through the line's voice
// channel (the CallAudio given). The caller's keys arrive as RTP
// telephone-events or SIP INFO requests.
//
// Everything SIP happens on a libre thread of the line's own. The service's
// calls into the line only hand jobs to that thread, so they never wait;
// the line reports to the service from that thread, holding no lock.
class SipLine final : public LineProvider {
public:
    static constexpr DWORD kMediaModes =
        telephony::LINEMEDIAMODE_AUTOMATEDVOICE | telephony::LINEMEDIAMODE_DATAMODEM;

    // Starts listening on `settings.listen` (port 0 picks a free one).
    // `voiceDevices` and `audio` are the voice channel, and must outlive the
    // line, like `problems`, where whatever goes wrong is written.
    SipLine(std::string name, const SipLineSettings& settings,
            platform::WaveDeviceProvider& voiceDevices, std::uint32_t outputDeviceId,
            std::uint32_t inputDeviceId, sip::CallAudio& audio, std::ostream& problems);
    ~SipLine() override;
    SipLine(const SipLine&) = delete;
    SipLine& operator=(const SipLine&) = delete;

    // Whether the line could open its address; 0 when it could not.
    std::uint16_t ListeningPort() const { return listeningPort_.load(); }

    // --- LineProvider ---
    const std::string& Name() const override { return name_; }
    std::string DeviceName() const override { return "Porthold SIP line " + name_; }
    std::string ProviderInfo() const override { return "Porthold SIP line"; }
    DWORD MediaModes() const override { return kMediaModes; }
    bool HasPhoneDevice() const override { return true; }
    platform::WaveDeviceProvider& VoiceDevices() override { return voiceDevices_; }
    std::uint32_t WaveOutputDeviceId() const override { return outputDeviceId_; }
    std::uint32_t WaveInputDeviceId() const override { return inputDeviceId_; }
    CallBehaviour Behaviour() const override { return {}; }
    // Waits for a report under way, so that none reaches a service that has
    // let go of the line.
    void Attach(LineEvents* events) override {
        const std::lock_guard lock(reportMutex_);
        events_.store(events);
    }
    void CallAnswered(FarEndCallId call) override;
    void CallEndedByLine(FarEndCallId call) override;

private:
    struct ActiveCall;

    // Hands the attached service, if any, to `report`, with reportMutex_ held.
    template <typename Report>
    void Tell(Report report) {
        const std::lock_guard lock(reportMutex_);
        if (LineEvents* events = events_.load()) {
            report(*events);
        }
    }
    class RtpFrameSender;
    class CallReceiver;

    // On the libre thread.
    bool Start();
    void StartRegistration();
    void Shut();
    void IncomingInvite(const sip_msg& message);
    bool AdmitInvite();
    void CheckFlood();
    void ReportFloodOver(const sip::InviteFloodGuard::Flood& flood);
    bool Offer(const sip_msg& message, std::unique_ptr<ActiveCall> call);
    void RingNow();
    void Answer(FarEndCallId call);
    bool OpenMediaAndAnswer(ActiveCall& call);
    void KeyPressed(FarEndCallId call, char key);
    void InfoReceived(struct ::sip* stack, const sip_msg& message);
    void Closed(int error);
    void EndCall(bool byFarEnd);
    void SendAudio(FarEndCallId call, std::span<const std::uint8_t> codes, std::uint32_t timestamp,
                   sip::RtpMarker marker);

    static void OnInvite(const sip_msg* message, void* arg);
    static void OnInfo(struct ::sip* stack, const sip_msg* message, void* arg);
    static void OnClose(int error, const sip_msg* message, void* arg);
    static void OnRingTimer(void* arg);
    static void OnReleaseTimer(void* arg);
    static void OnFloodTimer(void* arg);

    // Any thread but the libre one.
    void EndRegistration();

    // Any thread.
    void Report(std::string_view problem);

    const std::string name_;
    const SipLineSettings settings_;
    platform::WaveDeviceProvider& voiceDevices_;
    const std::uint32_t outputDeviceId_;
    const std::uint32_t inputDeviceId_;
    sip::CallAudio& audio_;
    std::ostream& problems_;
    std::mutex problemsMutex_;
    // Held while a report reaches the service, and by Attach.
    std::mutex reportMutex_;
    std::atomic<LineEvents*> events_{nullptr};
    std::atomic<std::uint16_t> listeningPort_{0};

    // Touched only on the libre thread.
    sip::LibrePtr<struct ::sip> stack_;
    sip::LibrePtr<sipsess_sock> sessions_;
    std::unique_ptr<sip::SipRegistration> registration_;
    sa mediaAddress_{};
    FarEndCallId lastCall_ = 0;
    std::unique_ptr<ActiveCall> call_;
    // Sessions the caller ended, freed by a timer once libre has left the
    // handler that ended them.
    std::vector<sip::LibrePtr<sipsess>> ended_;
    tmr releaseTimer_{};
    sip::InviteFloodGuard floodGuard_;
    // Runs while a flood of INVITEs lasts, to notice its end.
    tmr floodTimer_{};

    std::unique_ptr<RtpFrameSender> frameSender_;
    // Last, so that it stops, and runs its last jobs, before anything above goes.
    sip::SipStackThread thread_;
};

}  // namespace porthold::service
