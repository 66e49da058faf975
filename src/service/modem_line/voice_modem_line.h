#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/virtual_clock.h"
#include "service/line_provider.h"
#include "service/modem/caller_id.h"
#include "service/modem_line/modem_dialogue.h"
#include "service/modem_line/modem_voice_channel.h"
#include "service/modem_line/serial_port.h"
#include "service/voice_modem_settings.h"

namespace porthold::service {

// A line device on an analogue telephone line, through a voice modem on a
// serial port. The first RING offers a call, each RING rings it, and a call
// whose rings stop for 8 s is given up; the program's answer takes the line in
// voice mode, and its audio and the caller's keys go through the modem.
//
// All port I/O happens on the line's own thread, which blocks in poll until
// the port, a request or the clock gives it work. The service's calls into the
// line only queue a request and wake the thread, so they never wait on the
// modem; the thread reports to the service holding no lock of the line's,
// except that a report and Attach(nullptr) exclude each other, so that no
// report reaches a service that has let go of the line.
//
// A modem that stops answering or goes from its port puts the line out of
// service, with one line written to `problems`, and ends any call; the line
// then opens the port again every 10 s until the modem is back.
//
// Until the modem has been probed the line reports voice; the probe takes a
// second or two after the service starts, before the program looks, and a
// modem found to be data-only then reports data only.
class VoiceModemLine final : public LineProvider,
                             private modem::ModemDialogue::Listener,
                             private modem::ModemDialogue::Writer,
                             private platform::TimeObserver {
public:
    VoiceModemLine(platform::Clock& clock, std::string name, VoiceModemSettings settings,
                   std::uint32_t outputDeviceId, std::uint32_t inputDeviceId,
                   std::ostream& problems);
    ~VoiceModemLine() override;
    VoiceModemLine(const VoiceModemLine&) = delete;
    VoiceModemLine& operator=(const VoiceModemLine&) = delete;

    // The caller ID of the last call that had one.
    modem::CallerId LastCallerId() const;
    LineService Service() const { return service_.load(); }

    // --- LineProvider ---
    const std::string& Name() const override { return name_; }
    std::string DeviceName() const override;
    std::string ProviderInfo() const override { return "Porthold voice modem line"; }
    DWORD MediaModes() const override;
    bool HasPhoneDevice() const override { return true; }
    platform::WaveDeviceProvider& VoiceDevices() override { return channel_; }
    std::uint32_t WaveOutputDeviceId() const override { return outputDeviceId_; }
    std::uint32_t WaveInputDeviceId() const override { return inputDeviceId_; }
    CallBehaviour Behaviour() const override { return {}; }
    void Attach(LineEvents* events) override;
    void CallAnswered(FarEndCallId call) override;
    void CallEndedByLine(FarEndCallId call) override;

private:
    enum class RequestKind { Answer, End };
    struct Request {
        RequestKind kind;
        FarEndCallId call;
    };

    // On the line's thread.
    void Run(const std::stop_token& stop);
    void OpenPort();
    void TakeRequests();
    void WaitForWork();
    void ReadPort(short events);
    void Flush();
    void LoseModem(const std::string& what);
    void EndCall();
    template <typename Report>
    void Tell(Report report);

    // ModemDialogue::Listener and Writer, on the line's thread.
    void Ready(modem::ModemKind kind) override;
    void Failed(const std::string& what) override;
    void Ringing() override;
    void RingingStopped() override;
    void CallerIdHeard(const modem::CallerId& callerId) override;
    void AnswerFinished(modem::AnswerOutcome outcome) override;
    void KeyPressed(char key) override;
    void FarEndGone() override;
    void Write(std::string_view bytes) override;

    // Any thread.
    void Wake();
    void OnTimeChanged(std::uint32_t tickCount) override;

    platform::Clock& clock_;
    platform::VirtualClock* virtualClock_;
    const std::string name_;
    const VoiceModemSettings settings_;
    const std::uint32_t outputDeviceId_;
    const std::uint32_t inputDeviceId_;
    std::ostream& problems_;
    int wakeDescriptor_;
    modem::ModemVoiceChannel channel_;

    std::atomic<LineEvents*> events_{nullptr};
    std::mutex reportMutex_;
    std::atomic<modem::ModemKind> kind_{modem::ModemKind::Unknown};
    std::atomic<LineService> service_{LineService::InService};

    mutable std::mutex mutex_;  // guards the two below
    std::deque<Request> requests_;
    modem::CallerId lastCallerId_;

    // Touched only on the line's thread.
    modem::ModemDialogue dialogue_;
    std::unique_ptr<modem::SerialPort> port_;
    std::string outgoing_;
    std::uint32_t reopenTick_ = 0;
    FarEndCallId lastCall_ = 0;
    FarEndCallId currentCall_ = 0;
    bool answered_ = false;
    bool hangUpNeeded_ = false;
    bool dataOnlyReported_ = false;
    // More was written than the port took, for long: a port that takes
    // nothing any more.
    bool portStuck_ = false;

    std::jthread thread_;  // last: it stops before anything above goes
};

}  // namespace porthold::service
