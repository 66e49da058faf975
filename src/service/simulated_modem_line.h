#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/multimedia/simulated_line_channel.h"
#include "service/line_provider.h"

namespace porthold::service {

// Told what the line does with the caller's call. Called with the service's
// lock held, so an implementation only takes note (and must not call the
// line or the service from within).
class CallerEnd {
public:
    virtual ~CallerEnd() = default;
    // The line answered at this clock reading.
    virtual void Answered(std::uint32_t tick) = 0;
    // The line hung up at this clock reading.
    virtual void HungUpByLine(std::uint32_t tick) = 0;
};

enum class DialResult { Offered, Busy };

// A simulated voice modem: a line device for automated voice and data calls,
// a phone device with a handset and a speaker, and a half-duplex voice channel
// whose two wave devices the program plays to and records from.
//
// The far end is driven through the caller API below: by tests directly, and
// by porthold-phone through the line's socket. The caller owns the ring
// cadence: the line rings when told to. The caller API may be used from any
// thread.
class SimulatedModemLine final : public LineProvider {
public:
    static constexpr DWORD kMediaModes =
        telephony::LINEMEDIAMODE_AUTOMATEDVOICE | telephony::LINEMEDIAMODE_DATAMODEM;

    // The voice channel follows `clock`; its two identifiers must not be used
    // by any other wave device of the program.
    SimulatedModemLine(platform::Clock& clock, std::string name, std::uint32_t outputDeviceId,
                       std::uint32_t inputDeviceId);
    ~SimulatedModemLine() override;
    SimulatedModemLine(const SimulatedModemLine&) = delete;
    SimulatedModemLine& operator=(const SimulatedModemLine&) = delete;

    // --- The caller API ---

    // Dials the line. `caller`, when given, is told of the answer and of the
    // line's hang-up, and must stay valid until the call has ended (HangUp
    // returned, or HungUpByLine was called).
    DialResult Dial(CallerEnd* caller = nullptr);

    // The requests below act on the call in progress. With `caller` given they
    // act only on that caller's call, and do nothing once it is over, so that
    // a caller who is late to learn of the end never touches a later call.

    // One ring of the dialled call; nothing once it is answered.
    void Ring(const CallerEnd* caller = nullptr);
    // A key on the caller's keypad: DTMF keys 0-9 * # A-D, pulse digits 0-9.
    // Other keys, and keys before the answer, are lost.
    void PressKey(char key, KeyMode mode = KeyMode::Dtmf, const CallerEnd* caller = nullptr);
    // The caller speaks from now on; the program hears it when it records,
    // until the call ends.
    void Speak(std::vector<std::int16_t> samples, const CallerEnd* caller = nullptr);
    // The caller hangs up; the line's side of the call learns it.
    void HangUp(const CallerEnd* caller = nullptr);
    // Another application's call holds the line, or lets it go. False when
    // refused: the line has a call (or, to hold, is held already).
    bool HoldOtherCall(OtherCall state);

    bool IsInCall() const;
    bool IsAnswered() const;

    // What the caller heard, and the channel itself.
    platform::SimulatedLineVoiceChannel& VoiceChannel() { return channel_; }

    // How the service answers requests on this line.
    void SetBehaviour(const CallBehaviour& behaviour);

    // --- LineProvider ---
    const std::string& Name() const override { return name_; }
    std::string DeviceName() const override { return "Porthold simulated voice modem " + name_; }
    std::string ProviderInfo() const override { return "Porthold simulated voice modem"; }
    DWORD MediaModes() const override { return kMediaModes; }
    bool HasPhoneDevice() const override { return true; }
    platform::WaveDeviceProvider& VoiceDevices() override { return channel_; }
    std::uint32_t WaveOutputDeviceId() const override { return channel_.OutputDeviceId(); }
    std::uint32_t WaveInputDeviceId() const override { return channel_.InputDeviceId(); }
    CallBehaviour Behaviour() const override;
    void Attach(LineEvents* events) override;
    void CallAnswered(FarEndCallId call) override;
    void CallEndedByLine(FarEndCallId call) override;

private:
    // The call in progress (of `caller`, when given); 0 for none.
    FarEndCallId CurrentCall(const CallerEnd* caller = nullptr) const;
    FarEndCallId CurrentCallLocked(const CallerEnd* caller) const;
    // The call is over: no call in progress, and the caller's speech is gone.
    void EndCallLocked();

    platform::Clock& clock_;
    std::string name_;
    platform::SimulatedLineVoiceChannel channel_;
    std::atomic<LineEvents*> events_{nullptr};

    // Guards the fields below. Never held while calling the service; held
    // while handing speech to the channel, which calls nothing back.
    mutable std::mutex mutex_;
    CallBehaviour behaviour_;
    FarEndCallId currentCall_ = 0;
    FarEndCallId lastCall_ = 0;
    bool answered_ = false;
    bool otherCallHeld_ = false;
    CallerEnd* caller_ = nullptr;
};

}  // namespace porthold::service
