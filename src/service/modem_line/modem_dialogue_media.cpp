#include <array>
#include <string_view>

#include "service/modem_line/modem_dialogue.h"

namespace porthold::service::modem {
namespace {

constexpr std::uint32_t kSamplesPerMillisecond = 8;
constexpr std::size_t kFrameSamples = 160;  // 20 ms
// The modem gets this much audio ahead of its playing, so that the thread's
// wake-ups may come a little late without a gap in what the caller hears.
constexpr std::uint32_t kLeadMilliseconds = 60;
// A modem that reports one press several times repeats it within this time.
constexpr std::uint32_t kKeyRepeatMilliseconds = 100;

bool IsKey(char code) {
    return std::string_view("0123456789*#ABCD").find(code) != std::string_view::npos;
}

}  // namespace

// Splits the recorded stream. What follows DLE ETX in the same read is no
// longer audio but the modem's lines, and goes back to them.
class ModemDialogue::StreamSink final : public DleReader::Sink {
public:
    explicit StreamSink(ModemDialogue& dialogue) : dialogue_(dialogue) {}

    void Audio(std::span<const std::uint8_t> bytes) override {
        if (dialogue_.inRecordedStream_) {
            dialogue_.TakeRecordedAudio(bytes);
            return;
        }
        for (const std::uint8_t byte : bytes) {
            if (dialogue_.phase_ != Phase::Failed) {
                dialogue_.TakeByte(static_cast<char>(byte));
            }
        }
    }

    void Event(char code) override {
        if (dialogue_.phase_ != Phase::Failed) {
            dialogue_.TakeEvent(code);
        }
    }

private:
    ModemDialogue& dialogue_;
};

void ModemDialogue::ReadRecordedStream(std::string_view bytes) {
    StreamSink sink(*this);
    streamReader_.Read(bytes, sink);
}

// What the program wants of the answered call: playing and recording take
// turns, since the modem's voice channel is half-duplex.
void ModemDialogue::UpdateCall() {
    if (phase_ == Phase::VoiceCommand && !pending_) {
        if (hangUpRequested_) {
            StartHangUp();
        } else if (audio_.HasPlayback()) {
            Send(Step::StartPlayback, "AT+VTX");
        } else if (audio_.WantsRecording()) {
            Send(Step::StartRecording, "AT+VRX");
        } else {
            audio_.TakeInterrupt();  // nothing is playing that could be dropped
        }
    } else if (phase_ == Phase::Playing) {
        if (audio_.TakeInterrupt()) {
            SendWithoutCommand(Step::EndMedia, DleCode(kCan), "<DLE><CAN>");
            phase_ = Phase::EndingMedia;
        } else {
            Pace();
        }
    } else if (phase_ == Phase::Recording && !audio_.WantsRecording()) {
        SendWithoutCommand(Step::EndMedia, DleCode(kStopRecording), "<DLE>!");
        phase_ = Phase::EndingMedia;
    }
}

void ModemDialogue::MediaStepDone(Step step, Result result) {
    if (step == Step::EndMedia) {
        inRecordedStream_ = false;
        phase_ = Phase::VoiceCommand;
        UpdateCall();
        return;
    }
    if (result != Result::Connect) {
        // A modem that will not play or record in an answered call has lost
        // it; the caller is told the call is over.
        phase_ = Phase::VoiceCommand;
        ReportFarEndGone();
        StartHangUp();
        return;
    }
    if (step == Step::StartPlayback) {
        phase_ = Phase::Playing;
        playStartTick_ = clock_.TickCount();
        playedSamples_ = 0;
        Pace();
    } else {
        phase_ = Phase::Recording;
        inRecordedStream_ = true;
        streamReader_.Reset();
    }
}

// Sends 20 ms of audio for every 20 ms of the clock, a little ahead. After a
// stall the schedule starts again from now rather than sending the missed
// time in one burst. When the program has no more, playback ends once the
// modem has played what it has.
void ModemDialogue::Pace() {
    const std::uint32_t now = clock_.TickCount();
    std::uint64_t elapsedSamples = std::uint64_t{now - playStartTick_} * kSamplesPerMillisecond;
    if (playedSamples_ + kLeadMilliseconds * kSamplesPerMillisecond < elapsedSamples) {
        playStartTick_ = now - static_cast<std::uint32_t>(playedSamples_ / kSamplesPerMillisecond);
        elapsedSamples = std::uint64_t{now - playStartTick_} * kSamplesPerMillisecond;
    }
    const std::uint64_t due = elapsedSamples + kLeadMilliseconds * kSamplesPerMillisecond;
    std::array<std::int16_t, kFrameSamples> frame{};
    std::vector<std::uint8_t> encoded;
    std::string shielded;
    while (playedSamples_ < due) {
        const std::size_t count = audio_.TakePlayback(frame);
        if (count == 0) {
            break;
        }
        encoded.clear();
        EncodeSamples(compression_->encoding, std::span(frame.data(), count), encoded);
        AppendShielded(encoded, shielded);
        playedSamples_ += count;
    }
    if (!shielded.empty()) {
        writer_.Write(shielded);
    }
    if (!audio_.HasPlayback() && playedSamples_ <= elapsedSamples) {
        EndPlayback();
    }
}

// The shielded DLE before DLE ETX is one more sample of silence-like noise
// for most modems, but some lose the end without it.
void ModemDialogue::EndPlayback() {
    SendWithoutCommand(Step::EndMedia, std::string{kDle, kDle, kDle, kEtx}, "<DLE><DLE><DLE><ETX>");
    phase_ = Phase::EndingMedia;
}

std::uint32_t ModemDialogue::PacingWait() const {
    const std::uint32_t elapsed = clock_.TickCount() - playStartTick_;
    const std::uint64_t playedMilliseconds = playedSamples_ / kSamplesPerMillisecond;
    const std::uint64_t nextMoment =
        audio_.HasPlayback()
            ? (playedMilliseconds + 20 > kLeadMilliseconds
                   ? playedMilliseconds + 20 - kLeadMilliseconds
                   : 0)
            : (playedSamples_ + kSamplesPerMillisecond - 1) / kSamplesPerMillisecond;
    return nextMoment > elapsed ? static_cast<std::uint32_t>(nextMoment - elapsed) : 0;
}

std::optional<std::uint32_t> ModemDialogue::MillisecondsUntilWork() const {
    if (phase_ == Phase::Stopped || phase_ == Phase::Failed) {
        return std::nullopt;
    }
    std::optional<std::uint32_t> wait;
    const auto consider = [&wait](std::uint32_t candidate) {
        wait = wait ? std::min(*wait, candidate) : candidate;
    };
    const std::uint32_t now = clock_.TickCount();
    const auto until = [now](std::uint32_t moment) {
        const auto left = static_cast<std::int32_t>(moment - now);
        return left > 0 ? static_cast<std::uint32_t>(left) : 0u;
    };
    if (pending_) {
        consider(until(pending_->deadline));
    }
    if (phase_ == Phase::Idle && ringing_) {
        consider(until(lastRingTick_ + kRingGapMilliseconds));
    }
    if (phase_ == Phase::Playing) {
        consider(PacingWait());
    }
    const bool wantsMedia = hangUpRequested_ || audio_.HasPlayback() || audio_.WantsRecording();
    if ((phase_ == Phase::VoiceCommand && !pending_ && wantsMedia) ||
        (phase_ == Phase::Recording && !audio_.WantsRecording())) {
        consider(0);
    }
    return wait;
}

void ModemDialogue::TakeRecordedAudio(std::span<const std::uint8_t> bytes) {
    std::vector<std::int16_t> samples;
    samples.reserve(bytes.size());
    DecodeSamples(compression_->encoding, bytes, samples);
    audio_.Recorded(samples);
    if (toneDetector_.Feed(samples) != LineTone::None) {
        ReportFarEndGone();
    }
}

// The modem's DLE codes, in the stream and between lines alike.
void ModemDialogue::TakeEvent(char code) {
    if (code == kEtx) {
        inRecordedStream_ = false;
        // A modem may end a recording by itself (its own silence limit); its
        // OK follows, and the program's wish decides what comes next.
        if (phase_ == Phase::Recording) {
            SendWithoutCommand(Step::EndMedia, {}, "<DLE><ETX>");
            phase_ = Phase::EndingMedia;
        }
        return;
    }
    if (phase_ == Phase::Idle) {
        if (code == 'R') {
            Ring();
        }
        return;
    }
    if (!IsInCall() || phase_ == Phase::Answering) {
        return;
    }
    if (IsKey(code)) {
        TakeKey(code);
    } else if (code == '~' || code == '/') {
        // The end (or the start) of a press: the next report is a new press.
        lastKey_ = 0;
    } else if (code == 'b' || code == 'd' || code == 'l' || code == 's' || code == 'q') {
        ReportFarEndGone();
    }
}

// Some modems report a held key every few tens of milliseconds; one press is
// one key. A key repeated after its end marker is a new press.
void ModemDialogue::TakeKey(char key) {
    const std::uint32_t now = clock_.TickCount();
    const bool repeat = key == lastKey_ && now - lastKeyTick_ < kKeyRepeatMilliseconds;
    lastKey_ = key;
    lastKeyTick_ = now;
    if (!repeat) {
        listener_.KeyPressed(key);
    }
}

void ModemDialogue::ReportFarEndGone() {
    if (!farEndGone_) {
        farEndGone_ = true;
        listener_.FarEndGone();
    }
}

void ModemDialogue::Ring() {
    ringing_ = true;
    lastRingTick_ = clock_.TickCount();
    listener_.Ringing();
}

}  // namespace porthold::service::modem
