#include "service/simulated_modem_line.h"

#include <string_view>
#include <utility>

namespace porthold::service {
namespace {

bool IsDtmfKey(char key) {
    return std::string_view("0123456789*#ABCD").find(key) != std::string_view::npos;
}

bool IsPulseDigit(char key) {
    return key >= '0' && key <= '9';
}

}  // namespace

SimulatedModemLine::SimulatedModemLine(platform::Clock& clock, std::string name,
                                       std::uint32_t outputDeviceId, std::uint32_t inputDeviceId)
    : clock_(clock), name_(std::move(name)), channel_(clock, outputDeviceId, inputDeviceId) {}

SimulatedModemLine::~SimulatedModemLine() = default;

DialResult SimulatedModemLine::Dial(CallerEnd* caller) {
    FarEndCallId call = 0;
    {
        const std::lock_guard lock(mutex_);
        if (currentCall_ != 0 || otherCallHeld_) {
            return DialResult::Busy;
        }
        // Claimed before the service hears of it, so that an answer that comes
        // at once already finds the caller.
        call = currentCall_ = ++lastCall_;
        answered_ = false;
        caller_ = caller;
    }
    LineEvents* events = events_.load();
    if (events != nullptr && events->IncomingCall(call) == OfferResult::Offered) {
        return DialResult::Offered;
    }
    const std::lock_guard lock(mutex_);
    if (currentCall_ == call) {
        currentCall_ = 0;
        caller_ = nullptr;
    }
    return DialResult::Busy;
}

void SimulatedModemLine::Ring(const CallerEnd* caller) {
    const FarEndCallId call = CurrentCall(caller);
    LineEvents* events = events_.load();
    if (call != 0 && events != nullptr) {
        events->Ring(call);
    }
}

void SimulatedModemLine::PressKey(char key, KeyMode mode, const CallerEnd* caller) {
    if (mode == KeyMode::Dtmf ? !IsDtmfKey(key) : !IsPulseDigit(key)) {
        return;
    }
    FarEndCallId call = 0;
    {
        const std::lock_guard lock(mutex_);
        if (!answered_) {
            return;
        }
        call = CurrentCallLocked(caller);
    }
    LineEvents* events = events_.load();
    if (call != 0 && events != nullptr) {
        events->KeyPressed(call, key, mode);
    }
}

void SimulatedModemLine::Speak(std::vector<std::int16_t> samples, const CallerEnd* caller) {
    // Spoken under the lock, so that speech never outlives the end of the
    // call it was said in.
    const std::lock_guard lock(mutex_);
    if (caller != nullptr && CurrentCallLocked(caller) == 0) {
        return;
    }
    channel_.CallerSpeaks(clock_.TickCount(), std::move(samples));
}

void SimulatedModemLine::HangUp(const CallerEnd* caller) {
    FarEndCallId call = 0;
    {
        const std::lock_guard lock(mutex_);
        call = CurrentCallLocked(caller);
        if (call == 0) {
            return;
        }
        EndCallLocked();
        caller_ = nullptr;
    }
    LineEvents* events = events_.load();
    if (events != nullptr) {
        events->FarEndHungUp(call);
    }
}

bool SimulatedModemLine::HoldOtherCall(OtherCall state) {
    {
        const std::lock_guard lock(mutex_);
        if (state == OtherCall::Held && (currentCall_ != 0 || otherCallHeld_)) {
            return false;
        }
        if (state == OtherCall::Released && !otherCallHeld_) {
            return true;
        }
        otherCallHeld_ = state == OtherCall::Held;
    }
    LineEvents* events = events_.load();
    const bool accepted = events == nullptr || events->SetOtherCall(state);
    if (!accepted) {
        const std::lock_guard lock(mutex_);
        otherCallHeld_ = false;
    }
    return accepted;
}

bool SimulatedModemLine::IsInCall() const {
    return CurrentCall() != 0;
}

bool SimulatedModemLine::IsAnswered() const {
    const std::lock_guard lock(mutex_);
    return answered_;
}

void SimulatedModemLine::SetBehaviour(const CallBehaviour& behaviour) {
    const std::lock_guard lock(mutex_);
    behaviour_ = behaviour;
}

CallBehaviour SimulatedModemLine::Behaviour() const {
    const std::lock_guard lock(mutex_);
    return behaviour_;
}

void SimulatedModemLine::Attach(LineEvents* events) {
    events_.store(events);
}

void SimulatedModemLine::CallAnswered(FarEndCallId call) {
    const std::lock_guard lock(mutex_);
    if (call != currentCall_ || answered_) {
        return;
    }
    answered_ = true;
    // Told under the lock, so that a caller that hangs up meanwhile is either
    // told before it goes or not at all.
    if (caller_ != nullptr) {
        caller_->Answered(clock_.TickCount());
    }
}

void SimulatedModemLine::CallEndedByLine(FarEndCallId call) {
    const std::lock_guard lock(mutex_);
    if (call != currentCall_) {
        return;
    }
    EndCallLocked();
    if (CallerEnd* caller = std::exchange(caller_, nullptr)) {
        caller->HungUpByLine(clock_.TickCount());
    }
}

void SimulatedModemLine::EndCallLocked() {
    currentCall_ = 0;
    answered_ = false;
    // What the caller said is of no use once the call is over, and a caller
    // may have said a lot.
    channel_.ClearCallerSpeech();
}

FarEndCallId SimulatedModemLine::CurrentCall(const CallerEnd* caller) const {
    const std::lock_guard lock(mutex_);
    return CurrentCallLocked(caller);
}

FarEndCallId SimulatedModemLine::CurrentCallLocked(const CallerEnd* caller) const {
    return caller == nullptr || caller == caller_ ? currentCall_ : 0;
}

}  // namespace porthold::service
