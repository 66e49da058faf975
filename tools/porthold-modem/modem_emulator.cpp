#include "modem_emulator.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace porthold::modem_emulator {
namespace {

// The exchange's text reaches the modem as printable characters only; the
// emulator keeps to that, whatever it was given.
std::string Printable(const std::string& text) {
    std::string kept;
    for (const char character : text.substr(0, 64)) {
        if (character >= ' ' && character <= '~') {
            kept.push_back(character);
        }
    }
    return kept;
}

CallerIdentity PrintableIdentity(const CallerIdentity& identity) {
    return CallerIdentity{Printable(identity.number), Printable(identity.name)};
}

std::string TwoDigits(int first, int second) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02d%02d", first % 100, second % 100);
    return text;
}

// Reports waiting for their time; more are not taken.
constexpr std::size_t kMostScheduled = 64;
constexpr std::uint32_t kKeyRepeatMilliseconds = 20;

}  // namespace

ModemEmulator::ModemEmulator(platform::Clock& clock, service::SimulatedModemLine& line,
                             ModemQuirks quirks, Computer& computer, CallerIdentity callerId,
                             std::ostream& log)
    : clock_(clock),
      virtualClock_(dynamic_cast<platform::VirtualClock*>(&clock)),
      line_(line),
      quirks_(quirks),
      chip_(TextsOf(quirks.chip)),
      computer_(computer),
      callerId_(PrintableIdentity(callerId)),
      log_(log),
      compression_(&DefaultFormat(chip_)),
      playback_(line.VoiceChannel(), line.VoiceChannel().OutputDeviceId(), log),
      recording_(line.VoiceChannel(), line.VoiceChannel().InputDeviceId()) {
    line_.Attach(this);
    if (virtualClock_ != nullptr) {
        virtualClock_->AddTimeObserver(*this);
    }
}

ModemEmulator::~ModemEmulator() {
    if (virtualClock_ != nullptr) {
        virtualClock_->RemoveTimeObserver(*this);
    }
    line_.Attach(nullptr);
    const std::lock_guard lock(mutex_);
    playback_.Close();
    std::vector<std::int16_t> rest;
    recording_.Close(rest);
}

void ModemEmulator::Receive(std::string_view bytes) {
    std::vector<LineAction> actions;
    {
        const std::lock_guard lock(mutex_);
        if (IsSilent()) {
            return;
        }
        UpdateLocked(clock_.TickCount());
        if (mode_ == Mode::Command) {
            ReceiveCommandBytes(bytes);
        } else {
            ReceiveStreamBytes(bytes);
        }
        actions = std::exchange(lineActions_, {});
    }
    TellLine(std::move(actions));
}

void ModemEmulator::Update() {
    OnTimeChanged(clock_.TickCount());
}

void ModemEmulator::OnTimeChanged(std::uint32_t tickCount) {
    std::vector<LineAction> actions;
    {
        const std::lock_guard lock(mutex_);
        UpdateLocked(tickCount);
        actions = std::exchange(lineActions_, {});
    }
    TellLine(std::move(actions));
}

std::optional<std::uint32_t> ModemEmulator::MillisecondsUntilWork() const {
    const std::lock_guard lock(mutex_);
    if (IsSilent()) {
        return std::nullopt;
    }
    const std::uint32_t now = clock_.TickCount();
    std::optional<std::uint32_t> wait;
    const auto consider = [&wait](std::optional<std::uint32_t> candidate) {
        if (candidate && (!wait || *candidate < *wait)) {
            wait = candidate;
        }
    };
    if (!scheduled_.empty()) {
        const auto until = static_cast<std::int32_t>(scheduled_.front().tick - now);
        consider(static_cast<std::uint32_t>(std::max(until, 0)));
    }
    if (mode_ == Mode::Playing) {
        consider(playback_.MillisecondsUntilStep(now));
    } else if (mode_ == Mode::Recording) {
        consider(recording_.MillisecondsUntilStep(now));
    }
    return wait;
}

void ModemEmulator::StopAnswering() {
    const std::lock_guard lock(mutex_);
    answering_ = false;
}

void ModemEmulator::StopAnsweringAfter(std::uint32_t commandLines) {
    const std::lock_guard lock(mutex_);
    commandLinesLeft_ = commandLines;
}

bool ModemEmulator::IsOffHook() const {
    const std::lock_guard lock(mutex_);
    return offHook_;
}

bool ModemEmulator::IsVoiceMode() const {
    const std::lock_guard lock(mutex_);
    return voiceMode_;
}

bool ModemEmulator::IsCallerIdOn() const {
    const std::lock_guard lock(mutex_);
    return callerIdOn_;
}

bool ModemEmulator::IsStreaming() const {
    const std::lock_guard lock(mutex_);
    return mode_ != Mode::Command;
}

int ModemEmulator::CompressionNumber() const {
    const std::lock_guard lock(mutex_);
    return compression_->number;
}

service::OfferResult ModemEmulator::IncomingCall(service::FarEndCallId call) {
    const std::lock_guard lock(mutex_);
    if (offHook_ || ringingCall_ != 0) {
        return service::OfferResult::Busy;
    }
    ringingCall_ = call;
    ringsSent_ = 0;
    if (!IsSilent() && callerIdOn_ && quirks_.callerIdTiming == CallerIdTiming::BeforeFirstRing) {
        SendCallerId();
    }
    return service::OfferResult::Offered;
}

void ModemEmulator::Ring(service::FarEndCallId call) {
    const std::lock_guard lock(mutex_);
    if (IsSilent() || call != ringingCall_ || offHook_) {
        return;
    }
    SendLine("RING");
    if (voiceMode_) {
        SendEvent('R');
    }
    ++ringsSent_;
    if (ringsSent_ == 1 && callerIdOn_ &&
        quirks_.callerIdTiming == CallerIdTiming::BetweenFirstTwoRings) {
        SendCallerId();
    }
}

void ModemEmulator::KeyPressed(service::FarEndCallId call, char key, service::KeyMode mode) {
    // A modem hears tones only: the clicks of pulse dialling pass unnoticed.
    const std::lock_guard lock(mutex_);
    if (IsSilent() || call != connectedCall_ || mode != service::KeyMode::Dtmf) {
        return;
    }
    if (quirks_.keys == KeyReports::Once) {
        SendEvent(key);
        return;
    }
    if (scheduled_.size() + 5 > kMostScheduled) {
        log_ << "porthold-modem: keys come faster than they are reported; " << key << " is lost\n";
        return;
    }
    // After the reports of the keys before it, so that two keys never mix.
    const std::uint32_t now = clock_.TickCount();
    const std::uint32_t start =
        scheduled_.empty() ? now : scheduled_.back().tick + kKeyRepeatMilliseconds;
    scheduled_.push_back({start, '/'});
    for (std::uint32_t repeat = 0; repeat < 3; ++repeat) {
        scheduled_.push_back({start + repeat * kKeyRepeatMilliseconds, key});
    }
    scheduled_.push_back({start + 3 * kKeyRepeatMilliseconds, '~'});
    UpdateLocked(now);
}

void ModemEmulator::FarEndHungUp(service::FarEndCallId call) {
    const std::lock_guard lock(mutex_);
    if (call == ringingCall_) {
        ringingCall_ = 0;
        return;
    }
    if (call != connectedCall_) {
        return;
    }
    connectedCall_ = 0;
    farEndGoneAt_ = clock_.TickCount();
    if (!IsSilent() && quirks_.tones == ToneReports::Sent) {
        SendEvent('b');
    }
}

bool ModemEmulator::SetOtherCall(service::OtherCall state) {
    const std::lock_guard lock(mutex_);
    return state == service::OtherCall::Released || (!offHook_ && ringingCall_ == 0);
}

void ModemEmulator::TellLine(std::vector<LineAction> actions) {
    for (const LineAction& action : actions) {
        if (action.kind == LineAction::Kind::Answer) {
            line_.CallAnswered(action.call);
        } else {
            line_.CallEndedByLine(action.call);
        }
    }
}

ModemEmulator::Result ModemEmulator::GoOffHook() {
    if (!offHook_) {
        offHook_ = true;
        farEndGoneAt_.reset();
        if (ringingCall_ != 0) {
            connectedCall_ = std::exchange(ringingCall_, 0);
            lineActions_.push_back({LineAction::Kind::Answer, connectedCall_});
        }
    }
    return quirks_.voiceLine == VoiceLineReply::Vcon ? Result::Vcon : Result::Ok;
}

void ModemEmulator::GoOnHook() {
    playback_.Close();
    std::vector<std::int16_t> rest;
    recording_.Close(rest);
    mode_ = Mode::Command;
    if (connectedCall_ != 0) {
        lineActions_.push_back({LineAction::Kind::End, std::exchange(connectedCall_, 0)});
    }
    offHook_ = false;
    farEndGoneAt_.reset();
    scheduled_.clear();
}

void ModemEmulator::SendCallerId() {
    const platform::LocalTime now = clock_.Now();
    const std::string_view separator = chip_.callerIdSeparator;
    const auto field = [](const std::string& value) { return value.empty() ? "O" : value; };
    SendLine("DATE" + std::string(separator) + TwoDigits(now.month, now.day));
    SendLine("TIME" + std::string(separator) + TwoDigits(now.hour, now.minute));
    SendLine("NMBR" + std::string(separator) + field(callerId_.number));
    SendLine("NAME" + std::string(separator) + field(callerId_.name));
}

void ModemEmulator::SendEvent(char code) {
    computer_.Send(service::modem::DleCode(code));
}

void ModemEmulator::SendLine(std::string_view text) {
    computer_.Send("\r\n" + std::string(text) + "\r\n");
}

}  // namespace porthold::modem_emulator
