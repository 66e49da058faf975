#include "service/sip/headset_bridge.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/multimedia/wave_error_text.h"
#include "platform/multimedia/wave_format.h"

namespace porthold::service::sip {
namespace {

using platform::MMRESULT;
using platform::WAVEHDR;

constexpr std::uint32_t kFrameBytes = kFrameSamples * 2;
constexpr std::uint32_t kQueuedFlags = platform::WHDR_PREPARED | platform::WHDR_INQUEUE;

bool HasFlag(const WAVEHDR& header, std::uint32_t flag) {
    return (header.dwFlags.load() & flag) != 0;
}

}  // namespace

HeadsetBridge::HeadsetBridge(const HeadsetSoundCard& soundCard)
    : soundCard_(*soundCard.soundCard),
      problems_(soundCard.problems),
      lineName_(soundCard.lineName) {
    for (Buffer& buffer : speakerBuffers_) {
        buffer.header.lpData = buffer.bytes.data();
        buffer.header.dwBufferLength = kFrameBytes;
    }
    for (Buffer& buffer : microphoneBuffers_) {
        buffer.header.lpData = buffer.bytes.data();
        buffer.header.dwBufferLength = kFrameBytes;
    }
}

// A device is never closed while it holds buffers: the reset hands them all
// back first.
HeadsetBridge::~HeadsetBridge() {
    const std::lock_guard lock(mutex_);
    if (speaker_) {
        speaker_->Reset();
        speaker_.reset();
    }
    if (microphone_) {
        microphone_->Reset();
        microphone_.reset();
    }
}

// The sound card is opened outside the lock, since ALSA may take a while to
// reach a sound server; only the pacing thread opens, so `opening_` merely
// keeps a second caller from opening twice.
void HeadsetBridge::OpenMissingDevices(std::uint32_t now) {
    bool needSpeaker = false;
    bool needMicrophone = false;
    {
        const std::lock_guard lock(mutex_);
        needSpeaker = !speaker_;
        needMicrophone = !microphone_;
        if ((!needSpeaker && !needMicrophone) || opening_ ||
            (attempted_ && !platform::HasReached(now, lastAttemptTick_ + kRetryMilliseconds))) {
            return;
        }
        opening_ = true;
        attempted_ = true;
        lastAttemptTick_ = now;
    }
    const platform::WaveFormat format = platform::LineVoiceFormat();
    std::unique_ptr<platform::WaveOutputDevice> speaker;
    std::unique_ptr<platform::WaveInputDevice> microphone;
    MMRESULT failure = platform::MMSYSERR_NOERROR;
    if (needSpeaker) {
        failure = soundCard_.OpenOutput(platform::WAVE_MAPPER, format, speaker);
    }
    if (needMicrophone) {
        const MMRESULT result = soundCard_.OpenInput(platform::WAVE_MAPPER, format, microphone);
        failure = failure != platform::MMSYSERR_NOERROR ? failure : result;
    }
    const std::lock_guard lock(mutex_);
    opening_ = false;
    InstallLocked(std::move(speaker), std::move(microphone));
    if (failure != platform::MMSYSERR_NOERROR) {
        ReportLocked(failure);
    } else if (speaker_ && microphone_) {
        failureReported_ = false;
    }
}

void HeadsetBridge::InstallLocked(std::unique_ptr<platform::WaveOutputDevice> speaker,
                                  std::unique_ptr<platform::WaveInputDevice> microphone) {
    if (speaker) {
        speaker_ = std::move(speaker);
        nextSpeakerBuffer_ = 0;
        // A little silence ahead of the caller's audio, so that a frame that
        // comes a few milliseconds late does not find the speaker run dry.
        for (std::size_t frame = 0; frame < kSpeakerCushionFrames; ++frame) {
            QueueForSpeakerLocked(AudioFrame{});
        }
    }
    if (microphone) {
        microphone_ = std::move(microphone);
        nextMicrophoneBuffer_ = 0;
        for (Buffer& buffer : microphoneBuffers_) {
            GiveToMicrophoneLocked(buffer);
        }
        microphone_->Start();
    }
}

// One line per spell of trouble, not one per retry, so that a card held for
// the length of a call does not fill the log.
void HeadsetBridge::ReportLocked(MMRESULT failure) {
    if (failureReported_ || problems_ == nullptr) {
        return;
    }
    failureReported_ = true;
    *problems_ << ("porthold line service: line " + lineName_ +
                   ": the headset cannot open the sound card: " + platform::WaveErrorText(failure) +
                   " It tries again every half second while the call lasts.\n")
               << std::flush;
}

AudioFrame HeadsetBridge::Exchange(const AudioFrame& toSpeaker) {
    const std::lock_guard lock(mutex_);
    if (speaker_) {
        QueueForSpeakerLocked(toSpeaker);
    }
    return microphone_ ? TakeFromMicrophoneLocked() : AudioFrame{};
}

// Buffers are written and played in ring order, so the next one in the ring
// is the oldest still queued: while it is, the speaker runs behind and the
// frame is dropped rather than let the delay grow.
void HeadsetBridge::QueueForSpeakerLocked(const AudioFrame& frame) {
    Buffer& buffer = speakerBuffers_[nextSpeakerBuffer_];
    if (HasFlag(buffer.header, platform::WHDR_INQUEUE)) {
        return;
    }
    for (std::size_t index = 0; index < frame.size(); ++index) {
        const auto value = static_cast<std::uint16_t>(frame[index]);
        buffer.bytes[index * 2] = static_cast<char>(value & 0xFFu);
        buffer.bytes[index * 2 + 1] = static_cast<char>(value >> 8);
    }
    buffer.header.dwFlags = kQueuedFlags;
    if (speaker_->Write(buffer.header) != platform::MMSYSERR_NOERROR) {
        buffer.header.dwFlags = platform::WHDR_PREPARED;
        return;
    }
    nextSpeakerBuffer_ = (nextSpeakerBuffer_ + 1) % speakerBuffers_.size();
}

AudioFrame HeadsetBridge::TakeFromMicrophoneLocked() {
    AudioFrame frame{};
    Buffer& buffer = microphoneBuffers_[nextMicrophoneBuffer_];
    if (!HasFlag(buffer.header, platform::WHDR_DONE)) {
        return frame;
    }
    const std::size_t count =
        std::min<std::size_t>(buffer.header.dwBytesRecorded / 2, frame.size());
    for (std::size_t index = 0; index < count; ++index) {
        const auto low = static_cast<unsigned char>(buffer.bytes[index * 2]);
        const auto high = static_cast<unsigned char>(buffer.bytes[index * 2 + 1]);
        frame[index] = static_cast<std::int16_t>(low | (high << 8));
    }
    GiveToMicrophoneLocked(buffer);
    nextMicrophoneBuffer_ = (nextMicrophoneBuffer_ + 1) % microphoneBuffers_.size();
    return frame;
}

// A buffer the device refuses is left done and empty, so that the ring takes
// it as silence and offers it again on its next turn.
void HeadsetBridge::GiveToMicrophoneLocked(Buffer& buffer) {
    buffer.header.dwBytesRecorded = 0;
    buffer.header.dwFlags = kQueuedFlags;
    if (microphone_->AddBuffer(buffer.header) != platform::MMSYSERR_NOERROR) {
        buffer.header.dwFlags = platform::WHDR_PREPARED | platform::WHDR_DONE;
    }
}

}  // namespace porthold::service::sip
