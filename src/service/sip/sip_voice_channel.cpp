#include "service/sip/sip_voice_channel.h"

#include <algorithm>
#include <array>
#include <deque>
#include <random>
#include <utility>

#include "platform/multimedia/pcm_sample.h"

namespace porthold::service::sip {
namespace {

using platform::MMRESULT;
using platform::WAVEHDR;

constexpr std::uint32_t kBytesPerSample = 2;
constexpr std::uint32_t kSamplesPerMillisecond = 8;
// After a jump of the clock longer than this (a stalled thread, or a test's
// long step), the caller's audio of the stretch before is gone: it is recorded
// as silence without running the jitter buffer through every frame of it.
constexpr std::uint32_t kMaxCatchUpFrames = 250;
// The headset's frames of a stretch longer ago than this are skipped, like
// the program's after a stall, rather than sent to the caller in one burst.
constexpr std::uint32_t kMaxHeadsetLagMilliseconds = 200;

}  // namespace

// The open output device. Its buffers go into the channel's pacer as room
// allows; each is done once its last sample has been handed out as a frame
// and that frame's 20 ms have passed, so a play lasts as long as its audio.
class SipVoiceChannel::Output final : public platform::WaveOutputDevice {
public:
    explicit Output(SipVoiceChannel& owner) : owner_(owner) {}

    ~Output() override {
        const std::lock_guard lock(owner_.mutex_);
        ReturnAllLocked();
        owner_.output_ = nullptr;
    }

    MMRESULT Write(WAVEHDR& header) override {
        const std::lock_guard lock(owner_.mutex_);
        queue_.push_back(Queued{&header, 0, std::nullopt});
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        const std::lock_guard lock(owner_.mutex_);
        ReturnAllLocked();
        return platform::MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::lock_guard lock(owner_.mutex_);
        return !queue_.empty();
    }

    // Moves samples of the queued buffers into the pacer while it has room.
    void FeedLocked(SendPacer& pacer) {
        for (Queued& queued : queue_) {
            if (queued.endPosition) {
                continue;
            }
            const std::uint32_t total = queued.header->dwBufferLength / kBytesPerSample;
            while (queued.fedSamples < total) {
                const std::size_t room = SendPacer::kMaxQueuedSamples - pacer.QueuedSamples();
                const std::size_t count =
                    std::min({room, kFrameSamples, std::size_t{total - queued.fedSamples}});
                if (count == 0) {
                    return;
                }
                std::array<std::int16_t, kFrameSamples> chunk{};
                const char* source = queued.header->lpData + queued.fedSamples * kBytesPerSample;
                for (std::size_t index = 0; index < count; ++index) {
                    chunk[index] = platform::ReadPcmSample(source + index * kBytesPerSample);
                }
                pacer.Queue(std::span(chunk.data(), count));
                queued.fedSamples += static_cast<std::uint32_t>(count);
                fedTotal_ += count;
            }
            queued.endPosition = fedTotal_;
        }
    }

    void FrameHandedOutLocked(std::size_t samples, std::uint32_t now) {
        sentTotal_ += samples;
        playingSamples_ = samples;
        playingEndTick_ = now + kFrameMilliseconds;
    }

    void FinishPlayedLocked(std::uint32_t now) {
        const std::uint64_t played =
            sentTotal_ - (platform::HasReached(now, playingEndTick_) ? 0 : playingSamples_);
        while (!queue_.empty() && queue_.front().endPosition &&
               *queue_.front().endPosition <= played) {
            platform::MarkBufferDone(*queue_.front().header);
            queue_.pop_front();
        }
    }

private:
    struct Queued {
        WAVEHDR* header;
        std::uint32_t fedSamples;
        // Position just past the buffer's last sample in the stream of fed
        // samples; known once the whole buffer is in the pacer.
        std::optional<std::uint64_t> endPosition;
    };

    void ReturnAllLocked() {
        for (const Queued& queued : queue_) {
            platform::MarkBufferDone(*queued.header);
        }
        queue_.clear();
        fedTotal_ = 0;
        sentTotal_ = 0;
        playingSamples_ = 0;
        owner_.RestartPacerLocked();
    }

    SipVoiceChannel& owner_;
    std::deque<Queued> queue_;
    std::uint64_t fedTotal_ = 0;
    std::uint64_t sentTotal_ = 0;
    std::size_t playingSamples_ = 0;  // of the last frame, until its end
    std::uint32_t playingEndTick_ = 0;
};

// The open input device: from Start on, the channel's 20 ms frames fill the
// queued buffers in order; a full buffer is done.
class SipVoiceChannel::Input final : public platform::WaveInputDevice {
public:
    explicit Input(SipVoiceChannel& owner) : owner_(owner) {}

    ~Input() override {
        const std::lock_guard lock(owner_.mutex_);
        ReturnAllLocked();
        owner_.input_ = nullptr;
        owner_.SyncRecordingClockLocked(owner_.clock_.TickCount());
    }

    MMRESULT AddBuffer(WAVEHDR& header) override {
        const std::lock_guard lock(owner_.mutex_);
        queue_.push_back(&header);
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Start() override {
        const std::lock_guard lock(owner_.mutex_);
        started_ = true;
        owner_.SyncRecordingClockLocked(owner_.clock_.TickCount());
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Stop() override {
        const std::lock_guard lock(owner_.mutex_);
        started_ = false;
        if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
            platform::MarkBufferDone(*queue_.front());
            queue_.pop_front();
        }
        owner_.SyncRecordingClockLocked(owner_.clock_.TickCount());
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        const std::lock_guard lock(owner_.mutex_);
        started_ = false;
        ReturnAllLocked();
        owner_.SyncRecordingClockLocked(owner_.clock_.TickCount());
        return platform::MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::lock_guard lock(owner_.mutex_);
        return !queue_.empty();
    }

    bool IsRecordingLocked() const { return started_; }
    bool HasRoomLocked() const { return started_ && !queue_.empty(); }

    // Copies one frame into the buffers; what finds no buffer is lost, as on
    // a real device.
    void RecordLocked(const AudioFrame& frame) {
        std::size_t index = 0;
        while (index < frame.size() && !queue_.empty()) {
            WAVEHDR& header = *queue_.front();
            const std::size_t room =
                (header.dwBufferLength - header.dwBytesRecorded) / kBytesPerSample;
            const std::size_t count = std::min(room, frame.size() - index);
            for (std::size_t offset = 0; offset < count; ++offset) {
                platform::WritePcmSample(
                    frame[index + offset],
                    header.lpData + header.dwBytesRecorded + offset * kBytesPerSample);
            }
            header.dwBytesRecorded += static_cast<std::uint32_t>(count * kBytesPerSample);
            index += count;
            if (header.dwBufferLength - header.dwBytesRecorded < kBytesPerSample) {
                platform::MarkBufferDone(header);
                queue_.pop_front();
            }
        }
    }

private:
    void ReturnAllLocked() {
        for (WAVEHDR* header : queue_) {
            platform::MarkBufferDone(*header);
        }
        queue_.clear();
    }

    SipVoiceChannel& owner_;
    std::deque<WAVEHDR*> queue_;
    bool started_ = false;
};

SipVoiceChannel::SipVoiceChannel(platform::Clock& clock, std::uint32_t outputDeviceId,
                                 std::uint32_t inputDeviceId, JitterBufferSettings jitterSettings,
                                 HeadsetSoundCard headset)
    : clock_(clock),
      virtualClock_(dynamic_cast<platform::VirtualClock*>(&clock)),
      outputDeviceId_(outputDeviceId),
      inputDeviceId_(inputDeviceId),
      jitterSettings_(jitterSettings),
      headsetSoundCard_(std::move(headset)) {
    // RTP streams start at random numbers, so that a third party cannot guess
    // them.
    std::random_device random;
    nextSequence_ = static_cast<std::uint16_t>(random());
    nextTimestamp_ = static_cast<std::uint32_t>(random());
    if (virtualClock_ != nullptr) {
        virtualClock_->AddTimeObserver(*this);
    } else {
        follower_ = std::jthread([this](const std::stop_token& stop) { FollowRealClock(stop); });
    }
}

SipVoiceChannel::~SipVoiceChannel() {
    if (virtualClock_ != nullptr) {
        virtualClock_->RemoveTimeObserver(*this);
    }
    follower_.request_stop();
    if (follower_.joinable()) {
        follower_.join();
    }
}

bool SipVoiceChannel::ServesDevice(std::uint32_t deviceId,
                                   platform::WaveDirection direction) const {
    return deviceId ==
           (direction == platform::WaveDirection::Output ? outputDeviceId_ : inputDeviceId_);
}

MMRESULT SipVoiceChannel::QueryFormat(std::uint32_t /*deviceId*/,
                                      platform::WaveDirection /*direction*/,
                                      const platform::WaveFormat& format) {
    // The format alone is judged: the program asks while its own earlier
    // sound may still hold the device, and then waits for the open.
    return platform::IsLineVoiceFormat(format) ? platform::MMSYSERR_NOERROR
                                               : platform::WAVERR_BADFORMAT;
}

MMRESULT SipVoiceChannel::OpenOutput(std::uint32_t /*deviceId*/, const platform::WaveFormat& format,
                                     std::unique_ptr<platform::WaveOutputDevice>& device) {
    if (!platform::IsLineVoiceFormat(format)) {
        return platform::WAVERR_BADFORMAT;
    }
    {
        const std::lock_guard lock(mutex_);
        if (output_ != nullptr) {
            return platform::MMSYSERR_ALLOCATED;
        }
        auto output = std::make_unique<Output>(*this);
        output_ = output.get();
        device = std::move(output);
    }
    workNeeded_.notify_all();
    return platform::MMSYSERR_NOERROR;
}

MMRESULT SipVoiceChannel::OpenInput(std::uint32_t /*deviceId*/, const platform::WaveFormat& format,
                                    std::unique_ptr<platform::WaveInputDevice>& device) {
    if (!platform::IsLineVoiceFormat(format)) {
        return platform::WAVERR_BADFORMAT;
    }
    {
        const std::lock_guard lock(mutex_);
        if (input_ != nullptr) {
            return platform::MMSYSERR_ALLOCATED;
        }
        auto input = std::make_unique<Input>(*this);
        input_ = input.get();
        device = std::move(input);
    }
    workNeeded_.notify_all();
    return platform::MMSYSERR_NOERROR;
}

void SipVoiceChannel::BeginCallAudio(FrameSender& sender) {
    {
        std::unique_lock lock(mutex_);
        // Frames already on their way to an earlier sender reach it first.
        sendsFinished_.wait(lock, [this] { return sendsInFlight_ == 0; });
        sender_ = &sender;
        jitter_.emplace(jitterSettings_);
        SyncRecordingClockLocked(clock_.TickCount());
    }
    workNeeded_.notify_all();
}

void SipVoiceChannel::ReceiveAudio(std::uint16_t sequence, std::uint32_t timestamp,
                                   std::span<const std::int16_t> samples) {
    const std::lock_guard lock(mutex_);
    if (jitter_) {
        jitter_->Insert(sequence, timestamp, samples);
    }
}

void SipVoiceChannel::EndCallAudio() {
    std::shared_ptr<HeadsetBridge> headset;  // closed after the lock is given up
    std::unique_lock lock(mutex_);
    sender_ = nullptr;
    jitter_.reset();
    headset = TakeHeadsetLocked();
    SyncRecordingClockLocked(clock_.TickCount());
    // The sender may go away once this returns, so frames handed out before
    // must have reached it.
    sendsFinished_.wait(lock, [this] { return sendsInFlight_ == 0; });
}

bool SipVoiceChannel::ConnectHeadset() {
    if (!IsSoundCardUsable()) {
        return false;
    }
    {
        const std::lock_guard lock(mutex_);
        if (headsetSoundCard_.soundCard == nullptr || sender_ == nullptr) {
            return false;
        }
        if (!headset_) {
            headset_ = std::make_shared<HeadsetBridge>(headsetSoundCard_);
            microphoneSpurtStarted_ = false;
        }
    }
    workNeeded_.notify_all();
    return true;
}

// A card that another program holds may be free in a moment; one that is
// missing, or cannot take the line's format, will not be.
bool SipVoiceChannel::IsSoundCardUsable() const {
    platform::WaveDeviceProvider* const card = headsetSoundCard_.soundCard;
    if (card == nullptr) {
        return false;
    }
    const platform::WaveFormat format = platform::LineVoiceFormat();
    for (const platform::WaveDirection direction :
         {platform::WaveDirection::Output, platform::WaveDirection::Input}) {
        const platform::MMRESULT result =
            card->QueryFormat(platform::WAVE_MAPPER, direction, format);
        if (result != platform::MMSYSERR_NOERROR && result != platform::MMSYSERR_ALLOCATED) {
            return false;
        }
    }
    return true;
}

void SipVoiceChannel::DisconnectHeadset() {
    std::shared_ptr<HeadsetBridge> headset;  // closed after the lock is given up
    {
        const std::lock_guard lock(mutex_);
        headset = TakeHeadsetLocked();
    }
}

std::shared_ptr<HeadsetBridge> SipVoiceChannel::TakeHeadsetLocked() {
    if (headset_) {
        // What the program plays next goes on in the same RTP stream, as a new
        // talk spurt.
        pacerRestarted_ = true;
    }
    return std::move(headset_);
}

bool SipVoiceChannel::IsPacing() const {
    const std::lock_guard lock(mutex_);
    return IsPacingLocked();
}

bool SipVoiceChannel::IsPacingLocked() const {
    return output_ != nullptr || input_ != nullptr || sender_ != nullptr || headset_ != nullptr;
}

void SipVoiceChannel::OnTimeChanged(std::uint32_t tickCount) {
    Update(tickCount);
}

void SipVoiceChannel::FollowRealClock(const std::stop_token& stop) {
    std::uint32_t nextWake = clock_.TickCount();
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(mutex_);
            if (!IsPacingLocked()) {
                if (!workNeeded_.wait(lock, stop, [this] { return IsPacingLocked(); })) {
                    return;
                }
                nextWake = clock_.TickCount();
            }
        }
        Update(clock_.TickCount());
        // Wakes are kept on a 20 ms grid, so the time Update takes does not
        // make frames drift late.
        nextWake += kFrameMilliseconds;
        const auto wait = static_cast<std::int32_t>(nextWake - clock_.TickCount());
        if (wait > 0) {
            clock_.Sleep(static_cast<std::uint32_t>(wait));
        } else {
            nextWake = clock_.TickCount();
        }
    }
}

void SipVoiceChannel::Update(std::uint32_t tickCount) {
    std::shared_ptr<HeadsetBridge> headset;
    {
        const std::lock_guard lock(mutex_);
        headset = headset_;
    }
    if (headset) {
        // Opening the sound card may take a while, so the channel's lock is
        // not held meanwhile.
        headset->OpenMissingDevices(tickCount);
    }
    std::vector<OutgoingFrame> due;
    FrameSender* sender = nullptr;
    {
        const std::lock_guard lock(mutex_);
        PlayDueFramesLocked(tickCount, due);
        RecordDueFramesLocked(tickCount, due);
        if (due.empty() || sender_ == nullptr) {
            return;
        }
        sender = sender_;
        ++sendsInFlight_;
    }
    for (const OutgoingFrame& frame : due) {
        sender->SendFrame(frame);
    }
    {
        const std::lock_guard lock(mutex_);
        --sendsInFlight_;
    }
    sendsFinished_.notify_all();
}

// Without a call the frames are still taken in their time and dropped, so the
// program's play lasts as long as it would on the line.
void SipVoiceChannel::PlayDueFramesLocked(std::uint32_t now, std::vector<OutgoingFrame>& due) {
    if (output_ == nullptr) {
        return;
    }
    output_->FeedLocked(pacer_);
    for (;;) {
        const std::size_t queuedBefore = pacer_.QueuedSamples();
        std::optional<OutgoingFrame> frame = pacer_.NextDue(now);
        if (!frame) {
            break;
        }
        output_->FrameHandedOutLocked(queuedBefore - pacer_.QueuedSamples(), now);
        // With the headset the user's microphone speaks to the caller; the
        // program's frames are dropped unnumbered.
        if (!headset_) {
            StampFrameLocked(now, *frame);
            if (sender_ != nullptr) {
                due.push_back(*frame);
            }
        }
        output_->FeedLocked(pacer_);
    }
    output_->FinishPlayedLocked(now);
}

// A restarted pacer numbers from zero again; the far end must see one stream,
// so the sequence goes on by one and the timestamp by the time that passed.
void SipVoiceChannel::StampFrameLocked(std::uint32_t now, OutgoingFrame& frame) {
    if (pacerRestarted_) {
        const std::uint32_t timestamp = TimestampAfterPauseLocked(now);
        sequenceShift_ = static_cast<std::uint16_t>(nextSequence_ - frame.sequence);
        timestampShift_ = timestamp - frame.timestamp;
        frame.marker = RtpMarker::Set;
        pacerRestarted_ = false;
    }
    frame.sequence = static_cast<std::uint16_t>(frame.sequence + sequenceShift_);
    frame.timestamp += timestampShift_;
    NoteFrameStampedLocked(now, frame);
}

// The microphone's frames follow the recording clock, one every 20 ms, in the
// same stream as the program's; the first after connecting starts a spurt.
void SipVoiceChannel::StampMicrophoneFrameLocked(std::uint32_t tick, OutgoingFrame& frame) {
    frame.sequence = nextSequence_;
    frame.timestamp = TimestampAfterPauseLocked(tick);
    frame.marker = microphoneSpurtStarted_ ? RtpMarker::Clear : RtpMarker::Set;
    microphoneSpurtStarted_ = true;
    NoteFrameStampedLocked(tick, frame);
}

std::uint32_t SipVoiceChannel::TimestampAfterPauseLocked(std::uint32_t now) const {
    std::uint32_t timestamp = nextTimestamp_;
    const auto pause = static_cast<std::int32_t>(now - lastFrameEndTick_);
    if (sentBefore_ && pause > 0) {
        timestamp += static_cast<std::uint32_t>(pause) * kSamplesPerMillisecond;
    }
    return timestamp;
}

void SipVoiceChannel::NoteFrameStampedLocked(std::uint32_t now, const OutgoingFrame& frame) {
    nextSequence_ = static_cast<std::uint16_t>(frame.sequence + 1);
    nextTimestamp_ = frame.timestamp + static_cast<std::uint32_t>(kFrameSamples);
    lastFrameEndTick_ = now + kFrameMilliseconds;
    sentBefore_ = true;
}

void SipVoiceChannel::RestartPacerLocked() {
    pacer_ = SendPacer(0, 0);
    pacerRestarted_ = true;
}

void SipVoiceChannel::SyncRecordingClockLocked(std::uint32_t now) {
    const bool shouldRun = sender_ != nullptr || (input_ != nullptr && input_->IsRecordingLocked());
    if (shouldRun && !recordingClockRunning_) {
        nextRecordingTick_ = now + kFrameMilliseconds;
    }
    recordingClockRunning_ = shouldRun;
}

// The jitter buffer is played every 20 ms while a call's audio is on, also
// when the program does not record, so that recording starts with what the
// caller says now rather than with audio held from before. The headset hears
// every frame too, whether or not the program records.
void SipVoiceChannel::RecordDueFramesLocked(std::uint32_t now, std::vector<OutgoingFrame>& due) {
    if (!recordingClockRunning_ || !platform::HasReached(now, nextRecordingTick_)) {
        return;
    }
    const std::uint32_t behind = (now - nextRecordingTick_) / kFrameMilliseconds + 1;
    if (behind > kMaxCatchUpFrames) {
        const std::uint32_t skipped = behind - kMaxCatchUpFrames;
        const AudioFrame silence{};
        for (std::uint32_t frame = 0;
             frame < skipped && input_ != nullptr && input_->HasRoomLocked(); ++frame) {
            input_->RecordLocked(silence);
        }
        nextRecordingTick_ += skipped * kFrameMilliseconds;
        if (jitter_) {
            jitter_.emplace(jitterSettings_);
        }
    }
    while (platform::HasReached(now, nextRecordingTick_)) {
        const AudioFrame frame = jitter_ ? jitter_->NextFrame() : AudioFrame{};
        if (input_ != nullptr && input_->IsRecordingLocked()) {
            input_->RecordLocked(frame);
        }
        if (headset_ && now - nextRecordingTick_ < kMaxHeadsetLagMilliseconds) {
            OutgoingFrame spoken;
            spoken.samples = headset_->Exchange(frame);
            StampMicrophoneFrameLocked(nextRecordingTick_, spoken);
            due.push_back(spoken);
        }
        nextRecordingTick_ += kFrameMilliseconds;
    }
}

}  // namespace porthold::service::sip
