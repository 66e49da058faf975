#include "platform/multimedia/simulated_wave_streams.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>

namespace porthold::platform {
namespace {

// Writes mono samples into a buffer of the device's format.
void EncodeSamples(const std::vector<std::int16_t>& samples, const WaveFormat& format,
                   char* target) {
    auto* out = reinterpret_cast<unsigned char*>(target);
    for (const std::int16_t sample : samples) {
        for (unsigned channel = 0; channel < format.channels; ++channel) {
            const auto value = static_cast<std::uint16_t>(sample);
            if (format.bitsPerSample == 8) {
                *out++ = static_cast<unsigned char>((value >> 8) ^ 0x80u);
            } else {
                *out++ = static_cast<unsigned char>(value & 0xFFu);
                *out++ = static_cast<unsigned char>(value >> 8);
            }
        }
    }
}

}  // namespace

std::vector<std::int16_t> PlayedSound::Samples() const {
    std::vector<std::int16_t> samples;
    if (format.bitsPerSample == 8) {
        samples.reserve(bytes.size());
        for (const std::uint8_t byte : bytes) {
            samples.push_back(static_cast<std::int16_t>((byte ^ 0x80u) << 8));
        }
        return samples;
    }
    samples.reserve(bytes.size() / 2);
    for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) {
        samples.push_back(static_cast<std::int16_t>(bytes[index] | (bytes[index + 1] << 8)));
    }
    return samples;
}

// An open simulated output: buffers play back to back from the time they are
// written (or from the end of the one before).
class SimulatedWaveStreams::Output final : public WaveOutputDevice {
public:
    Output(SimulatedWaveStreams& owner, std::uint32_t deviceId, const WaveFormat& format)
        : owner_(owner), deviceId_(deviceId), format_(format) {}

    ~Output() override {
        const std::lock_guard lock(owner_.mutex_);
        CutShortLocked(owner_.clock_.TickCount());
        std::erase(owner_.outputs_, this);
    }

    MMRESULT Write(WAVEHDR& header) override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        const std::uint32_t start = queue_.empty() ? now : queue_.back().endTick;
        const std::uint32_t end = start + PlayingMilliseconds(format_, header.dwBufferLength);
        PlayedSound sound;
        sound.deviceId = deviceId_;
        sound.format = format_;
        sound.startTick = start;
        sound.endTick = end;
        sound.bytes.assign(header.lpData, header.lpData + header.dwBufferLength);
        owner_.timeline_.push_back(std::move(sound));
        const std::uint64_t sequence = owner_.timelineBase_ + owner_.timeline_.size() - 1;
        queue_.push_back(Queued{&header, start, end, sequence});
        UpdateLocked(now);
        owner_.work_.notify_one();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        CutShortLocked(now);
        return MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        return !queue_.empty();
    }

    // Whether the clock moving on could finish one of its buffers.
    bool IsBusyLocked() const { return !queue_.empty(); }

    void UpdateLocked(std::uint32_t now) {
        while (!queue_.empty() && HasReached(now, queue_.front().endTick)) {
            if (PlayedSound* sound = owner_.TimelineEntry(queue_.front().sequence)) {
                sound->state = PlaybackState::Finished;
            }
            MarkBufferDone(*queue_.front().header);
            queue_.pop_front();
        }
    }

private:
    struct Queued {
        WAVEHDR* header;
        std::uint32_t startTick;
        std::uint32_t endTick;
        std::uint64_t sequence;
    };

    void CutShortLocked(std::uint32_t now) {
        for (const Queued& queued : queue_) {
            if (PlayedSound* sound = owner_.TimelineEntry(queued.sequence)) {
                if (!HasReached(now, sound->startTick)) {
                    sound->startTick = now;
                }
                sound->endTick = now;
                sound->state = PlaybackState::CutShort;
            }
            MarkBufferDone(*queued.header);
        }
        queue_.clear();
    }

    SimulatedWaveStreams& owner_;
    std::uint32_t deviceId_;
    WaveFormat format_;
    std::deque<Queued> queue_;
};

// An open simulated input: from Start on, the scripted audio fills the queued
// buffers in order at the format's sample rate; a buffer is done when full.
// With no buffer queued the sound of that time is lost, as on a real device.
class SimulatedWaveStreams::Input final : public WaveInputDevice {
public:
    Input(SimulatedWaveStreams& owner, const WaveFormat& format) : owner_(owner), format_(format) {}

    ~Input() override {
        const std::lock_guard lock(owner_.mutex_);
        ReturnAllLocked();
        std::erase(owner_.inputs_, this);
    }

    MMRESULT AddBuffer(WAVEHDR& header) override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        queue_.push_back(&header);
        owner_.work_.notify_one();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start() override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        if (!started_) {
            started_ = true;
            segmentStartTick_ = now;
            segmentFrames_ = 0;
        }
        owner_.work_.notify_one();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Stop() override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        started_ = false;
        if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
            MarkBufferDone(*queue_.front());
            queue_.pop_front();
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        started_ = false;
        ReturnAllLocked();
        return MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::uint32_t now = owner_.clock_.TickCount();
        const std::lock_guard lock(owner_.mutex_);
        owner_.UpdateLocked(now);
        return !queue_.empty();
    }

    // Whether the clock moving on could fill one of its buffers; sound that
    // comes while none is queued is lost at the next update all the same.
    bool IsBusyLocked() const { return started_ && !queue_.empty(); }

    void UpdateLocked(std::uint32_t now) {
        if (!started_ || format_.blockAlign == 0) {
            return;
        }
        const std::uint64_t elapsed = static_cast<std::uint32_t>(now - segmentStartTick_);
        const std::uint64_t available = elapsed * format_.samplesPerSecond / 1000u;
        while (segmentFrames_ < available && !queue_.empty()) {
            WAVEHDR& header = *queue_.front();
            const std::uint32_t room =
                (header.dwBufferLength - header.dwBytesRecorded) / format_.blockAlign;
            const auto frames = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(room, available - segmentFrames_));
            if (frames > 0) {
                EncodeSamples(owner_.script_.Render(segmentStartTick_, segmentFrames_, frames,
                                                    format_.samplesPerSecond),
                              format_, header.lpData + header.dwBytesRecorded);
                header.dwBytesRecorded += frames * format_.blockAlign;
                segmentFrames_ += frames;
            }
            if (header.dwBufferLength - header.dwBytesRecorded < format_.blockAlign) {
                MarkBufferDone(header);
                queue_.pop_front();
            }
        }
        if (queue_.empty()) {
            segmentFrames_ = std::max(segmentFrames_, available);
        }
    }

private:
    void ReturnAllLocked() {
        for (WAVEHDR* header : queue_) {
            MarkBufferDone(*header);
        }
        queue_.clear();
    }

    SimulatedWaveStreams& owner_;
    WaveFormat format_;
    std::deque<WAVEHDR*> queue_;
    bool started_ = false;
    std::uint32_t segmentStartTick_ = 0;
    // Frames of the current recording stretch already taken (or lost).
    std::uint64_t segmentFrames_ = 0;
};

SimulatedWaveStreams::SimulatedWaveStreams(Clock& clock)
    : clock_(clock),
      virtualClock_(dynamic_cast<VirtualClock*>(&clock)),
      script_(clock.TickCount()) {
    if (virtualClock_ != nullptr) {
        virtualClock_->AddTimeObserver(*this);
    } else {
        follower_ = std::jthread([this](const std::stop_token& stop) { Follow(stop); });
    }
}

SimulatedWaveStreams::~SimulatedWaveStreams() {
    if (virtualClock_ != nullptr) {
        virtualClock_->RemoveTimeObserver(*this);
    }
    follower_.request_stop();
    if (follower_.joinable()) {
        follower_.join();
    }
}

void SimulatedWaveStreams::Follow(const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        {
            // With no buffer queued the clock can finish nothing, so the
            // thread sleeps until a device is given work: an idle program
            // costs no wake-ups here.
            std::unique_lock lock(mutex_);
            if (!work_.wait(lock, stop, [this] { return HasWorkLocked(); })) {
                return;
            }
        }
        clock_.Sleep(5);
        Update(clock_.TickCount());
    }
}

bool SimulatedWaveStreams::HasWorkLocked() const {
    return std::any_of(outputs_.begin(), outputs_.end(),
                       [](const Output* output) { return output->IsBusyLocked(); }) ||
           std::any_of(inputs_.begin(), inputs_.end(),
                       [](const Input* input) { return input->IsBusyLocked(); });
}

void SimulatedWaveStreams::OnTimeChanged(std::uint32_t tickCount) {
    Update(tickCount);
}

void SimulatedWaveStreams::Update(std::uint32_t tickCount) {
    const std::lock_guard lock(mutex_);
    UpdateLocked(tickCount);
}

void SimulatedWaveStreams::UpdateLocked(std::uint32_t tickCount) {
    // The script's time is read under the lock, so its readings come in order
    // even when the devices' callers read the clock on several threads.
    script_.MoveTo(clock_.TickCount());
    for (Output* output : outputs_) {
        output->UpdateLocked(tickCount);
    }
    for (Input* input : inputs_) {
        input->UpdateLocked(tickCount);
    }
}

std::unique_ptr<WaveOutputDevice> SimulatedWaveStreams::OpenOutput(std::uint32_t deviceId,
                                                                   const WaveFormat& format) {
    auto output = std::make_unique<Output>(*this, deviceId, format);
    const std::lock_guard lock(mutex_);
    outputs_.push_back(output.get());
    return output;
}

std::unique_ptr<WaveInputDevice> SimulatedWaveStreams::OpenInput(std::uint32_t /*deviceId*/,
                                                                 const WaveFormat& format) {
    auto input = std::make_unique<Input>(*this, format);
    const std::lock_guard lock(mutex_);
    inputs_.push_back(input.get());
    return input;
}

std::size_t SimulatedWaveStreams::OpenOutputCount() const {
    const std::lock_guard lock(mutex_);
    return outputs_.size();
}

std::size_t SimulatedWaveStreams::OpenInputCount() const {
    const std::lock_guard lock(mutex_);
    return inputs_.size();
}

std::vector<PlayedSound> SimulatedWaveStreams::Timeline() const {
    const std::lock_guard lock(mutex_);
    return timeline_;
}

std::vector<PlayedSound> SimulatedWaveStreams::TakeTimeline() {
    const std::lock_guard lock(mutex_);
    std::vector<PlayedSound> taken = std::move(timeline_);
    timeline_.clear();
    timelineBase_ += taken.size();
    return taken;
}

PlayedSound* SimulatedWaveStreams::TimelineEntry(std::uint64_t sequence) {
    if (sequence < timelineBase_ || sequence - timelineBase_ >= timeline_.size()) {
        return nullptr;
    }
    return &timeline_[static_cast<std::size_t>(sequence - timelineBase_)];
}

void SimulatedWaveStreams::Speak(std::uint32_t startTick, std::vector<std::int16_t> samples) {
    const std::lock_guard lock(mutex_);
    script_.MoveTo(clock_.TickCount());
    script_.Speak(startTick, std::move(samples));
}

void SimulatedWaveStreams::SetNoiseAmplitude(std::int16_t amplitude) {
    const std::lock_guard lock(mutex_);
    script_.SetNoiseAmplitude(amplitude);
}

void SimulatedWaveStreams::ClearSpeech() {
    const std::lock_guard lock(mutex_);
    script_.Clear();
}

}  // namespace porthold::platform
