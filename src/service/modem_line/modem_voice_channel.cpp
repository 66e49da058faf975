#include "service/modem_line/modem_voice_channel.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/multimedia/pcm_sample.h"

namespace porthold::service::modem {
namespace {

using platform::MMRESULT;
using platform::WAVEHDR;

constexpr std::uint32_t kBytesPerSample = 2;
constexpr std::uint32_t kSamplesPerMillisecond = 8;
// After a long stall, silence for more than this is not made up.
constexpr std::uint32_t kLongestSilenceMilliseconds = 1000;

}  // namespace

class ModemVoiceChannel::Output final : public platform::WaveOutputDevice {
public:
    explicit Output(ModemVoiceChannel& owner) : owner_(owner) {}

    ~Output() override {
        const std::lock_guard lock(owner_.mutex_);
        ReturnAllLocked();
        owner_.output_ = nullptr;
    }

    MMRESULT Write(WAVEHDR& header) override {
        {
            const std::lock_guard lock(owner_.mutex_);
            if (owner_.callAudio_ == CallAudioState::Off) {
                platform::MarkBufferDone(header);
                return platform::MMSYSERR_NOERROR;
            }
            if (queue_.size() >= kMostQueuedBuffers) {
                return platform::MMSYSERR_NOMEM;
            }
            queue_.push_back(&header);
        }
        owner_.wake_();
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        {
            const std::lock_guard lock(owner_.mutex_);
            if (!queue_.empty() || takenSamples_ > 0) {
                owner_.interrupted_ = true;
            }
            ReturnAllLocked();
        }
        owner_.wake_();
        return platform::MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::lock_guard lock(owner_.mutex_);
        return !queue_.empty();
    }

    bool HasSamplesLocked() const { return !queue_.empty(); }

    std::size_t TakeLocked(std::span<std::int16_t> samples) {
        std::size_t taken = 0;
        while (taken < samples.size() && !queue_.empty()) {
            WAVEHDR& header = *queue_.front();
            const std::uint32_t total = header.dwBufferLength / kBytesPerSample;
            const std::size_t count =
                std::min<std::size_t>(samples.size() - taken, total - takenSamples_);
            for (std::size_t index = 0; index < count; ++index) {
                samples[taken + index] = platform::ReadPcmSample(
                    header.lpData + (takenSamples_ + index) * kBytesPerSample);
            }
            taken += count;
            takenSamples_ += static_cast<std::uint32_t>(count);
            if (takenSamples_ >= total) {
                takenSamples_ = 0;
                queue_.pop_front();
                platform::MarkBufferDone(header);
            }
        }
        return taken;
    }

    void ReturnAllLocked() {
        for (WAVEHDR* header : queue_) {
            platform::MarkBufferDone(*header);
        }
        queue_.clear();
        takenSamples_ = 0;
    }

private:
    ModemVoiceChannel& owner_;
    std::deque<WAVEHDR*> queue_;
    std::uint32_t takenSamples_ = 0;  // of the front buffer
};

class ModemVoiceChannel::Input final : public platform::WaveInputDevice {
public:
    explicit Input(ModemVoiceChannel& owner) : owner_(owner) {}

    ~Input() override {
        const std::lock_guard lock(owner_.mutex_);
        ReturnAllLocked();
        owner_.input_ = nullptr;
    }

    MMRESULT AddBuffer(WAVEHDR& header) override {
        const std::lock_guard lock(owner_.mutex_);
        if (queue_.size() >= kMostQueuedBuffers) {
            return platform::MMSYSERR_NOMEM;
        }
        queue_.push_back(&header);
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Start() override {
        {
            const std::lock_guard lock(owner_.mutex_);
            started_ = true;
            owner_.silenceTick_ = owner_.clock_.TickCount();
        }
        owner_.wake_();
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Stop() override {
        {
            const std::lock_guard lock(owner_.mutex_);
            started_ = false;
            if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
                platform::MarkBufferDone(*queue_.front());
                queue_.pop_front();
            }
        }
        owner_.wake_();
        return platform::MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        {
            const std::lock_guard lock(owner_.mutex_);
            started_ = false;
            ReturnAllLocked();
        }
        owner_.wake_();
        return platform::MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::lock_guard lock(owner_.mutex_);
        return !queue_.empty();
    }

    bool IsStartedLocked() const { return started_; }

    // What finds no buffer is lost, as on a real device.
    void RecordLocked(std::span<const std::int16_t> samples) {
        std::size_t index = 0;
        while (started_ && index < samples.size() && !queue_.empty()) {
            WAVEHDR& header = *queue_.front();
            const std::size_t room =
                (header.dwBufferLength - header.dwBytesRecorded) / kBytesPerSample;
            const std::size_t count = std::min(room, samples.size() - index);
            for (std::size_t offset = 0; offset < count; ++offset) {
                platform::WritePcmSample(
                    samples[index + offset],
                    header.lpData + header.dwBytesRecorded + offset * kBytesPerSample);
            }
            header.dwBytesRecorded += static_cast<std::uint32_t>(count * kBytesPerSample);
            index += count;
            if (header.dwBufferLength - header.dwBytesRecorded < kBytesPerSample) {
                queue_.pop_front();
                platform::MarkBufferDone(header);
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

    ModemVoiceChannel& owner_;
    std::deque<WAVEHDR*> queue_;
    bool started_ = false;
};

ModemVoiceChannel::ModemVoiceChannel(platform::Clock& clock, std::uint32_t outputDeviceId,
                                     std::uint32_t inputDeviceId, std::function<void()> wake)
    : clock_(clock),
      outputDeviceId_(outputDeviceId),
      inputDeviceId_(inputDeviceId),
      wake_(std::move(wake)) {}

ModemVoiceChannel::~ModemVoiceChannel() = default;

bool ModemVoiceChannel::ServesDevice(std::uint32_t deviceId,
                                     platform::WaveDirection direction) const {
    return deviceId ==
           (direction == platform::WaveDirection::Output ? outputDeviceId_ : inputDeviceId_);
}

MMRESULT ModemVoiceChannel::QueryFormat(std::uint32_t /*deviceId*/,
                                        platform::WaveDirection /*direction*/,
                                        const platform::WaveFormat& format) {
    // The format alone is judged: the program asks while its own earlier
    // sound may still hold the channel, and then waits for the open.
    return platform::IsLineVoiceFormat(format) ? platform::MMSYSERR_NOERROR
                                               : platform::WAVERR_BADFORMAT;
}

MMRESULT ModemVoiceChannel::OpenOutput(std::uint32_t /*deviceId*/,
                                       const platform::WaveFormat& format,
                                       std::unique_ptr<platform::WaveOutputDevice>& device) {
    if (!platform::IsLineVoiceFormat(format)) {
        return platform::WAVERR_BADFORMAT;
    }
    const std::lock_guard lock(mutex_);
    if (output_ != nullptr || input_ != nullptr) {
        return platform::MMSYSERR_ALLOCATED;
    }
    auto output = std::make_unique<Output>(*this);
    output_ = output.get();
    interrupted_ = false;
    device = std::move(output);
    return platform::MMSYSERR_NOERROR;
}

MMRESULT ModemVoiceChannel::OpenInput(std::uint32_t /*deviceId*/,
                                      const platform::WaveFormat& format,
                                      std::unique_ptr<platform::WaveInputDevice>& device) {
    if (!platform::IsLineVoiceFormat(format)) {
        return platform::WAVERR_BADFORMAT;
    }
    const std::lock_guard lock(mutex_);
    if (output_ != nullptr || input_ != nullptr) {
        return platform::MMSYSERR_ALLOCATED;
    }
    auto input = std::make_unique<Input>(*this);
    input_ = input.get();
    device = std::move(input);
    return platform::MMSYSERR_NOERROR;
}

void ModemVoiceChannel::SetCallAudio(CallAudioState state) {
    const std::lock_guard lock(mutex_);
    callAudio_ = state;
    silenceTick_ = clock_.TickCount();
    if (state == CallAudioState::Off) {
        interrupted_ = false;
        if (output_ != nullptr) {
            output_->ReturnAllLocked();
        }
    }
}

void ModemVoiceChannel::Update() {
    const std::lock_guard lock(mutex_);
    if (callAudio_ == CallAudioState::On || input_ == nullptr || !input_->IsStartedLocked()) {
        return;
    }
    const std::uint32_t now = clock_.TickCount();
    const std::uint32_t elapsed = std::min(now - silenceTick_, kLongestSilenceMilliseconds);
    silenceTick_ = now;
    const std::vector<std::int16_t> silence(elapsed * kSamplesPerMillisecond, 0);
    RecordLocked(silence);
}

bool ModemVoiceChannel::RecordsSilence() const {
    const std::lock_guard lock(mutex_);
    return callAudio_ == CallAudioState::Off && input_ != nullptr && input_->IsStartedLocked();
}

std::size_t ModemVoiceChannel::TakePlayback(std::span<std::int16_t> samples) {
    const std::lock_guard lock(mutex_);
    return output_ == nullptr ? 0 : output_->TakeLocked(samples);
}

bool ModemVoiceChannel::HasPlayback() const {
    const std::lock_guard lock(mutex_);
    return output_ != nullptr && output_->HasSamplesLocked();
}

bool ModemVoiceChannel::TakeInterrupt() {
    const std::lock_guard lock(mutex_);
    return std::exchange(interrupted_, false);
}

bool ModemVoiceChannel::WantsRecording() const {
    const std::lock_guard lock(mutex_);
    return input_ != nullptr && input_->IsStartedLocked();
}

void ModemVoiceChannel::Recorded(std::span<const std::int16_t> samples) {
    const std::lock_guard lock(mutex_);
    RecordLocked(samples);
}

void ModemVoiceChannel::RecordLocked(std::span<const std::int16_t> samples) {
    if (input_ != nullptr) {
        input_->RecordLocked(samples);
    }
}

}  // namespace porthold::service::modem
