#include "service/modem_line/modem_dialogue.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace porthold::service::modem {
namespace {

constexpr std::uint32_t kResetMilliseconds = 5000;
constexpr std::uint32_t kCommandMilliseconds = 3000;
// A modem's lines are short; a longer run without a line end is noise on the
// port or a modem in the wrong mode, never a reply.
constexpr std::size_t kLongestLine = 256;
// AT+VSM=? lists a few dozen formats at most.
constexpr std::size_t kMostResponseLines = 128;

std::string Trimmed(std::string_view text) {
    const auto isSpace = [](char character) {
        return std::isspace(static_cast<unsigned char>(character)) != 0;
    };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

bool SameIgnoringCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
    });
}

}  // namespace

ModemDialogue::ModemDialogue(platform::Clock& clock, Writer& writer, Listener& listener,
                             CallAudio& audio, CallerIdCommand callerId)
    : clock_(clock),
      writer_(writer),
      listener_(listener),
      audio_(audio),
      configuredCallerId_(callerId) {}

void ModemDialogue::Start() {
    phase_ = Phase::Starting;
    pending_.reset();
    responseLines_.clear();
    line_.clear();
    pendingDle_ = false;
    ringing_ = false;
    hangUpRequested_ = false;
    farEndGone_ = false;
    inRecordedStream_ = false;
    streamReader_.Reset();
    callerId_.Clear();
    Send(Step::Reset, "ATZ");
}

bool ModemDialogue::IsInCall() const {
    return phase_ == Phase::Answering || phase_ == Phase::VoiceCommand ||
           phase_ == Phase::Playing || phase_ == Phase::Recording || phase_ == Phase::EndingMedia;
}

void ModemDialogue::Send(Step step, std::string command) {
    writer_.Write(command + "\r");
    SendWithoutCommand(step, {}, std::move(command));
}

// Waits for the final result of what was just sent: a command, or a DLE code
// that the modem answers like one.
void ModemDialogue::SendWithoutCommand(Step step, std::string_view bytes, std::string name) {
    if (!bytes.empty()) {
        writer_.Write(bytes);
    }
    const std::uint32_t timeout = step == Step::Reset ? kResetMilliseconds : kCommandMilliseconds;
    pending_ = Pending{step, std::move(name), clock_.TickCount() + timeout};
    responseLines_.clear();
}

void ModemDialogue::Received(std::string_view bytes) {
    if (phase_ == Phase::Stopped || phase_ == Phase::Failed) {
        return;
    }
    if (inRecordedStream_) {
        ReadRecordedStream(bytes);
        return;
    }
    for (const char byte : bytes) {
        TakeByte(byte);
        if (phase_ == Phase::Failed) {
            return;
        }
    }
}

// Outside the recorded stream the modem sends lines, and in voice mode also
// DLE codes between them (keys, tones, rings).
void ModemDialogue::TakeByte(char byte) {
    if (std::exchange(pendingDle_, false)) {
        TakeEvent(byte);
    } else if (byte == kDle) {
        pendingDle_ = true;
    } else if (byte == '\r' || byte == '\n') {
        TakeLine(std::exchange(line_, {}));
    } else if (line_.size() >= kLongestLine) {
        Fail("sent garbage");
    } else {
        line_.push_back(byte);
    }
}

void ModemDialogue::TakeLine(std::string line) {
    line = Trimmed(line);
    if (line.empty()) {
        return;
    }
    if (pending_) {
        // A modem that echoes despite ATE0 sends the command back first.
        if (SameIgnoringCase(line, pending_->text)) {
            return;
        }
        if (line == "OK" || line == "VCON") {
            Finish(Result::Ok);
        } else if (line == "ERROR" || line == "NO CARRIER") {
            Finish(Result::Error);
        } else if (line.starts_with("CONNECT")) {
            Finish(Result::Connect);
        } else if (responseLines_.size() < kMostResponseLines) {
            responseLines_.push_back(std::move(line));
        }
        return;
    }
    if (phase_ == Phase::Idle) {
        TakeIdleLine(line);
    }
}

void ModemDialogue::TakeIdleLine(std::string_view line) {
    if (line == "RING") {
        Ring();
    } else if (callerId_.TakeLine(line)) {
        listener_.CallerIdHeard(callerId_.Current());
    }
}

void ModemDialogue::Update() {
    if (phase_ == Phase::Stopped || phase_ == Phase::Failed) {
        return;
    }
    const std::uint32_t now = clock_.TickCount();
    if (pending_ && platform::HasReached(now, pending_->deadline)) {
        Finish(Result::TimedOut);
        if (phase_ == Phase::Failed) {
            return;
        }
    }
    if (phase_ == Phase::Idle && ringing_ &&
        platform::HasReached(now, lastRingTick_ + kRingGapMilliseconds)) {
        ringing_ = false;
        callerId_.Clear();
        listener_.RingingStopped();
    }
    UpdateCall();
}

// A command without its result in time means a modem that has gone away or
// hangs; only +VLS=0 has a backstop (ATH).
void ModemDialogue::Finish(Result result) {
    const Pending done = std::move(*pending_);
    pending_.reset();
    const Step step = done.step;
    if (result == Result::TimedOut && step != Step::HangUpLineSelect) {
        Fail("stopped answering (" + done.text + ")");
        return;
    }
    if (step <= Step::CallerIdCid) {
        StartUpStepDone(step, result);
    } else if (step <= Step::ProbeDataClass) {
        ProbeStepDone(step, result);
    } else if (step <= Step::AnswerLineSelect) {
        AnswerStepDone(step, result);
    } else if (step <= Step::EndMedia) {
        MediaStepDone(step, result);
    } else {
        HangUpStepDone(step, result);
    }
}

// A modem that refuses ATE0, ATV1 or ATS0=0 may still work (an echo is
// skipped, and the program never lets the modem answer by itself); one that
// refuses ATZ, or does not answer at all, does not.
void ModemDialogue::StartUpStepDone(Step step, Result result) {
    if (step == Step::Reset && result != Result::Ok) {
        Fail("refused ATZ");
        return;
    }
    switch (step) {
        case Step::Reset:
            Send(Step::EchoOff, "ATE0");
            break;
        case Step::EchoOff:
            Send(Step::Verbose, "ATV1");
            break;
        case Step::Verbose:
            Send(Step::NoAutoAnswer, "ATS0=0");
            break;
        case Step::NoAutoAnswer:
            SendCallerIdCommand(configuredCallerId_, Step::ProbeVoice);
            break;
        default:
            CallerIdStepDone(step, result);
            break;
    }
}

// Sends the caller-ID command, or, without one, goes on with `next`.
void ModemDialogue::SendCallerIdCommand(CallerIdCommand command, Step next) {
    if (command == CallerIdCommand::Automatic || command == CallerIdCommand::Vcid) {
        Send(next == Step::ProbeVoice ? Step::CallerIdVcid : Step::HangUpCallerId, "AT+VCID=1");
    } else if (command == CallerIdCommand::Cid) {
        Send(next == Step::ProbeVoice ? Step::CallerIdCid : Step::HangUpCallerId, "AT#CID=1");
    } else if (next == Step::ProbeVoice) {
        CallerIdStepDone(Step::CallerIdCid, Result::Error);
    } else {
        BecomeIdle();
    }
}

void ModemDialogue::CallerIdStepDone(Step step, Result result) {
    if (result == Result::Ok) {
        callerIdInUse_ = step == Step::CallerIdVcid ? CallerIdCommand::Vcid : CallerIdCommand::Cid;
    } else if (step == Step::CallerIdVcid && configuredCallerId_ == CallerIdCommand::Automatic) {
        Send(Step::CallerIdCid, "AT#CID=1");
        return;
    } else {
        callerIdInUse_ = CallerIdCommand::Off;
    }
    if (kind_ != ModemKind::Unknown) {
        BecomeIdle();
        return;
    }
    Send(Step::ProbeVoice, "AT+FCLASS=8");
}

// The probe runs once: whether the modem can do voice, and in which format.
void ModemDialogue::ProbeStepDone(Step step, Result result) {
    switch (step) {
        case Step::ProbeVoice:
            if (result != Result::Ok) {
                kind_ = ModemKind::DataOnly;
                BecomeIdle();
                return;
            }
            Send(Step::ProbeCompression, "AT+VSM=?");
            break;
        case Step::ProbeCompression: {
            const std::vector<CompressionOffer> offers = ParseCompressionOffers(responseLines_);
            compression_ = result == Result::Ok ? ChooseCompression(offers) : std::nullopt;
            kind_ = compression_ ? ModemKind::Voice : ModemKind::DataOnly;
            if (kind_ == ModemKind::Voice) {
                Send(Step::ProbeLineSelect, "AT+VLS=?");
            } else {
                Send(Step::ProbeDataClass, "AT+FCLASS=0");
            }
            break;
        }
        case Step::ProbeLineSelect:
            Send(Step::ProbeDataClass, "AT+FCLASS=0");
            break;
        default:
            BecomeIdle();
            break;
    }
}

// A call that cannot be answered now (the modem is still busy with the end
// of the last one, or gone) is reported failed, so that it does not wait.
void ModemDialogue::Answer() {
    if (IsInCall()) {
        return;
    }
    if (phase_ != Phase::Idle || pending_ || kind_ != ModemKind::Voice || !compression_) {
        listener_.AnswerFinished(AnswerOutcome::Failed);
        return;
    }
    phase_ = Phase::Answering;
    ringing_ = false;
    hangUpRequested_ = false;
    farEndGone_ = false;
    toneDetector_.Reset();
    lastKey_ = 0;
    Send(Step::AnswerVoice, "AT+FCLASS=8");
}

// Voice mode is entered with +FCLASS=8 and the line taken with +VLS=1; ATA
// would start a data connection instead. +VIT (the inactivity timer) is not
// known to every modem, so its refusal does not matter.
void ModemDialogue::AnswerStepDone(Step step, Result result) {
    const bool failed = result != Result::Ok && step != Step::AnswerInactivity;
    if (failed || hangUpRequested_) {
        listener_.AnswerFinished(AnswerOutcome::Failed);
        StartHangUp();
        return;
    }
    switch (step) {
        case Step::AnswerVoice:
            Send(Step::AnswerCompression, SelectCompressionCommand(*compression_));
            break;
        case Step::AnswerCompression:
            Send(Step::AnswerInactivity, "AT+VIT=0");
            break;
        case Step::AnswerInactivity:
            Send(Step::AnswerLineSelect, "AT+VLS=1");
            break;
        default:
            phase_ = Phase::VoiceCommand;
            listener_.AnswerFinished(AnswerOutcome::Answered);
            break;
    }
}

void ModemDialogue::HangUp() {
    switch (phase_) {
        case Phase::VoiceCommand:
            if (pending_) {
                hangUpRequested_ = true;
            } else {
                StartHangUp();
            }
            break;
        case Phase::Playing:
            hangUpRequested_ = true;
            SendWithoutCommand(Step::EndMedia, DleCode(kCan), "<DLE><CAN>");
            phase_ = Phase::EndingMedia;
            break;
        case Phase::Recording:
            hangUpRequested_ = true;
            SendWithoutCommand(Step::EndMedia, DleCode(kStopRecording), "<DLE>!");
            phase_ = Phase::EndingMedia;
            break;
        case Phase::Answering:
        case Phase::EndingMedia:
            hangUpRequested_ = true;
            break;
        default:
            break;
    }
}

void ModemDialogue::StartHangUp() {
    phase_ = Phase::HangingUp;
    hangUpRequested_ = false;
    inRecordedStream_ = false;
    Send(Step::HangUpLineSelect, "AT+VLS=0");
}

// ATH is the backstop for a modem that does not put the line down with
// +VLS=0. Some modems forget the caller-ID setting on the way back to data
// mode, so it is sent again.
void ModemDialogue::HangUpStepDone(Step step, Result result) {
    switch (step) {
        case Step::HangUpLineSelect:
            if (result == Result::Ok) {
                Send(Step::HangUpDataClass, "AT+FCLASS=0");
            } else {
                Send(Step::HangUpHook, "ATH");
            }
            break;
        case Step::HangUpHook:
            if (result == Result::Ok) {
                Send(Step::HangUpDataClass, "AT+FCLASS=0");
            } else {
                Fail("refused to hang up (ATH)");
            }
            break;
        case Step::HangUpDataClass:
            SendCallerIdCommand(callerIdInUse_, Step::HangUpCallerId);
            break;
        default:
            BecomeIdle();
            break;
    }
}

void ModemDialogue::BecomeIdle() {
    const bool firstTime = phase_ == Phase::Starting;
    phase_ = Phase::Idle;
    ringing_ = false;
    callerId_.Clear();
    if (firstTime) {
        listener_.Ready(kind_);
    }
}

void ModemDialogue::Fail(std::string what) {
    phase_ = Phase::Failed;
    pending_.reset();
    inRecordedStream_ = false;
    listener_.Failed(what);
}

}  // namespace porthold::service::modem
