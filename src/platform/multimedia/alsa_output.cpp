#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/multimedia/alsa_pcm.h"

namespace porthold::platform::alsa {
namespace {

// The longest the worker blocks in ALSA before it looks at requests again.
constexpr int kWaitMilliseconds = 20;
constexpr auto kPlayOutPollInterval = std::chrono::milliseconds(10);
// A PCM that never reports its buffer played out does not hold a buffer
// longer than its playing time and this much.
constexpr auto kPlayOutGrace = std::chrono::seconds(2);

// An open playback PCM. The program's buffers are copied on Write; a worker
// thread writes the copies to the PCM one buffer after the other and marks each
// buffer done once it has been played out. Only the worker touches the PCM
// while it runs, so Reset needs no wait: it returns the buffers at once and
// asks the worker to drop what the PCM still holds.
class AlsaOutput final : public WaveOutputDevice {
public:
    AlsaOutput(snd_pcm_t* pcm, const WaveFormat& format)
        : pcm_(pcm), format_(format), worker_([this] { Run(); }) {}

    ~AlsaOutput() override {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
            ReturnAllLocked();
        }
        changed_.notify_all();
        worker_.join();
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }

    MMRESULT Write(WAVEHDR& header) override {
        auto data = std::make_shared<const std::vector<char>>(
            header.lpData, header.lpData + header.dwBufferLength);
        {
            const std::lock_guard lock(mutex_);
            if (broken_) {
                return MMSYSERR_ERROR;
            }
            queue_.push_back(Item{&header, std::move(data), nextItem_++});
        }
        changed_.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        {
            const std::lock_guard lock(mutex_);
            ReturnAllLocked();
            dropRequested_ = true;
        }
        changed_.notify_all();
        return MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::lock_guard lock(mutex_);
        return !queue_.empty();
    }

private:
    struct Item {
        WAVEHDR* header;
        std::shared_ptr<const std::vector<char>> data;
        std::uint64_t id;
    };

    enum class Outcome { Played, Interrupted, Failed };

    void ReturnAllLocked() {
        for (const Item& item : queue_) {
            MarkBufferDone(*item.header);
        }
        queue_.clear();
    }

    // Whether the worker should give up the buffer `id`: it was returned by a
    // reset, or the device is closing.
    bool IsInterruptedLocked(std::uint64_t id) const {
        return quit_ || dropRequested_ || queue_.empty() || queue_.front().id != id;
    }

    bool IsInterrupted(std::uint64_t id) const {
        const std::lock_guard lock(mutex_);
        return IsInterruptedLocked(id);
    }

    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return quit_ || dropRequested_ || !queue_.empty(); });
            if (quit_) {
                return;
            }
            if (dropRequested_) {
                dropRequested_ = false;
                lock.unlock();
                snd_pcm_drop(pcm_);
                lock.lock();
                continue;
            }
            const std::uint64_t id = queue_.front().id;
            const std::shared_ptr<const std::vector<char>> data = queue_.front().data;
            lock.unlock();
            const Outcome outcome = Play(*data, id);
            lock.lock();
            if (outcome == Outcome::Failed) {
                // The PCM is gone (unplugged, server stopped): hand everything
                // back so the program never waits for it.
                broken_ = true;
                ReturnAllLocked();
            } else if (outcome == Outcome::Played && !IsInterruptedLocked(id)) {
                MarkBufferDone(*queue_.front().header);
                queue_.pop_front();
            }
        }
    }

    Outcome Play(const std::vector<char>& data, std::uint64_t id) {
        const snd_pcm_state_t state = snd_pcm_state(pcm_);
        if (state != SND_PCM_STATE_PREPARED && state != SND_PCM_STATE_RUNNING) {
            if (snd_pcm_prepare(pcm_) < 0) {
                return Outcome::Failed;
            }
        }
        const auto totalFrames = static_cast<snd_pcm_uframes_t>(data.size() / format_.blockAlign);
        if (totalFrames == 0) {
            return Outcome::Played;
        }
        snd_pcm_uframes_t written = 0;
        while (written < totalFrames) {
            if (IsInterrupted(id)) {
                return Outcome::Interrupted;
            }
            const snd_pcm_sframes_t result = snd_pcm_writei(
                pcm_, data.data() + written * format_.blockAlign, totalFrames - written);
            if (result >= 0) {
                written += static_cast<snd_pcm_uframes_t>(result);
                if (result == 0) {
                    snd_pcm_wait(pcm_, kWaitMilliseconds);
                }
            } else if (result == -EAGAIN) {
                snd_pcm_wait(pcm_, kWaitMilliseconds);
            } else if (result == -EPIPE || result == -ESTRPIPE) {
                // Underrun or suspend: start over from where we are.
                if (snd_pcm_prepare(pcm_) < 0) {
                    return Outcome::Failed;
                }
            } else {
                return Outcome::Failed;
            }
        }
        return WaitUntilPlayedOut(id, totalFrames);
    }

    // A short sound may not fill the PCM far enough to start it by itself;
    // it is started here, and the buffer counts as played once the PCM has
    // nothing left to play (or has run dry and stopped), or as soon as another
    // buffer waits behind it: that one is written at once, so that a stream
    // of short buffers plays without a gap between them.
    Outcome WaitUntilPlayedOut(std::uint64_t id, snd_pcm_uframes_t frames) {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
            snd_pcm_start(pcm_);
        }
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(frames * 1000 / format_.samplesPerSecond) +
                              kPlayOutGrace;
        for (;;) {
            if (snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING) {
                return Outcome::Played;
            }
            snd_pcm_sframes_t delay = 0;
            if (snd_pcm_delay(pcm_, &delay) < 0 || delay <= 0 ||
                std::chrono::steady_clock::now() >= deadline) {
                return Outcome::Played;
            }
            std::unique_lock lock(mutex_);
            if (changed_.wait_for(lock, kPlayOutPollInterval,
                                  [&] { return IsInterruptedLocked(id) || queue_.size() > 1; })) {
                return IsInterruptedLocked(id) ? Outcome::Interrupted : Outcome::Played;
            }
        }
    }

    snd_pcm_t* pcm_;
    WaveFormat format_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    std::uint64_t nextItem_ = 0;
    bool quit_ = false;
    bool dropRequested_ = false;
    bool broken_ = false;
    // Last, so that it starts when everything it uses is ready.
    std::thread worker_;
};

}  // namespace

std::unique_ptr<WaveOutputDevice> MakeOutput(snd_pcm_t* pcm, const WaveFormat& format) {
    return std::make_unique<AlsaOutput>(pcm, format);
}

}  // namespace porthold::platform::alsa
