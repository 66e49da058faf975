#include <algorithm>
#include <condition_variable>
#include <cstring>
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

// An open capture PCM. A worker thread reads the PCM into a buffer of its own
// while recording is started and copies what it read into the program's
// queued buffers under the lock, marking each done when full. Stop and Reset
// return the program's buffers at once; the worker stops the PCM afterwards.
class AlsaInput final : public WaveInputDevice {
public:
    AlsaInput(snd_pcm_t* pcm, const WaveFormat& format)
        : pcm_(pcm), format_(format), worker_([this] { Run(); }) {}

    ~AlsaInput() override {
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

    MMRESULT AddBuffer(WAVEHDR& header) override {
        const std::lock_guard lock(mutex_);
        if (broken_) {
            return MMSYSERR_ERROR;
        }
        queue_.push_back(&header);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start() override {
        {
            const std::lock_guard lock(mutex_);
            if (broken_) {
                return MMSYSERR_ERROR;
            }
            running_ = true;
        }
        changed_.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Stop() override {
        {
            const std::lock_guard lock(mutex_);
            running_ = false;
            if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
                MarkBufferDone(*queue_.front());
                queue_.pop_front();
            }
        }
        changed_.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override {
        {
            const std::lock_guard lock(mutex_);
            running_ = false;
            ReturnAllLocked();
        }
        changed_.notify_all();
        return MMSYSERR_NOERROR;
    }

    bool HasQueuedBuffers() const override {
        const std::lock_guard lock(mutex_);
        return !queue_.empty();
    }

private:
    void ReturnAllLocked() {
        for (WAVEHDR* header : queue_) {
            MarkBufferDone(*header);
        }
        queue_.clear();
    }

    // Copies whole frames into the queued buffers in order; what finds no
    // buffer is lost, as it would be on any device.
    void DeliverLocked(const char* bytes, std::size_t frames) {
        while (frames > 0 && !queue_.empty()) {
            WAVEHDR& header = *queue_.front();
            const std::size_t room =
                (header.dwBufferLength - header.dwBytesRecorded) / format_.blockAlign;
            const std::size_t taken = std::min(room, frames);
            const std::size_t length = taken * format_.blockAlign;
            std::memcpy(header.lpData + header.dwBytesRecorded, bytes, length);
            header.dwBytesRecorded += static_cast<std::uint32_t>(length);
            bytes += length;
            frames -= taken;
            if (header.dwBufferLength - header.dwBytesRecorded < format_.blockAlign) {
                MarkBufferDone(header);
                queue_.pop_front();
            }
        }
    }

    bool StartCapture() {
        if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm_) < 0) {
            return false;
        }
        return snd_pcm_start(pcm_) >= 0;
    }

    void Run() {
        // 20 milliseconds of sound per read.
        const std::size_t chunkFrames = std::max<std::size_t>(format_.samplesPerSecond / 50, 64);
        std::vector<char> chunk(chunkFrames * format_.blockAlign);
        bool capturing = false;
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (running_ != capturing) {
                const bool start = running_;
                lock.unlock();
                bool failed = false;
                if (start) {
                    failed = !StartCapture();
                } else {
                    snd_pcm_drop(pcm_);
                }
                lock.lock();
                capturing = start && !failed;
                if (failed) {
                    Fail();
                }
                continue;
            }
            if (!capturing) {
                changed_.wait(lock, [&] { return quit_ || running_ != capturing; });
                continue;
            }
            lock.unlock();
            snd_pcm_wait(pcm_, kWaitMilliseconds);
            snd_pcm_sframes_t result = snd_pcm_readi(pcm_, chunk.data(), chunkFrames);
            if (result == -EPIPE || result == -ESTRPIPE) {
                // Overrun or suspend: the lost sound stays lost; go on.
                result = StartCapture() ? 0 : result;
            }
            lock.lock();
            if (result > 0 && running_) {
                DeliverLocked(chunk.data(), static_cast<std::size_t>(result));
            } else if (result < 0 && result != -EAGAIN) {
                Fail();
                capturing = false;
            }
        }
    }

    // The PCM is gone: hand everything back so the program never waits for it.
    void Fail() {
        broken_ = true;
        running_ = false;
        ReturnAllLocked();
    }

    snd_pcm_t* pcm_;
    WaveFormat format_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<WAVEHDR*> queue_;
    bool running_ = false;
    bool quit_ = false;
    bool broken_ = false;
    // Last, so that it starts when everything it uses is ready.
    std::thread worker_;
};

}  // namespace

std::unique_ptr<WaveInputDevice> MakeInput(snd_pcm_t* pcm, const WaveFormat& format) {
    return std::make_unique<AlsaInput>(pcm, format);
}

}  // namespace porthold::platform::alsa
