// The modem's voice streams: audio from the computer during AT+VTX, audio to
// it during AT+VRX, and the reports that wait for their time.

#include <utility>

#include "modem_emulator.h"
#include "service/modem/voice_compression.h"

namespace porthold::modem_emulator {

using service::modem::kDle;

void ModemEmulator::ReceiveStreamBytes(std::string_view bytes) {
    std::vector<std::uint8_t> audio;
    audio.reserve(bytes.size());
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        const char byte = bytes[index];
        if (!std::exchange(streamPendingDle_, false)) {
            if (byte == kDle) {
                streamPendingDle_ = true;
            } else {
                audio.push_back(static_cast<std::uint8_t>(byte));
            }
            continue;
        }
        if (byte == kDle) {
            audio.push_back(static_cast<std::uint8_t>(kDle));
            continue;
        }
        FlushStreamAudio(audio);
        RunStreamCode(byte);
        // What follows the end of a stream is commands again.
        if (mode_ == Mode::Command) {
            ReceiveCommandBytes(bytes.substr(index + 1));
            return;
        }
    }
    FlushStreamAudio(audio);
}

void ModemEmulator::FlushStreamAudio(std::vector<std::uint8_t>& audio) {
    // While recording, the computer has nothing to say but its stop code.
    if (mode_ == Mode::Playing && !audio.empty()) {
        playback_.Add(audio, clock_.TickCount());
        lastAudioWasDle_ = audio.back() == static_cast<std::uint8_t>(kDle);
    }
    audio.clear();
}

void ModemEmulator::RunStreamCode(char code) {
    const bool followsShieldedDle = std::exchange(lastAudioWasDle_, false);
    if (mode_ == Mode::Recording) {
        if (code == service::modem::kStopRecording) {
            std::vector<std::int16_t> rest;
            const std::uint64_t first = recording_.SamplesHandedOn();
            recording_.Close(rest);
            SendRecorded(std::move(rest), first);
            SendEvent(service::modem::kEtx);
            mode_ = Mode::Command;
            SendResult(Result::Ok);
        }
        return;
    }
    if (code == service::modem::kCan) {
        playback_.Close();
        mode_ = Mode::Command;
        SendResult(Result::Ok);
    } else if (code == service::modem::kEtx && !playback_.IsEnding()) {
        if (quirks_.end == EndOfPlayback::NeedsExtraDle) {
            if (!followsShieldedDle) {
                return;
            }
            playback_.DropLastSample();
        }
        playback_.End();
        UpdateLocked(clock_.TickCount());
    }
}

void ModemEmulator::UpdateLocked(std::uint32_t now) {
    if (IsSilent()) {
        return;
    }
    while (!scheduled_.empty() && static_cast<std::int32_t>(now - scheduled_.front().tick) >= 0) {
        SendEvent(scheduled_.front().code);
        scheduled_.pop_front();
    }
    if (mode_ == Mode::Playing) {
        const Listener listener = connectedCall_ != 0 ? Listener::Present : Listener::Absent;
        switch (playback_.Advance(now, listener)) {
            case VoicePlayback::Step::Playing:
                break;
            case VoicePlayback::Step::Underrun:
                // The caller hears a gap: worth a line for whoever tries a
                // modem line with the emulator.
                log_ << "porthold-modem: the computer's audio ran out during playback\n";
                SendEvent(service::modem::kUnderrun);
                break;
            case VoicePlayback::Step::Finished:
                playback_.Close();
                mode_ = Mode::Command;
                SendResult(Result::Ok);
                break;
        }
    } else if (mode_ == Mode::Recording) {
        std::vector<std::int16_t> samples;
        const std::uint64_t first = recording_.SamplesHandedOn();
        recording_.Collect(samples);
        SendRecorded(std::move(samples), first);
    }
}

void ModemEmulator::SendRecorded(std::vector<std::int16_t> samples, std::uint64_t firstSample) {
    if (samples.empty()) {
        return;
    }
    if (farEndGoneAt_) {
        // Samples are counted from the start of recording; the tone from the
        // hang-up.
        const auto sinceStart = static_cast<std::int32_t>(recording_.StartTick() - *farEndGoneAt_);
        const std::int64_t offset =
            std::int64_t{sinceStart} * 8 + static_cast<std::int64_t>(firstSample);
        AddBusyTone(samples, offset);
    }
    std::vector<std::uint8_t> bytes;
    service::modem::EncodeSamples(compression_->encoding, samples, bytes);
    std::string shielded;
    service::modem::AppendShielded(bytes, shielded);
    computer_.Send(shielded);
}

}  // namespace porthold::modem_emulator
